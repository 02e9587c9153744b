#pragma once
// Engineering notation of the measurement log: a short number followed by an
// exponent suffix "e-9", "e-6", "e-3", "e3" or nothing.
#include <QString>

namespace qm {

// A stored value of this or more means "the instrument gave no value".
inline constexpr double NoValue = 1e30;

struct SIValue {
    double scaled;
    QString suffix;
};

// Chooses the range from |value| (below 1e-6: "e-9", below 1e-3: "e-6", below
// 1: "e-3", below 1000: no suffix, else "e3"), scales the value into it, and
// rounds the scaled number to 9 significant digits. The range is chosen before
// the rounding, so 999.9999999 gives 1000 with no suffix. unitIn follows the
// exponent suffix. A value that is not finite is returned unrounded.
SIValue FormatSIValue(double value, const QString& unitIn);

// The text of one log cell: empty for "no value" (1e30 or more) and for a
// value that is not a number or infinite; otherwise the general number text of
// the scaled value followed directly by the suffix ("1.5e3", "-500e-3", "2.5").
// A value outside the table's ranges, whose scaled number would need an
// exponent of its own, is written plainly to nine digits ("1e-20", "1e+21"),
// so every non-empty cell reads as a number.
QString SICellText(double v);

}  // namespace qm
