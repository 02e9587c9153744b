#pragma once
// Host name lookups on a thread of their own. The system's lookup cannot be
// interrupted, so a connect waits for it only until a stop or its own bound
// and then goes on without it; the lookup finishes on this thread, which its
// owner joins when it ends (bounded: finish() says what it still waited for).
#include "engine/link/StopToken.h"
#include "engine/link/Transport.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qm {

// A host name lookup: the host's addresses as numeric texts, in the order to
// try them, or the system's reason why there are none.
struct HostLookup {
    QStringList addresses;
    QString error;
    OpenFailure failure = OpenFailure::HostNotFound;  // when there are no addresses
};
using HostResolver = std::function<HostLookup(const QString& host)>;

// The system's lookup (getaddrinfo).
HostLookup ResolveHost(const QString& host);

class HostLookups {
public:
    explicit HostLookups(HostResolver resolve = {});
    // Joins the thread; a lookup that does not end within 3 s ends the
    // program with the name it waited for (the thread cannot be left behind).
    ~HostLookups();
    HostLookups(const HostLookups&) = delete;
    HostLookups& operator=(const HostLookups&) = delete;

    // The lookup of `host`, or nullopt when `until` passed or the stop token
    // gave up the exchange that began at waitStart (the lookup itself goes
    // on until the system ends it).
    std::optional<HostLookup> lookup(const QString& host, SteadyClock::time_point until,
                                     SteadyClock::time_point waitStart, const StopToken& stop);

    // Ends the thread once its lookups are done, waiting at most waitMs.
    // False when a lookup was still going on: *why names it.
    bool finish(int waitMs, QString* why = nullptr);

private:
    struct Job {
        QString host;
        std::optional<HostLookup> result;
    };
    void serve();

    HostResolver resolve_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Job>> queue_;
    QString current_;      // the host the thread looks up now
    bool quit_ = false;
    bool serving_ = false;  // the thread runs serve()
    std::thread thread_;
};

}  // namespace qm
