#pragma once
// Time of day in seconds since local midnight, with sub-second resolution,
// as a 32-bit float (0 to 86400). Tests replace the source.
#include <functional>

namespace qm {
float Timer();
// Replace the clock (nullptr restores the real one).
void SetTimerSource(std::function<double()> source);
}  // namespace qm
