#include "app/MqttSetup.h"

#include "engine/settings/ProgramSettings.h"
#include "engine/settings/ResumeSettings.h"

#include <QCoreApplication>
#include "engine/text/StationName.h"

#if defined(QM_MQTT)
#include "engine/mqtt/MqttSink.h"
#endif

namespace qm {

QString StationName(const AppOptions& options, const QString& dataFolder) {
    QString station = options.station;
    if (station.isEmpty()) station = LoadProgramSettings(dataFolder).mqttStation;
    if (station.isEmpty()) {
        // The host name and the file-name header this start begins with.
        ResumeSettings resume;
        LoadResumeFile(ResumeFileName(dataFolder), resume);
        return DefaultStationName(options.settings.header.value_or(resume.header));
    }
    return StationTopicName(station);
}

}  // namespace qm

#if defined(QM_MQTT)
#include <QDir>
#include <QFile>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(MqttSetup)
};
}  // namespace

namespace qm {

namespace {

// The first line of the password file (at most 4 KB are read).
bool ReadPasswordFile(const QString& path, QString* password) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    QByteArray line = f.read(4096);
    const qsizetype end = line.indexOf('\n');
    if (end >= 0) line.truncate(end);
    if (line.endsWith('\r')) line.chop(1);
    *password = QString::fromUtf8(line);
    return true;
}

}  // namespace

std::unique_ptr<MqttSink> MakeMqttSink(const AppOptions& options, const QString& dataFolder, QString* error) {
    const ProgramSettings ini = LoadProgramSettings(dataFolder);
    const bool fromIni = options.mqtt.isEmpty();
    const QString url = fromIni ? ini.mqttUrl : options.mqtt;
    if (url.isEmpty()) return nullptr;
    const auto pick = [&](const QString& given, const QString& saved) { return given.isEmpty() ? saved : given; };
    QString why;
    const auto address = ParseMqttAddress(url, &why);
    if (!address) {
        *error = Texts::tr("MQTT: %1 の Mqtt/Url を使えません: %2")
                     .arg(QDir::toNativeSeparators(ProgramSettingsPath(dataFolder)), why);
        return nullptr;
    }
    MqttOptions o;
    o.address = *address;
    o.user = pick(options.mqttUser, ini.mqttUser);
    o.caFile = pick(options.mqttCaFile, ini.mqttCaFile);
    if (!o.caFile.isEmpty() && !o.address.tls) {
        *error = Texts::tr("MQTT: CA の証明書 (%1) は mqtts:// のときだけ使えます").arg(QDir::toNativeSeparators(o.caFile));
        return nullptr;
    }
    const QString passwordFile = pick(options.mqttPasswordFile, ini.mqttPasswordFile);
    if (!passwordFile.isEmpty()) {
        if (!ReadPasswordFile(passwordFile, &o.password)) {
            *error = Texts::tr("MQTT: パスワードのファイル %1 を読めません").arg(QDir::toNativeSeparators(passwordFile));
            return nullptr;
        }
    } else {
        o.password = qEnvironmentVariable("QUILLMETER_MQTT_PASSWORD");
    }
    o.station = StationName(options, dataFolder);
    o.dataFolder = dataFolder;
    o.queueFolder = QDir(dataFolder).filePath(QStringLiteral("MqttQueue"));
    return std::make_unique<MqttSink>(std::move(o));
}

}  // namespace qm
#endif
