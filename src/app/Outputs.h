#pragma once
// What every run of the program writes to, the same in the window and
// headless: the file sinks and, with --serve, the web view. Made before the
// session and destroyed after it, so it outlives the session's runs.
#include "app/AppOptions.h"
#include "engine/output/FileSinks.h"
#include "engine/web/WebServer.h"

#include <atomic>
#include <functional>
#include <memory>

namespace qm {

class Session;
class MqttSink;

struct Outputs {
    Outputs();
    ~Outputs();
    WebServer web;
    ScreenFileSink screenFiles;
    WaveCsvSink waveFiles;
    LogCsvSink logFile;
    EventLogSink events;
    // With --mqtt (or [Mqtt] Url in Quillmeter.ini): every cycle to the broker.
    std::unique_ptr<qm::MqttSink> mqtt;
    // The window's status line, for what the MQTT output has to say (set
    // once the window is there, cleared before it goes; without it, and when
    // headless, the text goes to stderr).
    std::function<void(const QString&)> showStatus;
    // Set when finish() begins: the event loop runs no more, so the MQTT
    // output's texts go straight to stderr.
    std::atomic<bool> finishing{false};
    // Why the web view asked for did not start (also said on stderr); empty
    // when it runs or was not asked for.
    QString webError;

    // Adds the sinks to the session and starts the web view when asked (with
    // `sayAddress` its address is said once on stdout; the window says it in
    // its status bar instead). A server that cannot start is said on stderr
    // and the program goes on without it.
    void attach(Session& session, const AppOptions& options, const QString& dataFolder, bool sayAddress);
    // After the last run (the session shut down): the web view's event
    // streams get up to FinishMs to send what is left of the run (its last
    // cycles and final state), then the server stops; the MQTT output gets
    // as long to send what is queued (the rest waits on disk).
    void finish();
    static constexpr int FinishMs = 2000;
};

}  // namespace qm
