#pragma once
// The time and size bounds of a transport, gathered so that tests can shorten
// them. The defaults are the link's real bounds (see Transport.h).
#include "engine/link/Transport.h"

namespace qm {

struct LinkLimits {
    int connectTimeoutMs = kConnectTimeoutMs;  // TCP: host lookup and connect together
    int sendTimeoutMs = kSendTimeoutMs;        // a write that cannot go out
    int blockSilenceMs = kBlockSilenceMs;      // silence inside a block
    int blockBaseMs = 10000;                   // a block's deadline: this ...
    double blockBytesPerSecond = 0;            // ... plus twice its length at this rate (0: the link's nominal rate)
    int drainQuietMs = 150;                    // drain: quiet this long ...
    int drainCapMs = 2000;                     // ... but never drain longer than this
    qint64 overlongDropMax = 1 << 20;          // the most bytes of an over-long answer read and dropped
    // An answer whose end was not found within overlongDropMax (or within the
    // time-out) leaves the link out of step: input is read and dropped until
    // the line has been quiet for the read's time-out (at most resyncQuietMaxMs),
    // within twice that time and at most resyncDropMax bytes; otherwise the
    // read fails.
    qint64 resyncDropMax = 16 << 20;
    qint64 resyncQuietMaxMs = 86400000;
};

}  // namespace qm
