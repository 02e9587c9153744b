#include "engine/settings/ProgramSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(ProgramSettings)
};
}  // namespace

namespace qm {

namespace {
const QString kScreenPng = QStringLiteral("Screen/PngForDisplay");
const QString kWindows = QStringLiteral("Windows");
const QString kLanguage = QStringLiteral("View/Language");

void WriteWindows(QSettings& s, const QMap<QString, QByteArray>& geometry) {
    s.remove(kWindows);
    s.beginGroup(kWindows);
    for (auto it = geometry.cbegin(); it != geometry.cend(); ++it) s.setValue(it.key(), it.value());
    s.endGroup();
}
// The [Mqtt] keys and their fields.
const std::pair<QString, QString ProgramSettings::*> kMqtt[] = {
    {QStringLiteral("Mqtt/Url"), &ProgramSettings::mqttUrl},
    {QStringLiteral("Mqtt/Station"), &ProgramSettings::mqttStation},
    {QStringLiteral("Mqtt/User"), &ProgramSettings::mqttUser},
    {QStringLiteral("Mqtt/PasswordFile"), &ProgramSettings::mqttPasswordFile},
    {QStringLiteral("Mqtt/CaFile"), &ProgramSettings::mqttCaFile},
};
}  // namespace

QString ProgramSettingsPath(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("Quillmeter.ini"));
}

ProgramSettings LoadProgramSettings(const QString& dataFolder) {
    ProgramSettings out;
    const QString path = ProgramSettingsPath(dataFolder);
    if (!QFile::exists(path)) return out;
    QSettings s(path, QSettings::IniFormat);
    out.screenPngForDisplay = s.value(kScreenPng, false).toBool();
    out.language = s.value(kLanguage).toString().trimmed();
    for (const auto& [key, field] : kMqtt) out.*field = s.value(key).toString().trimmed();
    s.beginGroup(kWindows);
    for (const QString& name : s.childKeys()) {
        const QByteArray g = s.value(name).toByteArray();
        if (!g.isEmpty()) out.windowGeometry.insert(name, g);
    }
    s.endGroup();
    return out;
}

QString SaveWindowGeometry(const QString& dataFolder, const QMap<QString, QByteArray>& geometry) {
    const QString path = ProgramSettingsPath(dataFolder);
    const QString failed = Texts::tr("設定ファイル %1 に書けません").arg(QDir::toNativeSeparators(path));
    if (!QDir().mkpath(dataFolder)) return failed;
    QSettings s(path, QSettings::IniFormat);
    WriteWindows(s, geometry);
    s.sync();
    return s.status() == QSettings::NoError ? QString() : failed;
}

QString SaveScreenPngForDisplay(const QString& dataFolder, bool on) {
    const QString path = ProgramSettingsPath(dataFolder);
    const QString failed = Texts::tr("設定ファイル %1 に書けません").arg(QDir::toNativeSeparators(path));
    if (!QDir().mkpath(dataFolder)) return failed;
    QSettings s(path, QSettings::IniFormat);
    s.setValue(kScreenPng, on);
    s.sync();
    return s.status() == QSettings::NoError ? QString() : failed;
}

QString SaveLanguage(const QString& dataFolder, const QString& language) {
    const QString path = ProgramSettingsPath(dataFolder);
    const QString failed = Texts::tr("設定ファイル %1 に書けません").arg(QDir::toNativeSeparators(path));
    if (!QDir().mkpath(dataFolder)) return failed;
    QSettings s(path, QSettings::IniFormat);
    s.setValue(kLanguage, language);
    s.sync();
    return s.status() == QSettings::NoError ? QString() : failed;
}

}  // namespace qm
