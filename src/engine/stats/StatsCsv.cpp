#include "engine/stats/StatsCsv.h"

#include "engine/stats/LogReader.h"
#include "engine/text/AnsiText.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(StatsCsv)
};
}  // namespace

namespace {
QString Cell(QString s) {
    s.replace(QLatin1Char(','), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s.trimmed();
}

QString Count(int64_t n) { return QString::number(n); }
}  // namespace

QString StatsNumberText(std::optional<double> v) {
    // QString::number never uses the locale.
    return v ? QString::number(*v, 'g', 10) : QString();
}

QString StatsCsvText(const TrendLog& log, const QString& eol) {
    QString out = QStringLiteral("Slot,Source,Type,Unit,Count,NoValue,Last,Min,Max,Mean,SD,Lower,Upper,Outside") + eol;
    for (int k = 0; k < 4; ++k) {
        const MeasItemRecord& item = log.items()[size_t(k)];
        const RunningStats& s = log.stats(k);
        const SlotLimits& lim = log.limits(k);
        const QStringList cells{QString(QChar(u'A' + k)),
                                Cell(item.source),
                                Cell(item.kind),
                                Cell(item.unit),
                                Count(s.count()),
                                Count(s.noValueCount()),
                                StatsNumberText(s.last()),
                                StatsNumberText(s.min()),
                                StatsNumberText(s.max()),
                                StatsNumberText(s.mean()),
                                StatsNumberText(s.sd()),
                                StatsNumberText(lim.lower),
                                StatsNumberText(lim.upper),
                                lim.any() ? Count(log.outsideCount(k)) : QString()};
        out += cells.join(QLatin1Char(',')) + eol;
    }
    return out;
}

QString WriteStatsCsv(const TrendLog& log, const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return Texts::tr("統計ファイル %1 を開けません: %2").arg(shown, f.errorString());
    const QByteArray bytes = qm::ToAnsi(StatsCsvText(log));
    if (f.write(bytes) != bytes.size() || !f.commit())
        return Texts::tr("統計ファイル %1 に書けません: %2").arg(shown, f.errorString());
    return QString();
}

int PrintLogStatistics(const QString& file, QTextStream& out, QTextStream& err, const LimitArray& limits) {
    // The cycles go straight into the running statistics: nothing of the
    // file is held, whatever its size.
    TrendLog log;
    log.setAllLimits(limits);
    const LogScan scan = ScanLogFile(file, [&](const CycleRecord& c) { log.add(c); });
    if (!scan.ok()) {
        err << scan.error << Qt::endl;
        return 1;
    }
    log.setItems(scan.items);
    out << StatsCsvText(log, QStringLiteral("\n"));
    out.flush();
    if (scan.skippedCount == 0) return 0;
    err << scan.skippedText() << Qt::endl;
    return 4;
}

}  // namespace qm
