#include "engine/link/HostLookups.h"

#include <QtGlobal>
#include <algorithm>

namespace qm {

HostLookups::HostLookups(HostResolver resolve) : resolve_(resolve ? std::move(resolve) : HostResolver(ResolveHost)) {}

HostLookups::~HostLookups() {
    QString why;
    if (!finish(3000, &why))
        qFatal("%s", qPrintable(QStringLiteral("The program ends while the system still looks up a host name: %1").arg(why)));
}

std::optional<HostLookup> HostLookups::lookup(const QString& host, SteadyClock::time_point until,
                                              SteadyClock::time_point waitStart, const StopToken& stop) {
    auto job = std::make_shared<Job>();
    job->host = host;
    std::unique_lock lock(mutex_);
    if (quit_) return std::nullopt;
    queue_.push_back(job);
    if (!thread_.joinable()) {
        serving_ = true;
        thread_ = std::thread([this] { serve(); });
    }
    changed_.notify_all();
    while (!job->result) {
        if (stop.interrupts(waitStart)) return std::nullopt;
        const auto now = SteadyClock::now();
        if (now >= until) return std::nullopt;
        changed_.wait_for(lock, std::min<SteadyClock::duration>(until - now, std::chrono::milliseconds(kStopSliceMs)));
    }
    return job->result;
}

void HostLookups::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) break;  // quit, and nothing left to look up
        const std::shared_ptr<Job> job = queue_.front();
        queue_.pop_front();
        current_ = job->host;
        lock.unlock();
        HostLookup found = resolve_(job->host);
        lock.lock();
        current_.clear();
        job->result = std::move(found);
        changed_.notify_all();
    }
    serving_ = false;
    changed_.notify_all();
}

bool HostLookups::finish(int waitMs, QString* why) {
    std::unique_lock lock(mutex_);
    quit_ = true;
    // Lookups nobody waits for any more need not be made.
    queue_.clear();
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !serving_; })) {
        if (why) *why = QStringLiteral("the lookup of \"%1\" has not ended").arg(current_);
        return false;
    }
    lock.unlock();
    if (thread_.joinable()) thread_.join();  // it has left serve(): at once
    return true;
}

}  // namespace qm
