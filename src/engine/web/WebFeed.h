#pragma once
// What the read-only web view shows of the run: a RunSink that copies the
// run's state under a mutex on the worker thread (no network I/O there) and
// hands out JSON texts and Server-Sent Events to the server's threads.
// Every subscriber has its own bounded queue: one that stops reading is
// dropped when its queue passes the limit, so the run never waits for it.
#include "engine/run/LiveSettings.h"
#include "engine/run/RunSink.h"
#include "engine/stats/TrendLog.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One client of /api/events.
class WebSubscriber {
public:
    static constexpr size_t MaxQueued = 512;          // events
    static constexpr size_t MaxQueuedBytes = 4 << 20;  // bytes

    // Waits up to `wait` for events; returns them (empty on time-out).
    // *closed is set when the subscriber was dropped or the feed closed.
    std::vector<std::shared_ptr<const std::string>> take(std::chrono::milliseconds wait, bool* closed);
    bool dropped() const;

private:
    friend class WebFeed;
    void push(const std::shared_ptr<const std::string>& event);
    void close();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    size_t bytes_ = 0;
    bool dropped_ = false;
    bool closed_ = false;
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
    // The latest saved screen image (PNG bytes), empty when there is none.
    QByteArray screenPng() const;

    // A new client of the event stream; its queue starts with the status.
    std::shared_ptr<WebSubscriber> subscribe();
    void unsubscribe(const std::shared_ptr<WebSubscriber>& s);
    size_t subscriberCount() const;
    uint64_t droppedCount() const { return dropped_.load(); }
    // Wakes and ends every event stream (the server is stopping).
    void closeAll();

    // RunSink, on the run's worker thread.
    void runStarted(const RunStartInfo& info) override;
    void measItemsRead(const MeasItemArray& items) override;
    OutputResult cycleLogged(const CycleRecord& record, const QString& logFileName) override;
    OutputResult screenImage(const ScreenImage& image) override;
    void statusChanged(const QString& text) override;
    void cycleNumberChanged(int32_t next) override;
    void linkEvent(const QString& text, int32_t cycle, const QString& folder, const QString& header) override;
    void runEnded(const RunEndInfo& end) override;

private:
    QByteArray statusJsonLocked() const;
    QByteArray statsJsonLocked() const;
    // Sends `event` (already "event: ...\ndata: ...\n\n") to every subscriber.
    void broadcastLocked(const std::string& event);
    void statusEventLocked();
    void readLiveLocked();

    mutable std::mutex mutex_;
    QString dataFolder_;
    const LiveSettings* live_ = nullptr;
    QString state_ = QStringLiteral("idle");
    QString status_;
    QString folder_, header_;
    QString endMessage_;
    QDateTime started_;
    int64_t runId_ = 0;
    int32_t firstCycle_ = 1;
    int32_t repeat_ = 0;
    int32_t next_ = 1;
    int32_t lastCycle_ = 0;
    bool transferOnly_ = false;
    bool linkLost_ = false;  // a lost link not (yet) reconnected
    MeasItemArray items_;
    TrendLog trend_;
    std::deque<CycleRecord> log_;
    QByteArray png_;
    int32_t pngCycle_ = 0;
    std::vector<std::shared_ptr<WebSubscriber>> subs_;
    std::atomic<uint64_t> dropped_{0};
};
