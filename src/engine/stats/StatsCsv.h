#pragma once
// The statistics as CSV: a title row, then one row per slot A..D with slot,
// source, type, unit, count, no-value count, last, min, max, mean, sd, lower
// limit, upper limit and the count outside the limits. Numbers are plain
// decimal text with ten significant digits and "." as the point, whatever the
// locale ("0.00125", "2500000", "1.25e-07"); a cell is empty where the number
// is undefined (no value yet, one value for sd, no limit set). Files are
// Shift-JIS with CR LF lines like the log.
#include "engine/stats/TrendLog.h"

#include <QString>
#include <QTextStream>

namespace qm {

// The CSV text with `eol` after every row.
QString StatsCsvText(const TrendLog& log, const QString& eol = QStringLiteral("\r\n"));
// Writes the CSV file; returns an error text naming the file, or an empty one.
QString WriteStatsCsv(const TrendLog& log, const QString& path);

// The number text of the statistics CSV (empty for nullopt).
QString StatsNumberText(std::optional<double> v);

// `quillmeter --stats FILE`: reads FILE as a log line by line, writes its
// statistics CSV (LF lines) to `out` and returns 0. Lines that are not log
// lines are skipped: the CSV is still written, `err` names the first of them
// and the result is 4. When the file cannot be read or is not a log, writes
// the message to `err` and returns 1. Limits come from `limits`.
int PrintLogStatistics(const QString& file, QTextStream& out, QTextStream& err, const LimitArray& limits = {});

}  // namespace qm
