// libFuzzer target: the number texts. The input is read as a number (leading
// and strict rules, as Latin-1 and as UTF-8 text), and its first eight bytes
// as a double are written in every notation the program writes, which must
// read back as the same number.
#include "engine/text/NumText.h"
#include "engine/text/SIFormat.h"

#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

using namespace qm;

namespace {

void ReadText(const QString& text) {
    const double leading = qm::LeadingNumber(text);
    const std::optional<double> strict = qm::StrictNumber(text);
    // Whatever the strict rule reads, the leading rule reads the same.
    if (strict && !(std::isfinite(*strict) && *strict == leading)) std::abort();
    (void)qm::RoundHalfEven(leading);
    try {
        (void)qm::ToInt16(leading);
    } catch (const qm::NumberOverflow&) {
    }
    try {
        (void)qm::ToInt32(leading);
    } catch (const qm::NumberOverflow&) {
    }
}

// `text` must read back (strictly) as v to within the relative error of its digits.
void ReadsBack(const QString& text, double v, double relative) {
    const std::optional<double> back = qm::StrictNumber(text);
    if (!back) std::abort();
    if (std::fabs(*back - v) > relative * std::fabs(v) + 1e-300) std::abort();
}

void WriteNumber(double v, int decimals) {
    // A double beyond the float range has no float value to write.
    const bool fitsFloat = !(std::fabs(v) > double(std::numeric_limits<float>::max()));
    const QString general = qm::GeneralNumberText(v);
    const QString single = fitsFloat ? qm::GeneralNumberText(float(v)) : QString();
    const QString printed = qm::PrintNumber(v);
    const QString picture = qm::FormatPicture(v, decimals);
    char chars[qm::kPictureTextMax];
    const int n = qm::FormatPictureChars(chars, v, decimals);
    if (n < 0 || n > qm::kPictureTextMax) std::abort();
    if (!std::isfinite(v)) {
        (void)SICellText(v);
        (void)FormatSIValue(v, QStringLiteral("V"));
        return;
    }
    // (Fifteen digits of the largest doubles round beyond the double range.)
    if (std::fabs(v) < 1e308) ReadsBack(general, v, 1e-14);
    if (printed.trimmed() != general) std::abort();
    const double lowest = std::fabs(v);
    if (lowest >= double(std::numeric_limits<float>::min()) && lowest <= double(std::numeric_limits<float>::max()))
        ReadsBack(single, double(float(v)), 1e-6);
    if (v != 0 && std::fabs(v) >= 1e-300 && std::fabs(v) < 1e300) ReadsBack(picture, v, 0.51 * std::pow(10.0, -decimals) + 1e-15);
    const QString cell = SICellText(v);
    if (v >= 1e30) {
        if (!cell.isEmpty()) std::abort();
    } else {
        // Nine significant digits of the scaled number.
        ReadsBack(cell, v, 1e-8);
    }
    (void)FormatSIValue(v, QStringLiteral("V"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    ReadText(QString::fromLatin1(bytes, qsizetype(size)));
    ReadText(QString::fromUtf8(bytes, qsizetype(size)));
    if (size >= 9) {
        double v;
        std::memcpy(&v, data, 8);
        WriteNumber(v, data[8] % 9);
        WriteNumber(qm::LeadingNumber(QString::fromLatin1(bytes + 9, qsizetype(size - 9))), data[8] % 9);
    }
    return 0;
}
