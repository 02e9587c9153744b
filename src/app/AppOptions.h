#pragma once
// Command-line options (beyond the window; without them the window behaves as
// designed).
#include "engine/settings/DataFolder.h"
#include "engine/model/RunSink.h"
#include "engine/settings/ResumeSettings.h"
#include "engine/web/WebServer.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

struct AppOptions {
    QString dataDir;            // --data-dir: the data folder instead of the platform default
    int tcpPort = 5198;         // --port
    bool demo = false;          // --demo: in-process simulated instrument
    bool waveform = false;      // --waveform: show TransOnly / WaveSaveCheck and tick the box
    bool autostart = false;     // --autostart: click WaveTransfer once the window is up
    bool transferOnly = false;  // with --autostart: click TransOnly instead
    bool assumeYes = false;     // --assume-yes: questions answered OK; failures to stderr
    bool exitAfterRun = false;  // --exit-after-run
    bool echoStatus = false;    // --echo-status: panel 1 texts on stdout
    bool headless = false;      // --headless: no window; implies the four above
    bool overwrite = false;     // --overwrite: headless runs may replace files of earlier runs
    bool progress = false;      // --progress: headless, a line per cycle on stderr even when it is no terminal
    double reconnectMinutes = 0;  // --reconnect MINUTES
    bool screenPng = false;     // --screen-png: 表示にも PNG を使う for this start (not saved)
    bool trend = false;         // --trend: open the trend window at start
    QString statsFile;          // --stats FILE: print the log's statistics and exit
    bool serve = false;         // --serve [ADDRESS:]PORT: the read-only web view beside the run
    WebServerOptions web;       // its address and port, and --serve-token TEXT
    qm::SettingOverrides settings;  // --log, --interval, --folder ... for this start only
    QString mqtt;               // --mqtt URL: publish every cycle to this broker (checked)
    QString mqttUser;           // --mqtt-user NAME
    QString mqttCaFile;         // --mqtt-ca FILE: the CA certificates for mqtts://
    QString mqttPasswordFile;   // --mqtt-password-file FILE (else QUILLMETER_MQTT_PASSWORD)
    QString station;            // --station NAME: the bench's name in the MQTT topics
    QString language;           // --lang ja|en: the language of this start (empty: not given)
};

// What the command line asks for besides the program's normal start.
enum class ParseEnd {
    Run,      // start (the options are returned)
    Help,     // --help, -h: print AppUsage()
    Version,  // --version: print AppVersionText()
    Usage,    // a usage error: *error names the flag
};

// Parses the arguments (without the program name). On a usage error returns
// nullopt and sets *error to one line naming the flag; --help and --version
// give nullopt with an empty *error and say which in *end.
std::optional<AppOptions> ParseAppOptions(const QStringList& args, QString* error, ParseEnd* end = nullptr);
QString AppUsage();
// The program's version, the Qt it was built with and runs on, and the
// commit it was built from when that was known when the build was set up.
QString AppVersionText();

// A usage error: the line naming the flag and a pointer to --help on
// stderr; returns the exit code 64.
int UsageError(const QString& error);

// A headless run must record something: false (and *error names the flags)
// when the combined settings save no log, no screen image and no waveform.
bool HeadlessRecordsSomething(bool log, bool screenSave, bool waveSave, QString* error);

}  // namespace qm
