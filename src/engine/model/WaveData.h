#pragma once
// The per-trace sample arrays of a cycle: index 0..3 = CH1..CH4, 4 = math.
// An empty vector is an array that was never allocated.
#include <array>
#include <vector>

using WaveArrays = std::array<std::vector<float>, 5>;
