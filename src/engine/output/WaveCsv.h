#pragma once
// The waveform CSV file of a cycle: a header block describing the
// instrument settings, a column-title line and one row per sample with its
// time and the value of every channel (and of the math trace when shown).
// Lines end with CR LF; text is written in the ANSI code page.
#include "engine/model/InstrumentConfig.h"
#include "engine/model/FileResult.h"
#include "engine/model/WaveData.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class QFileDevice;

namespace qm {

// How the writer reports progress (0..100) between row blocks. May be empty.
struct CsvProgress {
    std::function<void(int)> setProgress;
};

// Writes header, title and rows into FileName, through a temporary file that
// takes the final name only when complete. Progress ends at 100 in every
// case. When the file cannot be created or written the result names it, the
// system's reason and a text saying both (then nothing is left under the
// final name and an older file keeps its bytes).
qm::FileResult WriteWaveformCsv(const QString& FileName, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                                const CsvProgress& progress);

// The row writers: the column-title line and the data rows, without or with
// the math column, into an open file (unbuffered, so that a failure's
// reason is the system's).
qm::FileResult WriteWaveRows(QFileDevice& File, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                             const CsvProgress& progress);
qm::FileResult WriteWaveRowsWithMath(QFileDevice& File, const InstrumentConfig& dsoConfig, const WaveArrays& WaveData,
                                     const CsvProgress& progress);

// True when the rows carry a math column: recordLength below 3,000,000 and
// the math trace's display state anything but exactly "OFF".
bool WaveCsvHasMathColumn(const InstrumentConfig& dsoConfig);

// Rows per progress block: the larger of recordLength / 10 (rounded, ties
// to even) and ceil(recordLength / 11), so that at most eleven blocks hold
// every row. 0 for a recordLength of 0 or less.
int32_t WaveCsvBlockSize(int32_t recordLength);

// The header block (every line with CR LF) and the column-title line.
QByteArray WaveCsvHeader(const InstrumentConfig& dsoConfig);
QByteArray WaveCsvTitle(const InstrumentConfig& dsoConfig, bool withMath);

}  // namespace qm
