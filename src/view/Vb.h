#pragma once
// Booleans kept in module state are 16-bit integers: true = -1, false = 0.
#include <cstdint>

inline constexpr int16_t VbTrue = -1;
inline constexpr int16_t VbFalse = 0;
inline constexpr int16_t VbBool(bool b) { return b ? VbTrue : VbFalse; }

// A check box counts as on when its value is 1 (0 clear, 1 ticked, 2 grey).
inline constexpr int CheckUnchecked = 0;
inline constexpr int CheckChecked = 1;
inline constexpr int CheckGrayed = 2;

// Platform twips: 15 per pixel at 96 dpi.
inline constexpr int TwipsPerPixel = 15;
inline constexpr int TwipsToPx(int twips) { return (twips + TwipsPerPixel / 2) / TwipsPerPixel; }
