#include "engine/run/Session.h"

#include "engine/link/Transport.h"
#include "engine/run/MeasurementRun.h"


namespace qm {

// Forwards the run's events as the session's signals (queued to receivers on
// other threads).
class Session::SignalSink : public RunSink {
public:
    explicit SignalSink(Session& s) : s_(s) {}
    void runStarted(const RunStartInfo& info) override { emit s_.runStarted(info); }
    void repeatCountLimited(const QString& text) override { emit s_.repeatCountLimited(text); }
    void measItemsRead(const MeasItemArray& items) override { emit s_.measItemsRead(items); }
    qm::FileResult cycleLogged(const CycleRecord& record, const QString&) override {
        emit s_.cycleLogged(record);
        return {};
    }
    qm::FileResult screenImage(const ScreenImage& image) override {
        if (image.forDisplay) emit s_.screenForDisplay(image.bytes);
        return {};
    }
    void statusChanged(const QString& text, StatusKind) override { emit s_.statusChanged(text); }
    void progressChanged(int value) override { emit s_.progressChanged(value); }
    void cycleNumberChanged(int32_t next) override { emit s_.cycleNumberChanged(int(next)); }
    void waitChanged(const RunWait& wait) override { emit s_.waitChanged(wait); }

private:
    Session& s_;
};

Session::Session(QObject* parent)
    : QObject(parent), signalSink_(std::make_unique<SignalSink>(*this)), state_(new qm::SessionState) {
    qRegisterMetaType<CycleRecord>();
    qRegisterMetaType<MeasItemArray>();
    qRegisterMetaType<RunEndInfo>();
    qRegisterMetaType<RunStartInfo>();
    qRegisterMetaType<RunWait>();
    state_->cycleNo = &cycleNo_;
    state_->lookups = &lookups_;
    thread_.reset(QThread::create([this] { workerLoop(); }));
    thread_->setObjectName(QStringLiteral("measurement"));
    thread_->start();
}

Session::~Session() {
    // The program's front ends call shutdown() first and end the process if
    // it fails; this is the last word for any other owner.
    if (!shutdown())
        qFatal("%s", qPrintable(QStringLiteral("The measurement thread did not end: %1").arg(shutdownProblem_)));
    delete state_;
}

void Session::addSink(RunSink* sink) { sinks_.push_back(sink); }

bool Session::start(const RunRequest& request, Questions& questions) {
    if (shutDown_ || active_.exchange(true)) return false;
    stop_.reset();
    {
        std::lock_guard lock(idleMutex_);
        pending_ = Pending{request, &questions};
        wake_.notify_all();
    }
    return true;
}

void Session::workerLoop() {
    std::unique_lock lock(idleMutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || pending_ || closeLink_; });
        if (pending_) {
            const Pending run = std::move(*pending_);
            pending_.reset();
            std::vector<RunSink*> sinks = sinks_;
            lock.unlock();
            runOnWorker(run, std::move(sinks));
            lock.lock();
        } else if (closeLink_) {
            // The link belongs to this thread: it is closed here, writing out
            // what is still pending (the closing commands of a serial run).
            lock.unlock();
            if (state_->link) state_->link->close(qm::kCloseFlushMs);
            state_->link.reset();
            lock.lock();
            closeLink_ = false;
            linkClosed_ = true;
            idle_.notify_all();
        } else {
            return;  // quit_
        }
    }
}

void Session::runOnWorker(const Pending& run, std::vector<RunSink*> sinks) {
    std::vector<RunSink*> all = sinks;
    all.push_back(signalSink_.get());
    qm::SinkList sinkList(all);
    const RunEndInfo end = qm::RunMeasurement(*state_, run.request, live_, *run.questions, sinkList, stop_);
    linkOpen_ = state_->link != nullptr;
    for (RunSink* s : sinks) s->runEnded(end);
    {
        std::lock_guard lock(idleMutex_);
        active_ = false;
        idle_.notify_all();
    }
    emit runFinished(end);
}

void Session::stop() { stop_.requestStop(); }

bool Session::waitIdle(int ms) const {
    std::unique_lock lock(idleMutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !active_.load(); });
}

void Session::clear() {
    if (!active_) cycleNo_ = 1;
}

bool Session::shutdown(int waitMs) {
    if (shutDown_) {
        if (!workerEnded_ && thread_->wait(waitMs)) {
            // The worker's last steps are seen from here on.
            std::lock_guard lock(idleMutex_);
            workerEnded_ = true;
        }
        if (workerEnded_ && !lookupsEnded_) lookupsEnded_ = lookups_.finish(waitMs, &shutdownProblem_);
        return workerEnded_ && lookupsEnded_;
    }
    shutDown_ = true;
    if (active_) {
        stop_.requestAbort();
        waitIdle(waitMs);
    }
    std::unique_lock lock(idleMutex_);
    if (!active_) {
        closeLink_ = true;
        wake_.notify_all();
        // The close is bounded by its flush.
        idle_.wait_for(lock, std::chrono::milliseconds(waitMs + qm::kCloseFlushMs), [this] { return linkClosed_; });
    }
    quit_ = true;
    wake_.notify_all();
    lock.unlock();
    workerEnded_ = thread_->wait(waitMs);
    if (!workerEnded_) {
        // A sink that never returns (a file system that hangs).
        shutdownProblem_ = QStringLiteral("a run's output did not return within %1 s").arg(waitMs / 1000.0);
        return false;
    }
    // The worker's last steps are seen from here on.
    lock.lock();
    lock.unlock();
    lookupsEnded_ = lookups_.finish(waitMs, &shutdownProblem_);
    return lookupsEnded_;
}

}  // namespace qm
