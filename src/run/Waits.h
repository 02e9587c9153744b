#pragma once
// The trigger wait, the interval wait and the stop flag's effect on them.
#include <cstdint>

struct Link;

// Consecutive "Timeout" answers to the trigger-status poll after which the
// instrument counts as silent and the run ends.
inline constexpr int kSilentPolls = 3;
// Pause between two trigger-status polls: keeps a waiting run cheap while a
// stop is still seen at once.
inline constexpr int kTriggerPollPauseMs = 20;

// Arms a single trigger ("TESR?", "WSGL") and polls "TESR?" until bit 0 of the
// answer is set or StopRequest is true. Raises LinkError when the instrument
// stays silent for kSilentPolls polls in a row.
void WaitForTrigger(Link& link, float timeout, const int16_t& StopRequest);

// Returns when more than `seconds` have passed (midnight-safe) or StopRequest
// is true. Zero or negative returns at once without processing events.
void WaitInterval(const float& seconds, const int16_t& StopRequest);
