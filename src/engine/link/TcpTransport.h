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
#include "engine/link/HostLookups.h"
#include "engine/link/LinkLimits.h"
#include "engine/link/Transport.h"

#include <QStringList>
#include <functional>

namespace qm {

struct TcpOptions {
    LinkLimits limits;
    // Where host names are looked up; null: on the calling thread, which then
    // waits as long as the system's lookup takes (numeric addresses are never
    // looked up).
    HostLookups* lookups = nullptr;
};

// OpenTcp (Transport.h) with other bounds or another host lookup.
OpenResult OpenTcp(const QString& host, quint16 port, const StopToken& stop, const TcpOptions& options);

}  // namespace qm
