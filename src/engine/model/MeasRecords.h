#pragma once
// The measurement slot record.
#include "engine/text/SIFormat.h"

#include <QString>
#include <array>
#include <cstdint>

namespace qm {

struct MeasItemRecord {
    QString source;  // "C1", "M1", ...
    QString kind;    // "MAX", "P-P", "DUTY", ...
    QString unit;    // "V", "s", "%", "Vs", ...
};

// The log holds cycles 1 .. LogMaxCycle.
inline constexpr int LogMaxCycle = 10000;
using MeasItemArray = std::array<MeasItemRecord, 4>;

}  // namespace qm
