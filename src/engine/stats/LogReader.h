#pragma once
// Reads a measurement log file (<header>_AM_LOG.csv) back: Shift-JIS text,
// CR LF (or LF) lines, six cells per line, no quoting.
//
// At the top, up to four header lines are taken by their first cell
// ("" with "Time" second, "Ch", "Type", "Unit"); any of them may be missing
// or cut short, and then the slot's source, type or unit stays empty (the
// slots are then just "A" to "D"). Every other line is a log line: exactly six
// cells, the first a cycle number (digits only). Several runs in one file
// (numbering restarting after a clear, or continuing after a new start) read
// as one series in file order. A value cell that is empty, not a number or
// beyond the double range is "no value". Blank lines are skipped.
//
// Any other line fails the whole read: the error names the file and the line
// (1-based), and no records are returned. A log is written one whole line at
// a time, so a line that is not a log line means the file is not such a log
// (or was changed by hand), and showing part of it would mislead.
#include "engine/run/CycleRecord.h"
#include "engine/run/MeasRecords.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

struct LogReadResult {
    QString error;                    // empty when the file was read
    MeasItemArray items;              // from the header lines (empty parts when missing)
    int headerLines = 0;              // header lines found at the top (0..4)
    std::vector<CycleRecord> cycles;  // in file order
    bool ok() const { return error.isEmpty(); }
};

LogReadResult ReadLogFile(const QString& path);
// The same on the file's bytes; `shownName` is the name the error texts use.
LogReadResult ReadLogBytes(const QByteArray& bytes, const QString& shownName);

// A value cell: the number, or nullopt for an empty cell, a text that is not a
// number, a number beyond the double range or one of NoValue or more.
std::optional<double> LogCellValue(QStringView cell);

// The PC date and time of a log line as the log writes them (the system's
// short date and long time), or an invalid QDateTime when the text is not one.
QDateTime ParseLogTime(const QString& text);

// The same for the lines of one file, faster for the usual numeric form.
class LogTimeParser {
public:
    QDateTime parse(const QString& text);

private:
    std::optional<QDateTime> parseNumeric(QStringView text);
    QDate hourDate_;
    int hour_ = -1;
    qint64 hourStart_ = 0;
};
