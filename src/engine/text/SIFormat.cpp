#include "engine/text/SIFormat.h"

#include "engine/text/NumText.h"

#include <cmath>

namespace qm {

SIValue FormatSIValue(double value, const QString& unitIn) {
    const double a = std::fabs(value);
    SIValue out{value, unitIn};
    if (a < 1.0 / 1000000) {
        out.scaled = value * 1e9;
        out.suffix = QStringLiteral("e-9") + unitIn;
    } else if (a < 1.0 / 1000) {
        out.scaled = value * 1e6;
        out.suffix = QStringLiteral("e-6") + unitIn;
    } else if (a < 1) {
        out.scaled = value * 1e3;
        out.suffix = QStringLiteral("e-3") + unitIn;
    } else if (a >= 1000) {
        out.scaled = value / 1e3;
        out.suffix = QStringLiteral("e3") + unitIn;
    }
    if (!std::isfinite(out.scaled)) return out;
    // Nine significant digits: through the picture text and back, which also
    // takes away the representation error of the scaling (0.000123 * 1e6).
    const QString picture = qm::Format8(out.scaled);
    const std::optional<double> strict = qm::StrictNumber(picture);
    out.scaled = strict ? *strict : qm::LeadingNumber(picture);
    if (out.scaled == 0) out.scaled = 0.0;  // a negative zero shows as "0"
    return out;
}

QString SICellText(double v) {
    if (!std::isfinite(v) || v >= NoValue) return QString();
    const SIValue si = FormatSIValue(v, QString());
    const QString scaled = qm::GeneralNumberText(si.scaled);
    // Beyond the table's ranges (below 1e-13 or from 1e18 up in size) the
    // scaled number needs an exponent of its own, and "1E-06e-9" is no number
    // to any reader: such a value is written plainly, to nine digits.
    if (scaled.contains(QLatin1Char('E'))) return QString::number(v, 'g', 9);
    return scaled + si.suffix;
}

}  // namespace qm
