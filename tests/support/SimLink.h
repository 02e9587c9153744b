#pragma once
// Test fixtures: the simulated instrument on loopback TCP or a pty (served by
// the test's main thread), engine calls made on a worker thread while the
// main thread keeps the simulator's event loop going, and questions with
// scripted answers.
#include "engine/instrument/Instrument.h"
#include "engine/link/LinkLimits.h"
#include "engine/link/Transport.h"
#include "engine/run/Questions.h"
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QStringList>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

using namespace qm;

// A thread for blocking engine calls. call() runs `f` there and keeps the
// calling (main) thread's event loop going until it returns, so the
// simulator answers meanwhile.
class WorkerThread {
public:
    WorkerThread();
    ~WorkerThread();
    void call(const std::function<void()>& f);
    template <typename F>
    auto get(F f) {
        decltype(f()) out{};
        call([&] { out = f(); });
        return out;
    }

private:
    QThread thread_;
    QObject* context_;
};

// The simulator serves a pseudo-terminal only on Unix systems: on Windows a
// serial case skips (the Windows serial transport is tried under wine by hand).
#ifdef Q_OS_UNIX
#define QM_NEEDS_PTY(serial) \
    do {                     \
    } while (0)
#else
#define QM_NEEDS_PTY(serial)                                                   \
    do {                                                                       \
        if (serial) QSKIP("the simulator has no pseudo-terminal on Windows"); \
    } while (0)
#endif

// The simulator and an Instrument connected to it over TCP or a pty.
struct SimInstrumentLink {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    qmsim::SimPty pty{&sim};
    WorkerThread worker;
    qm::StopToken stop;
    std::unique_ptr<qm::Transport> link;
    std::unique_ptr<Instrument> inst;
    ~SimInstrumentLink();
    // Starts the server (or the pty, mapped to COM<n>) and connects with the
    // given bounds; false on failure.
    bool startTcp(const qm::LinkLimits& limits = {});
    bool startSerial(int comNumber = 7, const qm::LinkLimits& limits = {});
    // Runs f(instrument) on the worker thread.
    void with(const std::function<void(Instrument&)>& f) {
        worker.call([&] { f(*inst); });
    }
};

// Questions with scripted answers; every question and message is recorded
// as "確認|text".
class ScriptedQuestions : public Questions {
public:
    std::deque<bool> answers;  // answers to OK/Cancel questions; empty: OK; a stop: Cancel
    bool retry = false;        // the answer to a failed connection (once)
    std::function<void()> beforeRetry;  // runs on the asking thread before Try Again
    bool askOkCancel(const QString& text, const qm::StopToken& stop) override;
    bool askRetryConnect(const QString& text, const qm::StopToken& stop) override;
    void notify(const QString& text) override;
    QStringList questions() const;
    QStringList failures() const;

private:
    mutable std::mutex mutex_;
    QStringList questions_;
    QStringList failures_;
};

// The commands the instrument received from the first occurrence of `from` on.
QStringList From(const QStringList& all, const QString& from);
