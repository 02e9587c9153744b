#pragma once
// The measurement slot record.
#include "engine/text/SIFormat.h"

#include <QString>
#include <array>
#include <cstdint>

namespace qm {

struct MeasItemRecord {
    QString Source;  // "C1", "M1", ...
    QString Kind;    // "MAX", "P-P", "DUTY", ...
    QString Unit;    // "V", "s", "%", "Vs", ...
};

// The log holds cycles 1 .. LogMaxCycle.
inline constexpr int LogMaxCycle = 10000;
using MeasItemArray = std::array<MeasItemRecord, 4>;

}  // namespace qm
