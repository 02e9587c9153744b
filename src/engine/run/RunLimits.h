#pragma once
// The pace and the bounds of a run, each defined once, with the instrument's
// real values as the defaults: the run's own waits here, the query time-out
// with the Instrument (kQueryTimeout), the link's bounds in LinkLimits. A
// run takes them with its RunRequest; tests shorten them.
#include "engine/instrument/Instrument.h"
#include "engine/link/LinkLimits.h"

#include <chrono>

namespace qm {

struct RunLimits {
    using Ms = std::chrono::milliseconds;
    // The trigger wait: each "TESR?" is given triggerTimeout; silentPolls
    // silent polls in a row mean the instrument is gone.
    Ms triggerTimeout{10000};
    int silentPolls = 3;
    // Polls go back to back for triggerBackToBack after the arming, then with
    // a pause of 1 ms that doubles up to triggerLongestPause, so that a long
    // wait costs next to nothing.
    Ms triggerBackToBack{100};
    Ms triggerLongestPause{10};
    // Every other query of the run ("DATE?", "MSRA?", the snapshot ...).
    Ms queryTimeout = kQueryTimeout;
    // Reconnection: the first pause before a try, doubled after each failed
    // try up to the longest.
    Ms reconnectFirstPause{1000};
    Ms reconnectLongestPause{30000};
    // The link's bounds: connect, send, blocks, the "waiting for" notice (2 s).
    LinkLimits link;
};

}  // namespace qm
