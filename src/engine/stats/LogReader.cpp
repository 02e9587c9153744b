#include "engine/stats/LogReader.h"

#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"
#include "engine/text/NumText.h"
#include "engine/text/SIFormat.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <cmath>
#include <limits>

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
int HeaderKind(const QStringList& cells) {
    if (cells.size() > LogCells) return -1;
    const QString first = cells.value(0).trimmed();
    if (first.isEmpty()) return cells.size() >= 2 && cells[1].trimmed() == QLatin1String("Time") ? 0 : -1;
    if (first == QLatin1String("Ch")) return 1;
    if (first == QLatin1String("Type")) return 2;
    if (first == QLatin1String("Unit")) return 3;
    return -1;
}

LogReadResult Failed(const QString& shownName, int line, const QString& why) {
    LogReadResult r;
    r.error = QStringLiteral("%1 の %2 行目はログの行ではありません (%3)").arg(shownName).arg(line).arg(why);
    return r;
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

LogReadResult ReadLogBytes(const QByteArray& bytes, const QString& shownName) {
    LogReadResult r;
    if (bytes.isEmpty()) {
        r.error = QStringLiteral("%1 は空です: ログファイルではありません").arg(shownName);
        return r;
    }
    const QString text = qm::FromAnsi(bytes);
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool inHeader = true;
    QString lastTimeText;
    QDateTime lastTime;
    LogTimeParser times;
    for (int i = 0; i < lines.size(); ++i) {
        QStringView line(lines[i]);
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        const QStringList cells = line.toString().split(QLatin1Char(','));
        const int lineNo = i + 1;
        if (inHeader) {
            const int kind = HeaderKind(cells);
            if (kind >= 0 && kind >= r.headerLines) {
                r.headerLines = kind + 1;
                for (size_t k = 0; k < 4; ++k) {
                    const QString cell = cells.value(int(k) + 2).trimmed();
                    if (kind == 1) r.items[k].Source = cell;
                    if (kind == 2) r.items[k].Kind = cell;
                    if (kind == 3) r.items[k].Unit = cell;
                }
                continue;
            }
            inHeader = false;
        }
        if (cells.size() != LogCells)
            return Failed(shownName, lineNo, QStringLiteral("%1 個のセル、6 個のはず").arg(cells.size()));
        const std::optional<int32_t> cycle = CycleNumber(QStringView(cells[0]).trimmed());
        if (!cycle)
            return Failed(shownName, lineNo, QStringLiteral("サイクル番号 \"%1\" が整数でない").arg(cells[0]));
        CycleRecord rec;
        rec.cycle = *cycle;
        rec.timeText = cells[1].trimmed();
        // Lines of one second share their time text: parse it once.
        if (rec.timeText != lastTimeText) {
            lastTimeText = rec.timeText;
            lastTime = times.parse(rec.timeText);
        }
        rec.time = lastTime;
        for (size_t k = 0; k < 4; ++k) {
            const QString cell = cells[int(k) + 2].trimmed();
            if (const std::optional<double> v = LogCellValue(cell)) {
                rec.values[k] = *v;
                rec.cells[k] = cell;
            }
        }
        r.cycles.push_back(std::move(rec));
    }
    return r;
}

LogReadResult ReadLogFile(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        LogReadResult r;
        r.error = QStringLiteral("ログファイル %1 を開けません: %2").arg(shown, f.errorString());
        return r;
    }
    return ReadLogBytes(f.readAll(), shown);
}
