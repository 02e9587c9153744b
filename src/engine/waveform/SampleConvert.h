#pragma once
// Turning the codes of one waveform block into sample values.
//
// Every converter writes target[0 .. k-1] and nothing else, where k is the
// smallest of `count`, target.size() and the number of whole samples the
// block holds, and returns k. A negative count writes nothing.
#include "engine/model/InstrumentConfig.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace qm {

// Channel data in BYTE format: one signed byte per sample, 32 codes per
// division. value = (c / 32) * VDiv - Offset, or (-c / 32) * VDiv - Offset
// when Invert of the channel is anything but "OFF". A sourceIndex outside
// 0..3 writes nothing and returns 0.
int32_t ConvertByteSamples(int16_t sourceIndex, const InstrumentConfig& config, int32_t count,
                           const QByteArray& rawBlock, std::vector<float>& target);

// Channel data in WORD format: two bytes per sample, high byte first,
// signed, 8192 codes per division; otherwise as ConvertByteSamples.
int32_t ConvertWordSamples(int16_t sourceIndex, const InstrumentConfig& config, int32_t count,
                           const QByteArray& rawBlock, std::vector<float>& target);

// The math trace, by MathType:
//  "ADD"/"SUB": 16-bit codes, value = (c / 4096) * max(s1, s2) - o1 - o2;
//  "MULT":      32-bit codes, value = c * s1 * s2 / 1024 (the code passes
//               through a 32-bit float first, so codes beyond 2^24 lose
//               precision);
//  anything else (FFT): 16-bit codes, value = c / 100.
// s1/o1 and s2/o2 are VDiv/Offset of the traces that MathSource[0] and
// MathSource[1] name by their last character ("CH2" -> index 1). A source
// whose last character is not a digit 1..5 names no trace: ADD, SUB and MULT
// then give NaN for every sample (the waveform file leaves such fields empty).
int32_t ConvertMathSamples(const InstrumentConfig& config, int32_t count, const QByteArray& rawBlock,
                           std::vector<float>& target);

// The trace index that a math source text names by its last character
// ("CH1" -> 0 ... "CH4" -> 3, "M1"/"...5" -> 4), or -1 when it names none.
int MathOperandIndex(const QString& source);

}  // namespace qm
