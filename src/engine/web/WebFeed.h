#pragma once
// What the read-only web view shows of the run: a RunSink that copies the
// run's state under a mutex on the worker thread (no network I/O there) and
// hands out JSON texts and Server-Sent Events to the server's threads.
// Events go once into one bounded ring (O(1) per event however many clients
// there are; a cycle's text is made once, when the first stream takes it);
// the server is told that there is something new (one call, see
// setEventHook) and each stream takes what it has not sent yet. A status
// event carries the latest state: changes between two takes make one event. A client that
// stops reading falls behind the ring and is dropped (its stream ends;
// EventSource connects again and catches up), so the run never waits for it
// and memory stays bounded. Once the feed is closed no event is added, but
// every stream is still handed what the ring holds for it before it ends.
#include "engine/model/LiveSettings.h"
#include "engine/model/RunSink.h"
#include "engine/stats/TrendLog.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qm {

// One client of /api/events: where it is in the feed's ring of events.
class WebSubscriber {
public:
    bool dropped() const { return dropped_; }

private:
    friend class WebFeed;
    uint64_t next = 0;       // the sequence number of the next event to send
    std::string first;       // the status at subscription, sent first
    bool dropped_ = false;   // fell behind the ring: its stream ends
};

class WebFeed : public RunSink {
public:
    static constexpr size_t MaxLogRecords = 10001;

    WebFeed();
    ~WebFeed() override;

    // The data folder, for the limits in Trend.ini (read at each run start).
    void setDataFolder(const QString& folder);
    // The session's live settings, for the output folder and the name header
    // (read at the run's start and at each cycle). Must outlive the feed's use.
    void watch(const LiveSettings* live);

    // The JSON texts of the routes (UTF-8).
    QByteArray statusJson() const;
    QByteArray logJson(int64_t since) const;
    QByteArray statsJson() const;
    // The Prometheus text of /metrics (the text exposition format 0.0.4):
    // a fixed set of series, whatever the run did.
    std::string metricsText() const;
    // The bench's name in the metrics' station label (the name the MQTT
    // topics use).
    void setStation(const QString& name);
    // The MQTT output's queue, read (from the server's thread) for the
    // metrics; without one the queue's gauges are 0. Set before serving.
    struct QueueGauges {
        int64_t records = 0;         // records the broker has not acknowledged
        double oldestSeconds = 0;    // age of the oldest of them (0: none)
    };
    void setQueueGauges(std::function<QueueGauges()> read);
    // The latest saved screen image (PNG bytes), empty when there is none.
    QByteArray screenPng() const;
    // The run's log file (<folder>/<header>_AM_LOG.csv, from the run's own
    // settings), empty before the first run. It may not exist yet.
    QString logFilePath() const;

    static constexpr size_t MaxEvents = 4096;            // kept in the ring
    static constexpr size_t MaxEventBytes = 8 << 20;     // bytes kept in the ring

    // A new client of the event stream; its stream starts with the status.
    std::shared_ptr<WebSubscriber> subscribe();
    void unsubscribe(const std::shared_ptr<WebSubscriber>& s);
    // The events the subscriber has not had yet, whole events up to about
    // `maxBytes` (at least one), oldest first; never blocks. *closed is set
    // when it fell behind the ring, or when the feed is closed and it has had
    // every event: its stream ends after this text.
    std::string take(WebSubscriber& s, bool* closed, size_t maxBytes = SIZE_MAX);
    size_t subscriberCount() const;
    uint64_t droppedCount() const { return dropped_.load(); }
    // No more events: every stream ends once it has taken what the ring
    // holds for it (the run is over, or the server is stopping).
    void closeAll();

