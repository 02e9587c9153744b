#pragma once
// The time and size bounds of a link, each defined here once with the
// instrument's real values. A run takes them from its RunLimits; tests
// shorten them.
#include <QtGlobal>

namespace qm {

struct LinkLimits {
    int connectTimeoutMs = 10000;   // TCP: host lookup and connect together
    int sendTimeoutMs = 10000;      // a write that cannot go out
    int blockSilenceMs = 10000;     // silence inside a block
    int blockBaseMs = 10000;        // a block's deadline: this ...
    double blockBytesPerSecond = 0; // ... plus twice its length at this rate (0: the link's nominal rate)
    int slowNoticeMs = 2000;        // a single read has waited this long: the run says what it waits for
    int drainQuietMs = 150;         // drain: quiet this long ...
    int drainCapMs = 2000;          // ... but never drain longer than this
    qint64 overlongDropMax = 1 << 20;  // the most bytes of an over-long answer read and dropped
    // An answer whose end was not found within overlongDropMax (or within the
    // time-out) leaves the link out of step: input is read and dropped until
    // the line has been quiet for the read's time-out (at most resyncQuietMaxMs),
    // within twice that time and at most resyncDropMax bytes; otherwise the
    // read fails.
    qint64 resyncDropMax = 16 << 20;
    qint64 resyncQuietMaxMs = 86400000;
};

}  // namespace qm
