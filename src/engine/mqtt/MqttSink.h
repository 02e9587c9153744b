#pragma once
// Publishes the run to an MQTT broker, so that the values of many benches
// end in one place: every logged cycle on PREFIX/STATION/cycle (QoS 1, one
// JSON record with a stable id "RUN:CYCLE"), the run's state on
// PREFIX/STATION/state (retained; "offline" as the connection's last will),
// the statistics on PREFIX/STATION/stats (retained) and events (link lost,
// reconnected, files not written, records given up) on PREFIX/STATION/event.
//
// The run never waits for the broker. The sink's call on the worker thread
// makes the record's JSON text, appends it to the queue on disk (DiskQueue,
// one write) and wakes the publisher thread; nothing else. The publisher
// (a thread of its own, with libmosquitto driven from it) sends what the
// queue holds, oldest first, a bounded number in flight, and marks records
// done as the broker acknowledges them. A broker that is down, slow, refuses
// the login or never acknowledges costs the run nothing: records wait on
// disk, also across a restart of the program, and go out in order once the
// broker takes them again. Connecting again is tried after backoffMinMs,
// doubling up to backoffMaxMs.
//
// Trouble with the broker or the queue is said through the reporter (a
// status line in the window, stderr when headless), once per change, never
// with the password.
#include "engine/mqtt/MqttAddress.h"
#include "engine/text/StationName.h"
#include "engine/model/RunSink.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace qm {

struct MqttOptions {
    MqttAddress address;
    QString station;        // the topic level naming this bench (see StationTopicName)
    QString user;           // empty: no login
    QString password;       // never shown anywhere
    QString caFile;         // mqtts: the CA certificates to trust; empty: the system's
    QString dataFolder;     // Trend.ini is read from here at each run's start
    QString queueFolder;    // the queue on disk (normally <data folder>/MqttQueue)
    int64_t queueMaxBytes = int64_t(100) << 20;
    int backoffMinMs = 1000;     // the first wait before connecting again
    int backoffMaxMs = 30000;    // the longest one
    int connectTimeoutMs = 10000;  // a connection not accepted by then is given up and tried again
    int keepAliveSeconds = 15;
    // A record in flight that long without an acknowledgement: the connection
    // is closed and opened again, and what was not acknowledged goes again.
    int ackTimeoutMs = 20000;
    int syncIntervalMs = 1000;   // appended records are made durable (fdatasync) at most this often
    int inFlight = 32;           // records sent and not yet acknowledged, at most
};

// What the sink has done, for the status and for metrics.
struct MqttCounters {
    bool connected = false;
    int64_t queued = 0;            // records on disk the broker has not acknowledged
    int64_t queuedBytes = 0;       // the queue's files
    double oldestUnsentSeconds = 0;  // age of the oldest of them (0: none)
    int64_t published = 0;         // records the broker acknowledged
    int64_t publishFailures = 0;   // failed connections, lost connections, refused publishes
    int64_t queueFailures = 0;     // records that could not be queued (the disk)
    int64_t givenUp = 0;           // records given up because the queue was full
};

class MqttSink : public RunSink {
public:
    explicit MqttSink(MqttOptions options);
    ~MqttSink() override;

    // Where messages about the broker and the queue go (called on the
    // publisher's or the worker's thread). Set before start().
    void setReporter(std::function<void(const QString&)> report);
    // Opens the queue (records an earlier start left are sent first) and
    // starts the publisher. Returns an error text when the queue cannot be
    // used at all; the sink then does nothing.
    QString start();
    // The program ends: for up to `maxMs` what is queued goes out, then the
    // state "offline" is published and the connection closed. Records not
    // acknowledged stay on disk for the next start.
    void finish(int maxMs);

    MqttCounters counters() const;
    const MqttOptions& options() const;
    QString topic(const char* leaf) const;  // PREFIX/STATION/leaf

    // RunSink, on the run's worker thread.
    void runStarted(const RunStartInfo& info) override;
    void measItemsRead(const MeasItemArray& items) override;
    FileResult cycleLogged(const CycleRecord& record, const QString& logFileName) override;
    void statusChanged(const QString& text, StatusKind kind) override;
    void cycleNumberChanged(int32_t next) override;
    void waitChanged(const RunWait& wait) override;
    void linkEvent(const QString& text, bool reconnected, int32_t cycle, const QString& folder, const QString& header) override;
    void runEnded(const RunEndInfo& end) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace qm