    // RunSink, on the run's worker thread.
    void runStarted(const RunStartInfo& info) override;
    void measItemsRead(const MeasItemArray& items) override;
    qm::FileResult cycleLogged(const CycleRecord& record, const QString& logFileName) override;
    qm::FileResult screenImage(const ScreenImage& image) override;
    void statusChanged(const QString& text, StatusKind kind) override;
    void fileFailed(const qm::FileResult& result) override;
    void cycleNumberChanged(int32_t next) override;
    void waitChanged(const RunWait& wait) override;
    void linkEvent(const QString& text, bool reconnected, int32_t cycle, const QString& folder, const QString& header) override;
    void runEnded(const RunEndInfo& end) override;

protected:
    // Called (under the feed's lock, so it must be quick and must not call
    // back into the feed) when events were added or the feed was closed.
    // Replacing it waits for a call in progress.
    void setEventHook(std::function<void()> hook);

private:
    QByteArray statusJsonLocked() const;
    QByteArray statsJsonLocked() const;
    void appendStatsLocked(std::string& out) const;  // the slots' statistics as a JSON array

    // One event of the ring. A cycle event keeps its record until a stream
    // takes it: then its text is made (on the server's thread, a burst of
    // cycles at once), with the statistics only if it is the newest cycle,
    // so that a burst carries them once, in its last cycle.
    struct RingEvent {
        std::string text;                   // "event: ...\ndata: ...\n\n"
        std::optional<CycleRecord> record;  // a cycle event whose text is not made yet
        int64_t run = 0;
    };
    static constexpr size_t PendingCycleBytes = 512;  // counted for a cycle event not made yet

    // Puts `event` (already "event: ...\ndata: ...\n\n") in the ring.
    void broadcastLocked(std::string event);
    void pushLocked(RingEvent event);
    void makeTextLocked();
    // Before the ring is read: the due status event and every event's text.
    void completeLocked();
    void trimRingLocked();
    // Marks the status as changed; the event is made by pendingStatusLocked.
    void statusEventLocked();
    void pendingStatusLocked();
    void readLiveLocked();

    // What a waiting run waits for: the trigger (told by the status text),
    // the repeat interval or the manual question (told by waitChanged).
    enum class WaitKind { None, Trigger, Interval, Question };
    // Sets the wait; the state is "waiting" while there is one.
    void setWaitLocked(WaitKind kind, const QDateTime& nextStart = {});
    bool runGoingOnLocked() const;

    mutable std::mutex mutex_;
    QString dataFolder_;
    const LiveSettings* live_ = nullptr;
    QString state_ = QStringLiteral("idle");
    QString status_;
    QString folder_, header_;
    QString endMessage_;
    QDateTime started_;
    int64_t runId_ = 0;
    // This program's start (ms): a page that sees it change after
    // reconnecting knows that the program was started again.
    const double instance_ = double(QDateTime::currentMSecsSinceEpoch());
    int32_t firstCycle_ = 1;
    int32_t repeat_ = 0;
    int32_t next_ = 1;
    int32_t lastCycle_ = 0;
    bool transferOnly_ = false;
    bool linkLost_ = false;  // a lost link not (yet) reconnected
    WaitKind wait_ = WaitKind::None;
    QDateTime nextStart_;    // the interval's end: the next cycle's start
    QString logFile_;
    MeasItemArray items_;
    TrendLog trend_;
    std::deque<CycleRecord> log_;
    QByteArray png_;
    int32_t pngCycle_ = 0;
    QDateTime pngTime_;      // when it was saved
    std::vector<std::shared_ptr<WebSubscriber>> subs_;
    std::deque<RingEvent> ring_;  // events seqBase_ ... seqBase_ + size - 1
    uint64_t seqBase_ = 0;
    uint64_t madeUpTo_ = 0;              // the events before this one have their text
    uint64_t newestCycle_ = UINT64_MAX;  // the newest cycle event
    size_t ringBytes_ = 0;
    bool closed_ = false;
    bool statusPending_ = false;  // a status event is due
    std::function<void()> eventHook_;
    std::atomic<uint64_t> dropped_{0};

    // For the metrics: counts since the program started.
    QString station_;
    std::function<QueueGauges()> queueGauges_;
    uint64_t cyclesTotal_ = 0;
    std::array<uint64_t, 4> outsideTotal_{};
    std::array<std::optional<double>, 4> lastValues_;  // of the last logged cycle
    std::optional<std::chrono::steady_clock::time_point> lastCycleAt_;
    uint64_t fileFailures_ = 0;
    uint64_t reconnections_ = 0;
};

}  // namespace qm
