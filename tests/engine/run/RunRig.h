#pragma once
// A session wired to the simulated instrument on loopback TCP, with the file
// sinks, scripted answers to its questions, a record of its status texts and
// events, short limits, and on demand a clock that the test drives.
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "support/SimLink.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <mutex>
#include <vector>

// A clock for the run's waits that stands still until the run sleeps; a
// sleep moves it on to its deadline at once, so a test sees the schedule
// without waiting it out. Every sleep is recorded (milliseconds since the
// clock's start); `onSleep` runs on the run's thread before the sleep
// returns (a test may stop the run there). advance() is the time a step
// takes (called from any thread).
class TestClock : public qm::WaitClock {
public:
    struct Sleep {
        qint64 from = 0;
        qint64 until = 0;
    };
    qm::SteadyClock::time_point now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    bool sleepUntil(qm::SteadyClock::time_point deadline, const qm::StopToken& stop) const override {
        std::function<void(const Sleep&)> hook;
        Sleep s;
        {
            std::lock_guard lock(mutex_);
            s = {ms(now_), ms(deadline)};
            sleeps_.push_back(s);
            hook = onSleep_;
        }
        if (hook) hook(s);
        if (stop.stopRequested()) return true;
        std::lock_guard lock(mutex_);
        now_ = std::max(now_, deadline);
        return false;
    }
    void advance(std::chrono::milliseconds d) {
        std::lock_guard lock(mutex_);
        now_ += d;
    }
    void onSleep(std::function<void(const Sleep&)> hook) {
        std::lock_guard lock(mutex_);
        onSleep_ = std::move(hook);
    }
    std::vector<Sleep> sleeps() const {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    // The sleeps as "from-until" texts.
    QStringList spans() const {
        QStringList out;
        for (const Sleep& s : sleeps()) out << QStringLiteral("%1-%2").arg(s.from).arg(s.until);
        return out;
    }

private:
    qint64 ms(qm::SteadyClock::time_point t) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count();
    }
    mutable std::mutex mutex_;
    const qm::SteadyClock::time_point start_ = qm::SteadyClock::now();
    mutable qm::SteadyClock::time_point now_ = start_;
    mutable std::vector<Sleep> sleeps_;
    std::function<void(const Sleep&)> onSleep_;
};

// Records what the run does, on its own thread, as short texts ("status:…",
// "display", "png", "csv", "logged", "wait:interval", "wait:question"), and
// presses 測定中断 the first time a given one comes: the run then meets the
// stop at exactly that point.
class EventSink : public RunSink {
public:
    explicit EventSink(Session& session) : session_(session) {}
    void stopAt(const QString& event) {
        std::lock_guard lock(mutex_);
        stopAt_ = event;
    }
    QStringList events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void statusChanged(const QString& text) override { note(QStringLiteral("status:") + text); }
    qm::FileResult screenImage(const ScreenImage& image) override {
        note(image.forDisplay ? QStringLiteral("display") : QStringLiteral("png"));
        return {};
    }
    qm::FileResult traces(const TraceSet&, const std::function<void(int)>&) override {
        note(QStringLiteral("csv"));
        return {};
    }
    qm::FileResult cycleLogged(const CycleRecord&, const QString&) override {
        note(QStringLiteral("logged"));
        return {};
    }
    void waitChanged(const RunWait& wait) override {
        if (wait.kind == RunWait::Kind::Interval) note(QStringLiteral("wait:interval"));
        if (wait.kind == RunWait::Kind::Question) note(QStringLiteral("wait:question"));
    }

private:
    void note(const QString& event) {
        bool stop = false;
        {
            std::lock_guard lock(mutex_);
            events_ << event;
            if (!stopAt_.isEmpty() && event == stopAt_) {
                stopAt_.clear();
                stop = true;
            }
        }
        if (stop) session_.stop();
    }
    Session& session_;
    mutable std::mutex mutex_;
    QStringList events_;
    QString stopAt_;
};

// Limits short enough that a test meets a time-out within a fraction of a
// second, long enough that an answering simulator never runs into one.
inline qm::RunLimits ShortLimits() {
    qm::RunLimits l;
    l.triggerTimeout = std::chrono::milliseconds(300);
    l.queryTimeout = std::chrono::milliseconds(500);
    l.reconnectFirstPause = std::chrono::milliseconds(20);
    l.reconnectLongestPause = std::chrono::milliseconds(80);
    l.link.blockSilenceMs = 500;
    l.link.slowNoticeMs = 100;
    l.link.overlongDropMax = 64 << 10;  // an answer without end is given up after this ...
    l.link.resyncDropMax = 256 << 10;   // ... and this much more
    return l;
}

struct RunRig {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    ScriptedQuestions ask;
    QTemporaryDir dir;
    QStringList statuses;
    QList<CycleRecord> records;
    ScreenFileSink screens;
    WaveCsvSink waves;
    LogCsvSink logFile;
    EventLogSink events;
    Session session;
    EventSink runEvents{session};
    RunRequest request;
    RunEndInfo end;
    int finished = 0;  // runs that have ended

    explicit RunRig(bool listen = true) {
        if (listen) server.listen(QHostAddress::LocalHost, 0);
        session.addSink(&screens);
        session.addSink(&waves);
        session.addSink(&logFile);
        session.addSink(&events);
        session.addSink(&runEvents);
        // Queued to this (the main) thread, as a window sees them.
        QObject::connect(&session, &Session::statusChanged, &session, [this](const QString& t) { statuses << t; });
        QObject::connect(&session, &Session::cycleLogged, &session, [this](const CycleRecord& r) { records << r; });
        QObject::connect(&session, &Session::runFinished, &session, [this](const RunEndInfo& e) {
            session.waitIdle(5000);  // what the run did is seen here from now on
            end = e;
            ++finished;
            if (waiting_) waiting_->quit();
        });
        request.address = QStringLiteral("127.0.0.1");
        request.tcpPort = listen ? server.port() : 1;
        request.repeatText = QStringLiteral("2");
        request.dataFolder = dir.path();
        request.limits = ShortLimits();
        live([&](LiveValues& v) {
            v.intervalText = QStringLiteral("0");
            v.folder = dir.path();
            v.header = QStringLiteral("Sample");
        });
        sim.config().triggerPolls = 1;  // the second poll after arming sees the trigger
    }
    template <typename F>
    void live(F&& change) {
        session.live().update(change);
    }
    // The run's waits on a clock the test drives.
    std::shared_ptr<TestClock> testClock() {
        auto clock = std::make_shared<TestClock>();
        request.clock = clock;
        return clock;
    }
    // Starts a run; false when the session refused it.
    bool start() {
        started_ = finished;
        return session.start(request, ask);
    }
    // Waits (bounded) until the started run has ended, in an event loop:
    // the simulator answers meanwhile without delay.
    bool waitEnd(int ms = 30000) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        waiting_ = &loop;
        if (finished <= started_) loop.exec();
        waiting_ = nullptr;
        return finished > started_;
    }
    // Starts a run and waits until it has ended.
    RunOutcome run() {
        if (!start()) return RunOutcome::Error;
        if (!waitEnd()) return RunOutcome::Aborted;
        return end.outcome;
    }
    // The commands of the run after the configuration snapshot.
    QStringList runCommands() const { return From(sim.received(), QStringLiteral("*ESE 255")); }
    QString file(const QString& name) const { return dir.filePath(name); }

private:
    int started_ = 0;
    QEventLoop* waiting_ = nullptr;
};
