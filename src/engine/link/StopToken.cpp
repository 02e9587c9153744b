#include "engine/link/StopToken.h"

namespace qm {

void StopToken::requestStop() {
    {
        std::lock_guard lock(mutex_);
        if (!stop_) stopAt_ = SteadyClock::now();
        stop_ = true;
    }
    wake_.notify_all();
}

void StopToken::requestAbort() {
    {
        std::lock_guard lock(mutex_);
        if (!stop_) stopAt_ = SteadyClock::now();
        stop_ = true;
        abort_ = true;
    }
    wake_.notify_all();
}

void StopToken::reset() {
    std::lock_guard lock(mutex_);
    stop_ = false;
    abort_ = false;
}

bool StopToken::stopRequested() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

bool StopToken::aborted() const {
    std::lock_guard lock(mutex_);
    return abort_;
}

bool StopToken::interrupts(SteadyClock::time_point waitStart) const {
    std::lock_guard lock(mutex_);
    if (abort_) return true;
    if (!stop_) return false;
    const auto from = stopAt_ > waitStart ? stopAt_ : waitStart;
    return SteadyClock::now() - from >= std::chrono::milliseconds(kStopGraceMs);
}

bool StopToken::sleepUntil(SteadyClock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    return wake_.wait_until(lock, deadline, [this] { return stop_; });
}

}  // namespace qm
