#include "engine/model/CycleRecord.h"

#include "engine/text/DateTimeText.h"
#include "engine/text/SIFormat.h"

namespace qm {

QStringList CycleRecord::logCells() const {
    return {QString::number(cycle), timeText, cells[0], cells[1], cells[2], cells[3]};
}

CycleRecord MakeCycleRecord(int32_t cycle, const std::array<double, 4>& values, const QDateTime& when) {
    CycleRecord r;
    r.cycle = cycle;
    r.time = when;
    r.timeText = qm::DateTimeText(when);
    r.values = values;
    for (size_t k = 0; k < 4; ++k) r.cells[k] = SICellText(values[k]);
    return r;
}

}  // namespace qm
