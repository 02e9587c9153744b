#pragma once
// The shared text rules for numbers: how text is read as a number and how
// numbers are written as text, exactly as the instrument's files and the log
// expect them.
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace qm {

// Raised when a real number does not fit the integer type it is converted to.
struct NumberOverflow : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Leading-number rule: blanks, tabs and line feeds (and CR) are skipped; an
// optional sign, digits, an optional decimal point with digits and an
// optional exponent (E or e, optional sign, digits) are read; reading stops at
// the first other character; text without a number gives 0.
// "  12.5V" -> 12.5, "-3e2x" -> -300, "abc" -> 0, "" -> 0, ".5" -> 0.5,
// "1e" -> 1, "+7" -> 7.
double LeadingNumber(QStringView text);

// Strict conversion: the whole text must be a number (same syntax as above)
// with nothing but spaces around it. Anything else gives std::nullopt.
// " 1 " -> 1, "-1 " -> -1, "" -> nullopt, "1x" -> nullopt, "00000123" -> 123.
std::optional<double> StrictNumber(QStringView text);
// For both readers: only E and e are exponent letters (not D); a point with
// digits on one side only is accepted ("5." and ".5"); a magnitude beyond the
// double range reads as +-infinity in LeadingNumber and fails StrictNumber;
// one below it reads as 0. StrictNumber also allows tabs around the number.

// Round to the nearest integer, ties to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double v);
// Conversions of a real number to a 16-bit or 32-bit integer: ties to even;
// a result outside the type's range (or NaN) raises NumberOverflow.
int16_t ToInt16(double v);
int32_t ToInt32(double v);

// General number text of a double, as conversion to string gives it: at most
// 15 significant digits, "." as decimal point, no trailing zeros, no trailing
// point, "-" for negatives, no leading blank. Magnitudes below 0.0001 (other
// than 0) or from 1E+15 up use exponent form: mantissa (no trailing zeros),
// "E", sign, at least two exponent digits: 1E-05, 1.5E+15, -2.5E-07.
// Examples: 0 -> "0", 123 -> "123", 1.5 -> "1.5", -500 -> "-500",
// 0.0001 -> "0.0001", 0.00001 -> "1E-05", 1e15 -> "1E+15",
// 999999999999999 -> "999999999999999", 0.1+0.2 -> "0.3".
QString GeneralNumberText(double v);
// The same for a 32-bit float with at most 7 significant digits
// (0.1f -> "0.1", 1e-5f -> "1E-05", 16777216.f -> "1.677722E+07").
QString GeneralNumberText(float v);

// Number text of text-file printing: a blank for a value that is not negative
// (the "-" of the number text for a negative one), the general number text,
// and one trailing blank. 1 -> " 1 ", -1 -> "-1 ", 0.5 -> " 0.5 ".
QString PrintNumber(double v);
QString PrintNumber(float v);
QString PrintNumber(int64_t v);
inline QString PrintNumber(int32_t v) { return PrintNumber(static_cast<int64_t>(v)); }
inline QString PrintNumber(int16_t v) { return PrintNumber(static_cast<int64_t>(v)); }

// The format pictures "#.00e-0", "#.0000e-0", "#.000000e-0", "#.00000000e-0":
// `decimals` is 2, 4, 6 or 8. A non-zero value gives one non-zero digit, ".",
// exactly `decimals` digits (rounded to nearest), "e", "-" only for a
// negative exponent, the exponent in as few digits as it needs.
// 0.000123456 (6) -> "1.234560e-4"; 12.5 (2) -> "1.25e1"; -0.0042 (4) ->
// "-4.2000e-3"; 9.999 (2) -> "1.00e1". Zero gives "0." + decimals zeros +
// "e0" ("0.00e0"), so every spreadsheet reads it.
QString FormatPicture(double v, int decimals);

// The same picture text written as bytes into `out` (room for at least
// kPictureTextMax bytes, no terminating NUL); returns the byte count. For
// writers that build long lines of bytes. `decimals` is clamped to
// 0..kPictureMaxDecimals (0 gives no point: "1e1"). NaN gives "NaN" and the
// infinities "Inf" and "-Inf" here and in the general number text; -0 counts as 0.
constexpr int kPictureMaxDecimals = 20;
constexpr int kPictureTextMax = 40;
int FormatPictureChars(char* out, double v, int decimals);

// The picture the program uses.
inline QString Format8(double v) { return FormatPicture(v, 8); }   // "#.00000000e-0"

}  // namespace qm
