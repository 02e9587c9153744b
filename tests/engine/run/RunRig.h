#pragma once
// A session wired to the simulated instrument on loopback TCP, with the file
// sinks, scripted answers to its questions, a record of its status texts and
// events, short limits, and on demand a clock that the test drives.
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "support/SimLink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <mutex>
#include <vector>

using namespace qm;

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

// Records what the run does, on its own thread and under a lock: its status
// texts, logged cycles, display images and ends, and its events as short
// texts ("status:…", "display", "png", "csv", "logged", "wait:interval",
// "wait:question"). It presses 測定中断 the first time a given event comes:
// the run then meets the stop at exactly that point. (The test reads what
// the run did from here, not from the session's queued signals, so that
// nothing is handed over out of the thread sanitizer's sight.)
class EventSink : public RunSink {
    template <typename F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }

public:
    explicit EventSink(Session& session) : session_(session) {}
    void stopAt(const QString& event) {
        std::lock_guard lock(mutex_);
        stopAt_ = event;
    }
    QStringList events() const { return locked([&] { return events_; }); }
    QStringList statuses() const { return locked([&] { return statuses_; }); }
    // What the run said the status text stood for (the last time it came).
    StatusKind kindOf(const QString& text) const { return locked([&] { return kinds_.value(text, StatusKind::Plain); }); }
    QList<CycleRecord> records() const { return locked([&] { return records_; }); }
    QList<QByteArray> shown() const { return locked([&] { return shown_; }); }
    int ended() const { return locked([&] { return ended_; }); }
    RunEndInfo end() const { return locked([&] { return end_; }); }
    void clearStatuses() {
        std::lock_guard lock(mutex_);
        statuses_.clear();
    }

    void statusChanged(const QString& text, StatusKind kind) override {
        locked([&] {
            statuses_ << text;
            kinds_.insert(text, kind);
        });
        note(QStringLiteral("status:") + text);
    }
    qm::FileResult screenImage(const ScreenImage& image) override {
        if (image.forDisplay) locked([&] { shown_ << image.bytes; });
        note(image.forDisplay ? QStringLiteral("display") : QStringLiteral("png"));
        return {};
    }
    qm::FileResult traces(const TraceSet&, const std::function<void(int)>&) override {
        note(QStringLiteral("csv"));
        return {};
    }
    qm::FileResult cycleLogged(const CycleRecord& record, const QString&) override {
        locked([&] { records_ << record; });
        note(QStringLiteral("logged"));
        return {};
    }
    void waitChanged(const RunWait& wait) override {
        if (wait.kind == RunWait::Kind::Interval) note(QStringLiteral("wait:interval"));
        if (wait.kind == RunWait::Kind::Question) note(QStringLiteral("wait:question"));
    }
    void runEnded(const RunEndInfo& end) override {
        locked([&] {
            end_ = end;
            ++ended_;
        });
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
    QStringList statuses_;
    QHash<QString, StatusKind> kinds_;
    QList<CycleRecord> records_;
    QList<QByteArray> shown_;
    int ended_ = 0;
    RunEndInfo end_;
    QString stopAt_;
};

// Limits short enough that a test meets a time-out within a second or two,
// long enough that an answering simulator never runs into one, even in a
// ThreadSanitizer build on a busy machine.
inline qm::RunLimits ShortLimits() {
    qm::RunLimits l;
    l.triggerTimeout = std::chrono::milliseconds(600);
    l.queryTimeout = std::chrono::milliseconds(1500);
    l.reconnectFirstPause = std::chrono::milliseconds(20);
    l.reconnectLongestPause = std::chrono::milliseconds(80);
    l.link.blockSilenceMs = 1500;
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
    ScreenFileSink screens;
    WaveCsvSink waves;
    LogCsvSink logFile;
    EventLogSink events;
    Session session;
    EventSink runEvents{session};
    RunRequest request;
    RunEndInfo end;  // of the last run waited for

    explicit RunRig(bool listen = true) {
        if (listen) server.listen(QHostAddress::LocalHost, 0);
        session.addSink(&screens);
        session.addSink(&waves);
        session.addSink(&logFile);
        session.addSink(&events);
        session.addSink(&runEvents);
        request.address = QStringLiteral("127.0.0.1");
        request.tcpPort = listen ? server.port() : 1;
        request.repeatText = QStringLiteral("2");
        request.dataFolder = dir.path();
        request.limits = ShortLimits();
        live([&](LiveValues& v) {
            v.intervalText = QStringLiteral("0");
            v.folder = QDir::toNativeSeparators(dir.path());  // as the window hands it over
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
    // What the run did so far (see EventSink).
    QStringList statuses() const { return runEvents.statuses(); }
    StatusKind kindOf(const QString& text) const { return runEvents.kindOf(text); }
    QList<CycleRecord> records() const { return runEvents.records(); }
    int finished() const { return runEvents.ended(); }
    // Starts a run; false when the session refused it.
    bool start() {
        started_ = finished();
        return session.start(request, ask);
    }
    // Waits (bounded) until the started run has ended, in an event loop: the
    // simulator answers meanwhile without delay.
    bool waitEnd(int ms = 30000) {
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (finished() > started_ || clock.elapsed() > ms) loop.quit();
        });
        poll.start(2);
        loop.exec();
        // The run's end as the session hands it over: what it did is seen here.
        if (finished() <= started_ || !session.waitIdle(5000)) return false;
        end = runEvents.end();
        return true;
    }
    // Starts a run and waits until it has ended.
    RunOutcome run() {
        if (!start()) return RunOutcome::Error;
        if (!waitEnd()) return RunOutcome::Aborted;
        return end.outcome;
    }
    // The commands of the run after the configuration snapshot.
    QStringList runCommands() const { return From(sim.received(), QStringLiteral("*ESE 255")); }
    // A file of the output folder, named as the run names it (native separators).
    QString file(const QString& name) const { return QDir::toNativeSeparators(dir.filePath(name)); }
    // The run over `pty` as COM9 (through a link that follows the pty's
    // device when it is opened anew). False when the pty cannot be made.
    bool overPty(qmsim::SimPty& pty) {
        const QString link = file(QStringLiteral("ttySIM"));
        if (!pty.open() || !pty.setLinkPath(link)) return false;
        qputenv("QUILLMETER_COM9", link.toLocal8Bit());
        request.serial = true;
        request.comText = QStringLiteral("COM9");
        return true;
    }

private:
    int started_ = 0;
};
