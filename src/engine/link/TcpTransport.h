#pragma once
// The TCP transport on a native socket: non-blocking connect and reads with
// poll() in slices that see the stop token, the low-delay option set.
//
// Answer lines: the time-out bounds the whole read; what follows the first
// line stays buffered for the next read. An answer longer than the read's
// limit has the rest of its line read and dropped up to its LF (`overlong`).
// When more than LinkLimits::overlongDropMax bytes were dropped without a LF,
// or the time-out passed first, the link is resynchronised (see
// StreamTransport::resynchronise): memory stays bounded, and no part of the
// answer is taken for the next one.
// A block's nominal rate is 1 MB/s.
#include "engine/link/LinkLimits.h"
#include "engine/link/Transport.h"

#include <QStringList>
#include <functional>

namespace qm {

// A host name lookup: the host's addresses as numeric texts, in the order to
// try them, or the system's reason why there are none.
struct HostLookup {
    QStringList addresses;
    QString error;
    OpenFailure failure = OpenFailure::HostNotFound;  // when there are no addresses
};
// Runs on a detached thread of its own: it may take as long as it likes, the
// connect gives it up on a stop or at the connect bound.
using HostResolver = std::function<HostLookup(const QString& host)>;

// The system's lookup (getaddrinfo).
HostLookup ResolveHost(const QString& host);

struct TcpOptions {
    LinkLimits limits;
    HostResolver resolve;  // empty: ResolveHost
};

// OpenTcp (Transport.h) with other bounds or another host lookup.
OpenResult OpenTcp(const QString& host, quint16 port, const StopToken& stop, const TcpOptions& options);

}  // namespace qm
