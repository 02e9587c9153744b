#include "engine/instrument/Instrument.h"

#include "engine/text/NumText.h"

namespace qm {

int32_t ModelNumber(const QString& modelName) {
    // Characters 5 to 11 (1-based), read by the leading-number rule.
    const QString part = modelName.mid(4, 7);
    const double v = qm::LeadingNumber(part);
    try {
        return qm::ToInt32(v);
    } catch (const qm::NumberOverflow&) {
        return 0;
    }
}

}  // namespace qm
