#pragma once
// One logged cycle as a value: made once by the run, formatted once, and
// handed to every output (log window, log file, trend, ...), so the grid and
// the file show the same texts.
#include "engine/model/MeasRecords.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

namespace qm {

struct CycleRecord {
    int32_t cycle = 0;
    QDateTime time;                 // the PC's date and time when the values were read
    QString timeText;               // the same as the log shows it (short date, blank, long time)
    std::array<double, 4> values{NoValue, NoValue, NoValue, NoValue};  // A..D; NoValue (1e30) = none
    std::array<QString, 4> cells;   // A..D in the log's engineering notation; empty = no value

    bool hasValue(int slot) const { return values[size_t(slot)] < NoValue; }
    // The six cells of the log line: cycle number, time, A, B, C, D.
    QStringList logCells() const;
};

// Builds the record of `cycle` from the four values, stamped with `when`.
CycleRecord MakeCycleRecord(int32_t cycle, const std::array<double, 4>& values, const QDateTime& when);

}  // namespace qm

Q_DECLARE_METATYPE(qm::CycleRecord)
Q_DECLARE_METATYPE(qm::MeasItemArray)
