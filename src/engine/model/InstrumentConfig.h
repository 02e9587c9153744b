#pragma once
// The configuration snapshot of the instrument, taken once at the start of a
// run and read by everything later in the run.
#include <QString>
#include <array>
#include <cstdint>

namespace qm {

struct InstrumentConfig {
    QString modelName;              // e.g. "DS-5552"
    int16_t channelCount = 0;       // 2 or 4
    QString fileVersion;
    QString acqTime;                // rewritten every cycle and by the log window
    QString acqMode;                // "AVERAGE" and "HIGH_RES" matter
    double timeDiv = 0;
    double triggerDelay = 0;
    int32_t triggerAddress = 0;     // sample index of time 0
    double sampleInterval = 0;
    int32_t recordLength = 0;
    float triggerLevel = 0;
    QString triggerSource;
    QString triggerMode;            // sent back at the end of a run
    std::array<float, 6> vDiv{};    // 0..3 = CH1..CH4, 4 = math; 5 unused
    std::array<float, 5> offset{};
    std::array<QString, 5> vUnit;
    std::array<QString, 5> invert;
    std::array<QString, 5> coupling;
    std::array<QString, 5> bandwidth;
    std::array<QString, 5> display;  // "ON" / "OFF"
    QString mathType;               // "ADD", "SUB", "MULT", "FFT", ...
    std::array<QString, 2> mathSource;
    QString fftWindow;
    double fftDelta = 0;
};

}  // namespace qm
