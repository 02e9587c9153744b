#pragma once
// Command-line options (beyond the window; without them the window behaves as
// designed).
#include <QString>
#include <QStringList>
#include <optional>

#include "engine/settings/DataFolder.h"

struct AppOptions {
    QString dataDir;          // --data-dir: the data folder instead of the platform default
    int tcpPort = 5198;       // --port
    bool demo = false;        // --demo: in-process simulated instrument
    bool waveform = false;    // --waveform: show TransOnly / WaveSaveCheck and tick the box
    bool autostart = false;   // --autostart: click WaveTransfer once the window is up
    bool transferOnly = false;  // with --autostart: click TransOnly instead
    bool assumeYes = false;   // --assume-yes: questions answered OK; failures to stderr
    bool exitAfterRun = false;  // --exit-after-run
    bool echoStatus = false;  // --echo-status: panel 1 texts on stdout
    int repeat = -1;          // --repeat N: the repeat count text box (demo runs)
    bool headless = false;    // --headless: no window; implies autostart, assume-yes, exit-after-run, echo-status
    bool quitOnUnload = true; // closing the main window ends the application
};

// Parses the arguments (without the program name). On a usage error returns
// nullopt and sets *error.
std::optional<AppOptions> ParseAppOptions(const QStringList& args, QString* error);
QString AppUsage();
