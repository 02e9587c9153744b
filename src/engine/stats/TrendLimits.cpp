#include "engine/stats/TrendLimits.h"

#include "engine/stats/LogReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace qm {

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(TrendLimits)
};
}  // namespace

namespace {
QString Key(int slot, bool upper) {
    return QStringLiteral("Limits/%1_%2").arg(QChar(u'A' + slot)).arg(upper ? QStringLiteral("Upper") : QStringLiteral("Lower"));
}

// Seventeen digits give back the same double.
QString ExactText(std::optional<double> v) { return v ? QString::number(*v, 'g', 17) : QString(); }
}  // namespace

QString TrendSettingsPath(const QString& dataFolder) { return QDir(dataFolder).filePath(QStringLiteral("Trend.ini")); }

LimitArray LoadTrendLimits(const QString& dataFolder) {
    LimitArray out;
    const QString path = TrendSettingsPath(dataFolder);
    if (!QFile::exists(path)) return out;
    QSettings s(path, QSettings::IniFormat);
    for (int k = 0; k < 4; ++k) {
        out[size_t(k)].lower = LogCellValue(s.value(Key(k, false)).toString());
        out[size_t(k)].upper = LogCellValue(s.value(Key(k, true)).toString());
    }
    return out;
}

QString SaveTrendLimits(const QString& dataFolder, const LimitArray& limits) {
    const QString path = TrendSettingsPath(dataFolder);
    if (!QDir().mkpath(dataFolder))
        return Texts::tr("設定ファイル %1 に書けません: フォルダを作れません").arg(QDir::toNativeSeparators(path));
    QSettings s(path, QSettings::IniFormat);
    for (int k = 0; k < 4; ++k) {
        s.setValue(Key(k, false), ExactText(limits[size_t(k)].lower));
        s.setValue(Key(k, true), ExactText(limits[size_t(k)].upper));
    }
    s.sync();
    if (s.status() != QSettings::NoError)
        return Texts::tr("設定ファイル %1 に書けません").arg(QDir::toNativeSeparators(path));
    return QString();
}

}  // namespace qm
