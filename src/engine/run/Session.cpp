#include "engine/run/Session.h"

#include "engine/link/Transport.h"
#include "engine/run/MeasurementRun.h"

#include <QMetaObject>

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
    void statusChanged(const QString& text) override { emit s_.statusChanged(text); }
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
    thread_.setObjectName(QStringLiteral("measurement"));
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

Session::~Session() {
    shutdown();
    delete state_;
}

void Session::addSink(RunSink* sink) { sinks_.push_back(sink); }

bool Session::start(const RunRequest& request, Questions& questions) {
    if (shutDown_ || active_.exchange(true)) return false;
    stop_.reset();
    QMetaObject::invokeMethod(worker_, [this, request, q = &questions] { runOnWorker(request, q); },
                              Qt::QueuedConnection);
    return true;
}

void Session::runOnWorker(RunRequest request, Questions* questions) {
    std::vector<RunSink*> all = sinks_;
    all.push_back(signalSink_.get());
    qm::SinkList sinks(all);
    const RunEndInfo end = qm::RunMeasurement(*state_, request, live_, *questions, sinks, stop_);
    linkOpen_ = state_->link != nullptr;
    {
        std::lock_guard lock(idleMutex_);
        active_ = false;
    }
    idle_.notify_all();
    for (RunSink* s : sinks_) s->runEnded(end);
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

void Session::shutdown(int waitMs) {
    if (shutDown_) return;
    shutDown_ = true;
    if (active_) {
        stop_.requestAbort();
        waitIdle(waitMs);
    }
    if (!active_) {
        // The link belongs to the worker thread: close it there, writing out
        // what is still pending (the closing commands of a serial run).
        QMetaObject::invokeMethod(
            worker_,
            [this] {
                if (state_->link) state_->link->close(qm::kCloseFlushMs);
                state_->link.reset();
            },
            Qt::BlockingQueuedConnection);
    }
    thread_.quit();
    if (!thread_.wait(waitMs)) {
        // A sink that never returns (a file system that hangs): the program
        // is ending, so the thread is not waited for any longer.
        thread_.terminate();
        thread_.wait();
    }
}
