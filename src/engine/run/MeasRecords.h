#pragma once
// The measurement slot record.
#include <QString>
#include <array>
#include <cstdint>

struct MeasItemRecord {
    QString Source;  // "C1", "M1", ...
    QString Kind;    // "MAX", "P-P", "DUTY", ...
    QString Unit;    // "V", "s", "%", "Vs", ...
};

// A stored value of this or more means "the instrument gave no value".
inline constexpr double NoValue = 1e30;
// The log holds cycles 1 .. LogMaxCycle.
inline constexpr int LogMaxCycle = 10000;
using MeasItemArray = std::array<MeasItemRecord, 4>;
