#include "engine/stats/LogReader.h"

#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"
#include "engine/text/FileNames.h"
#include "engine/text/NumText.h"
#include "engine/text/SIFormat.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <cmath>
#include <limits>

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(LogReader)
};
}  // namespace

namespace {
constexpr int LogCells = 6;

// The formats the log's time text can have: the one the log writes with the
// current locale first, then the usual ones of other locales.
QStringList TimeFormats() {
    const QLocale loc = QLocale::system();
    QString date = loc.dateFormat(QLocale::ShortFormat);
    if (loc.language() == QLocale::C || date.contains(QLatin1String("MMM"))) date = QStringLiteral("yyyy/MM/dd");
    QString time = loc.timeFormat(QLocale::LongFormat);
    time.remove(QLatin1Char('t'));
    time = time.trimmed();
    if (!time.contains(QLatin1Char('s'))) time = QStringLiteral("HH:mm:ss");
    return {date + QLatin1Char(' ') + time, QStringLiteral("yyyy/MM/dd HH:mm:ss"), QStringLiteral("yyyy/M/d H:mm:ss"),
            QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("dd/MM/yyyy HH:mm:ss"),
            QStringLiteral("M/d/yyyy h:mm:ss AP")};
}

std::optional<int32_t> CycleNumber(QStringView cell) {
    if (cell.isEmpty() || cell.size() > 10) return std::nullopt;
    for (QChar c : cell)
        if (c < u'0' || c > u'9') return std::nullopt;
    const qint64 n = cell.toLongLong();
    if (n > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return int32_t(n);
}

// Which header line a line is (0 titles, 1 Ch, 2 Type, 3 Unit), or -1.
int HeaderKind(const QList<QStringView>& cells) {
    if (cells.size() > LogCells) return -1;
    const QStringView first = cells.value(0).trimmed();
    if (first.isEmpty()) return cells.size() >= 2 && cells[1].trimmed() == QLatin1String("Time") ? 0 : -1;
    if (first == QLatin1String("Ch")) return 1;
    if (first == QLatin1String("Type")) return 2;
    if (first == QLatin1String("Unit")) return 3;
    return -1;
}

// Reads the next line up to LF into `line` (without the LF), keeping at most
// kLogLineLimit bytes of it; `tooLong` tells that more were dropped. False at
// the end of the data.
bool NextLine(QIODevice& in, QByteArray& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    char chunk[4096];
    for (;;) {
        const qint64 n = in.readLine(chunk, qint64(sizeof chunk));
        if (n <= 0) break;
        any = true;
        const bool end = chunk[n - 1] == '\n';
        const qint64 keep = end ? n - 1 : n;
        if (line.size() + keep <= kLogLineLimit) line.append(chunk, keep);
        else tooLong = true;
        if (end) break;
    }
    if (line.endsWith('\r')) line.chop(1);
    return any;
}

// The log lines of one file, one at a time.
class LogLines {
public:
    LogLines(LogScan& scan, const std::function<void(const CycleRecord&)>& onCycle) : scan_(scan), onCycle_(onCycle) {}

    void add(const QByteArray& raw, bool tooLong, int64_t lineNo) {
        if (tooLong) return skip(lineNo, Texts::tr("%1 バイトを超える行").arg(kLogLineLimit));
        const QString text = qm::FromAnsi(raw);
        const QStringView line(text);
        if (line.trimmed().isEmpty()) return;
        const QList<QStringView> cells = line.split(u',');
        if (inHeader_) {
            const int kind = HeaderKind(cells);
            if (kind >= 0 && kind >= scan_.headerLines) {
                scan_.headerLines = kind + 1;
                for (size_t k = 0; k < 4; ++k) {
                    const QString cell = cells.value(int(k) + 2).trimmed().toString();
                    if (kind == 1) scan_.items[k].source = cell;
                    if (kind == 2) scan_.items[k].kind = cell;
                    if (kind == 3) scan_.items[k].unit = cell;
                }
                return;
            }
            inHeader_ = false;
        }
        if (cells.size() != LogCells)
            return skip(lineNo, Texts::tr("%1 個のセル、6 個のはず").arg(cells.size()));
        const std::optional<int32_t> cycle = CycleNumber(cells[0].trimmed());
        if (!cycle)
            return skip(lineNo, Texts::tr("サイクル番号 \"%1\" が整数でない").arg(qm::ShownText(cells[0].toString(), 40)));
        CycleRecord rec;
        rec.cycle = *cycle;
        rec.timeText = cells[1].trimmed().toString();
        // Lines of one second share their time text: parse it once.
        if (rec.timeText != lastTimeText_) {
            lastTimeText_ = rec.timeText;
            lastTime_ = times_.parse(rec.timeText);
        }
        rec.time = lastTime_;
        for (size_t k = 0; k < 4; ++k) {
            const QStringView cell = cells[int(k) + 2].trimmed();
            if (const std::optional<double> v = LogCellValue(cell)) {
                rec.values[k] = *v;
                rec.cells[k] = cell.toString();
            }
        }
        ++scan_.cycleCount;
        onCycle_(rec);
    }

private:
    void skip(int64_t lineNo, const QString& why) {
        if (scan_.skippedCount++ < kLogSkippedShown) scan_.firstSkipped.push_back({lineNo, why});
    }

    LogScan& scan_;
    const std::function<void(const CycleRecord&)>& onCycle_;
    bool inHeader_ = true;
    QString lastTimeText_;
    QDateTime lastTime_;
    LogTimeParser times_;
};

LogScan Scan(QIODevice& in, const QString& shownName, const std::function<void(const CycleRecord&)>& onCycle) {
    LogScan scan;
    scan.shownName = shownName;
    LogLines lines(scan, onCycle);
    QByteArray raw;
    bool tooLong = false;
    int64_t lineNo = 0;
    while (NextLine(in, raw, tooLong)) lines.add(raw, tooLong, ++lineNo);
    if (auto* file = qobject_cast<QFile*>(&in); file && file->error() != QFileDevice::NoError) {
        scan.error = Texts::tr("ログファイル %1 を読めません (%2 行目の後): %3").arg(shownName).arg(lineNo).arg(file->errorString());
    } else if (scan.headerLines == 0 && scan.cycleCount == 0) {
        if (scan.skippedCount == 0)
            scan.error = Texts::tr("%1 は空です: ログファイルではありません").arg(shownName);
        else
            scan.error = Texts::tr("%1 の %2 行目はログの行ではありません (%3): ログファイルではありません")
                             .arg(shownName)
                             .arg(scan.firstSkipped.front().line)
                             .arg(scan.firstSkipped.front().why);
    }
    return scan;
}
}  // namespace

std::optional<double> LogCellValue(QStringView cell) {
    const std::optional<double> v = qm::StrictNumber(cell);
    if (!v || !std::isfinite(*v) || std::fabs(*v) >= NoValue) return std::nullopt;
    return v;
}

QDateTime LogTimeParser::parse(const QString& text) {
    if (const std::optional<QDateTime> fast = parseNumeric(text)) return *fast;
    const QString t = text.simplified();
    if (t.isEmpty()) return {};
    static const QStringList formats = TimeFormats();
    for (const QString& f : formats) {
        QDateTime d = QLocale::system().toDateTime(t, f);
        if (!d.isValid()) d = QLocale::c().toDateTime(t, f);
        if (d.isValid()) return d;
    }
    return QDateTime::fromString(t, Qt::ISODate);
}

// "yyyy/M/d H:mm:ss" (also with "-"), the form of the C and Japanese locales:
// read by hand, and the local time of the hour converted once per hour, which
// makes reading a long log many times faster than the locale's parser.
std::optional<QDateTime> LogTimeParser::parseNumeric(QStringView t) {
    int field[6] = {0, 0, 0, 0, 0, 0};
    int digits[6] = {0, 0, 0, 0, 0, 0};
    const char16_t seps[5] = {u'/', u'/', u' ', u':', u':'};
    int f = 0;
    for (const QChar c : t) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') {
            if (++digits[f] > 4) return std::nullopt;
            field[f] = field[f] * 10 + (u - u'0');
        } else if (f < 5 && (u == seps[f] || (f < 2 && u == u'-'))) {
            ++f;
        } else {
            return std::nullopt;
        }
    }
    if (f != 5 || digits[0] != 4 || digits[5] != 2 || digits[4] != 2) return std::nullopt;
    for (int d : digits)
        if (d == 0) return std::nullopt;
    const QDate date(field[0], field[1], field[2]);
    if (!date.isValid() || field[3] > 23 || field[4] > 59 || field[5] > 59) return std::nullopt;
    if (date != hourDate_ || field[3] != hour_) {
        hourDate_ = date;
        hour_ = field[3];
        hourStart_ = QDateTime(date, QTime(hour_, 0)).toMSecsSinceEpoch();
    }
    return QDateTime::fromMSecsSinceEpoch(hourStart_ + (field[4] * 60 + field[5]) * qint64(1000));
}

