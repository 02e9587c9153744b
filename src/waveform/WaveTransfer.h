#pragma once
// Transfer of one trace's waveform record from the instrument into memory.
#include "engine/instrument/InstrumentConfig.h"
#include "link/CommandLink.h"
#include "engine/waveform/WaveData.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

class SockControl;

// Points counts from this one up leave an undisplayed trace's array as it is.
inline constexpr int32_t kZeroFillLimit = 3000000;

// Transfers source SourceIndex (0..3 = CH1..CH4, 4 or more = MATH) into
// `samples`. A source whose Display entry is exactly "ON" is read with
// ReadWaveform and `points` becomes the number of samples the instrument
// delivered. Any other source is not asked for: when points is below
// 3,000,000 its samples[0 .. points-1] (as far as the array reaches) become
// 0, and points is kept. A negative SourceIndex does nothing.
// *warning (when given) is cleared, or names the source and the samples
// that did not fit into `samples`. LinkError from the block read goes to
// the caller.
void TransferSource(Link& link, int16_t SourceIndex, std::vector<float>& samples, const InstrumentConfig& config,
                    int32_t& points, QString* warning = nullptr);

// Requests sourceName ("CH1".."CH4" or "MATH") with `points` points, reads
// the answer block (TCP when link.CommMode is 1, else the serial port) and
// converts it into `samples`. Returns the sample count of the block (data
// bytes / 1, 2 or 4 by format, rounded ties to even); samples beyond the
// array's end are dropped and reported through *warning.
int32_t ReadWaveform(Link& link, const QString& sourceName, int32_t points, std::vector<float>& samples,
                     const InstrumentConfig& config, QString* warning = nullptr);

// The TCP block read for waveform records (at most kWaveBlockLimit bytes):
// RawBlock receives the data bytes; returns their number.
int32_t ReadWaveBlockTcp(SockControl& dso, QByteArray& RawBlock);

// True when the acquisition mode asks for WORD samples ("AVERAGE" or
// "HIGH_RES", exactly); BYTE otherwise.
bool UsesWordFormat(const InstrumentConfig& config);
