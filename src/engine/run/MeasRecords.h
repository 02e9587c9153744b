#pragma once
// The measurement log record and the measurement slot record.
#include <QString>
#include <array>
#include <cstdint>

struct AMLogRecord {
    int32_t Cycle = 0;
    std::array<double, 4> Value{};  // A..D as the instrument reported them
};

struct MeasItemRecord {
    QString Source;  // "C1", "M1", ...
    QString Kind;    // "MAX", "P-P", "DUTY", ...
    QString Unit;    // "V", "s", "%", "Vs", ...
};

// A stored value of this or more means "the instrument gave no value".
inline constexpr double NoValue = 1e30;
inline constexpr int LogMaxCycle = 10000;               // AMLog is 0..10000
using AMLogArray = std::array<AMLogRecord, LogMaxCycle + 1>;
using MeasItemArray = std::array<MeasItemRecord, 4>;
