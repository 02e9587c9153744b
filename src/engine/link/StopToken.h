#pragma once
// How a run is told to stop, seen by every wait of the engine.
//
// Two levels:
//  - stop: the user pressed 測定中断. Sleeping waits (trigger poll pause,
//    interval, reconnect back-off, a question) end at once. An exchange with
//    the instrument that is under way gets a short grace (kStopGraceMs) to
//    finish, so that a responsive instrument still answers the commands that
//    the run sends after a stop; a silent one is given up after the grace.
//  - abort: the program is closing. Every wait ends at once; the run sends and
//    writes nothing more.
//
// Thread-safe: the GUI (or a signal handler's notifier) requests, the worker
// waits.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qm {

using SteadyClock = std::chrono::steady_clock;

// Grace an exchange in progress gets after a stop before it is given up.
inline constexpr int kStopGraceMs = 30;
// Longest slice of an I/O wait between two looks at the token.
inline constexpr int kStopSliceMs = 10;

class StopToken {
public:
    void requestStop();
    void requestAbort();  // implies stop
    // Clears both; called by the owner before a new run.
    void reset();

    bool stopRequested() const;
    bool aborted() const;

    // For an exchange with the instrument that began at `waitStart`: true when
    // it should be given up now (abort, or a stop that has lasted kStopGraceMs
    // since it was requested or since the wait began, whichever is later).
    bool interrupts(SteadyClock::time_point waitStart) const;

    // Sleeps until `deadline` or a stop/abort, whichever comes first, on one
    // condition variable (no polling). True when woken by a stop or abort.
    bool sleepUntil(SteadyClock::time_point deadline) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
    bool stop_ = false;
    bool abort_ = false;
    SteadyClock::time_point stopAt_{};
};

}  // namespace qm
