#pragma once
// The per-trace sample arrays of a cycle: index 0..3 = CH1..CH4, 4 = math.
// An empty vector is an array that was never allocated.
#include <array>
#include <vector>

namespace qm {

using WaveArrays = std::array<std::vector<float>, 5>;

}  // namespace qm
