#pragma once
// What every run of the program writes to, the same in the window and
// headless: the file sinks and, with --serve, the web view. Made before the
// session and destroyed after it, so it outlives the session's runs.
#include "app/AppOptions.h"
#include "engine/output/FileSinks.h"
#include "engine/web/WebServer.h"

class Session;

struct Outputs {
    WebServer web;
    ScreenFileSink screenFiles;
    WaveCsvSink waveFiles;
    LogCsvSink logFile;
    EventLogSink events;

    // Adds the sinks to the session and starts the web view when asked (with
    // `sayAddress` its address is said once on stdout; the window says it in
    // its status bar instead). A server that cannot start is said on stderr
    // and the program goes on without it.
    void attach(Session& session, const AppOptions& options, const QString& dataFolder, bool sayAddress);
    // After the last run (the session shut down): the web view's event
    // streams get up to FinishMs to send what is left of the run (its last
    // cycles and final state), then the server stops.
    void finish();
    static constexpr int FinishMs = 2000;
};
