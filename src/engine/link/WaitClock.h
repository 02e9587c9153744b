#pragma once
// The clock of the run's own waits: the trigger poll's pauses, the repeat
// interval and the reconnection's back-off. It tells the time and sleeps, and
// a stop or abort ends its sleep at once. The program uses the steady clock;
// a test puts in a clock of its own, so that it sees the schedule without
// waiting it out. (The link's reads wait on the steady clock: they wait for
// real input.)
#include "engine/link/StopToken.h"

namespace qm {

class WaitClock {
public:
    virtual ~WaitClock() = default;
    virtual SteadyClock::time_point now() const = 0;
    // Sleeps until `deadline` or until the stop token is set, whichever comes
    // first (at once when it is set already). True when the stop ended it.
    virtual bool sleepUntil(SteadyClock::time_point deadline, const StopToken& stop) const = 0;
    bool sleepFor(std::chrono::milliseconds ms, const StopToken& stop) const { return sleepUntil(now() + ms, stop); }
};

// The steady clock; it sleeps on the stop token's condition variable (no polling).
class SteadyWaitClock final : public WaitClock {
public:
    SteadyClock::time_point now() const override { return SteadyClock::now(); }
    bool sleepUntil(SteadyClock::time_point deadline, const StopToken& stop) const override {
        return stop.sleepUntil(deadline);
    }
};

}  // namespace qm