QDateTime ParseLogTime(const QString& text) { return LogTimeParser().parse(text); }

QString LogScan::skippedText() const {
    if (skippedCount == 0) return {};
    QStringList lines;
    for (const LogSkippedLine& l : firstSkipped) lines << Texts::tr("%1 行目 (%2)").arg(l.line).arg(l.why);
    if (skippedCount > int64_t(firstSkipped.size())) lines << Texts::tr("ほか %1 行").arg(skippedCount - int64_t(firstSkipped.size()));
    return Texts::tr("%1 のログの行でない %2 行を読み飛ばしました: %3")
        .arg(shownName)
        .arg(skippedCount)
        .arg(lines.join(QStringLiteral("; ")));
}

LogScan ScanLogBytes(const QByteArray& bytes, const QString& shownName,
                     const std::function<void(const CycleRecord&)>& onCycle) {
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return Scan(in, shownName, onCycle);
}

LogScan ScanLogFile(const QString& path, const std::function<void(const CycleRecord&)>& onCycle) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        LogScan r;
        r.shownName = shown;
        r.error = Texts::tr("ログファイル %1 を開けません: %2").arg(shown, f.errorString());
        return r;
    }
    return Scan(f, shown, onCycle);
}

namespace {
template <typename ScanFn>
LogReadResult Collect(ScanFn scan) {
    LogReadResult r;
    static_cast<LogScan&>(r) = scan([&](const CycleRecord& c) { r.cycles.push_back(c); });
    if (!r.ok()) r.cycles.clear();
    return r;
}
}  // namespace

LogReadResult ReadLogBytes(const QByteArray& bytes, const QString& shownName) {
    return Collect([&](const auto& onCycle) { return ScanLogBytes(bytes, shownName, onCycle); });
}

LogReadResult ReadLogFile(const QString& path) {
    return Collect([&](const auto& onCycle) { return ScanLogFile(path, onCycle); });
}

}  // namespace qm
