#pragma once
// The configuration snapshot of the instrument, taken once at the start of a
// run and read by everything later in the run.
#include <QString>
#include <array>
#include <cstdint>

namespace qm {

struct InstrumentConfig {
    QString ModelName;              // e.g. "DS-5552"
    int16_t ChannelCount = 0;       // 2 or 4
    QString FileVersion;
    QString AcqTime;                // rewritten every cycle and by the log window
    QString AcqMode;                // "AVERAGE" and "HIGH_RES" matter
    double TimeDiv = 0;
    double TriggerDelay = 0;
    int32_t TriggerAddress = 0;     // sample index of time 0
    double SampleInterval = 0;
    int32_t RecordLength = 0;
    float TriggerLevel = 0;
    QString TriggerSource;
    QString TriggerMode;            // sent back at the end of a run
    std::array<float, 6> VDiv{};    // 0..3 = CH1..CH4, 4 = math; 5 unused
    std::array<float, 5> Offset{};
    std::array<QString, 5> VUnit;
    std::array<QString, 5> Invert;
    std::array<QString, 5> Coupling;
    std::array<QString, 5> Bandwidth;
    std::array<QString, 5> Display;  // "ON" / "OFF"
    QString MathType;               // "ADD", "SUB", "MULT", "FFT", ...
    std::array<QString, 2> MathSource;
    QString FftWindow;
    double FftDelta = 0;
};

}  // namespace qm
