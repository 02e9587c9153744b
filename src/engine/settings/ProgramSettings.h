#pragma once
// The program's own settings, apart from the resume file (whose twelve lines
// stay exactly as they are): <data folder>/Quillmeter.ini, INI format, UTF-8.
// Whatever cannot be read (no file, a missing or damaged key) takes its
// default; a save reports failure with the file's name.
#include <QByteArray>
#include <QMap>
#include <QString>

namespace qm {

struct ProgramSettings {
    // 表示にも PNG を使う: the display image is fetched as PNG (one transfer
    // when saving too) instead of BMP.
    bool screenPngForDisplay = false;
    // The language chosen in the window ("ja", "en"; empty: none chosen).
    // --lang wins for one start.
    QString language;
    // Where each window was, by object name (QWidget::saveGeometry()).
    QMap<QString, QByteArray> windowGeometry;
    // [Mqtt]: the broker every cycle is published to (Url, as --mqtt), the
    // bench's name in its topics (Station), the login (User, PasswordFile)
    // and the CA certificates for mqtts (CaFile). The command line wins.
    QString mqttUrl, mqttStation, mqttUser, mqttPasswordFile, mqttCaFile;
};

QString ProgramSettingsPath(const QString& dataFolder);
ProgramSettings LoadProgramSettings(const QString& dataFolder);
// Writes the window places alone (every other key of the file stays as it
// is). Empty on success, else a message naming the file.
QString SaveWindowGeometry(const QString& dataFolder, const QMap<QString, QByteArray>& geometry);
// Writes 表示にも PNG を使う alone (every other key stays as it is). Empty on
// success, else a message naming the file.
QString SaveScreenPngForDisplay(const QString& dataFolder, bool on);
// Writes the language alone (every other key stays as it is). Empty on
// success, else a message naming the file.
QString SaveLanguage(const QString& dataFolder, const QString& language);

}  // namespace qm
