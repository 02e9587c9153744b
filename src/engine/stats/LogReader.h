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
// Any other line (a wrong number of cells, a cycle that is no whole number, a
// header line among the log lines, a line over 64 KB, bytes that are no
// Shift-JIS character) is skipped and counted, and the first ones are named
// by their line number (1-based): a log is written one whole line at a time,
// so such a line was damaged or changed by hand, and the lines around it are
// still the log's. A file that cannot be read, or that has neither a header
// line nor a log line, is not a log at all.
//
// The file is read line by line and only the line being read is held (of a
// line only its first 64 KB): reading costs the same memory for any size.
#include "engine/model/CycleRecord.h"
#include "engine/model/MeasRecords.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace qm {

// The longest line kept; a longer one is skipped.
inline constexpr qsizetype kLogLineLimit = 65536;
// Skipped lines named one by one in a report.
inline constexpr int kLogSkippedShown = 10;

struct LogSkippedLine {
    int64_t line = 0;  // 1-based
    QString why;
};

// What reading a log found besides its cycles.
struct LogScan {
    QString error;                             // not a log, or unreadable: names the file; else empty
    QString shownName;                         // the file as the texts name it
    MeasItemArray items;                       // from the header lines (empty parts when missing)
    int headerLines = 0;                       // header lines found at the top (0..4)
    int64_t cycleCount = 0;                    // log lines read
    int64_t skippedCount = 0;                  // lines that are not log lines
    std::vector<LogSkippedLine> firstSkipped;  // the first kLogSkippedShown of them
    bool ok() const { return error.isEmpty(); }
    // One line naming the file, the count and the first skipped lines; empty
    // when none was skipped.
    QString skippedText() const;
};

// Reads the log and hands every cycle to `onCycle` in file order as it is
// read; nothing of the file is kept.
LogScan ScanLogFile(const QString& path, const std::function<void(const CycleRecord&)>& onCycle);
// The same on the file's bytes; `shownName` is the name the texts use.
LogScan ScanLogBytes(const QByteArray& bytes, const QString& shownName,
                     const std::function<void(const CycleRecord&)>& onCycle);

// The same, keeping every cycle: memory grows with the file.
struct LogReadResult : LogScan {
    std::vector<CycleRecord> cycles;  // in file order; empty when not a log
};
LogReadResult ReadLogFile(const QString& path);
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

}  // namespace qm
