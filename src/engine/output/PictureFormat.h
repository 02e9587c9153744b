#pragma once
// A fast writer of the exponent pictures ("#.00e-0" and its kin) for the
// waveform file, which formats millions of values per record. It gives the
// same bytes as qm::FormatPictureChars (correctly rounded), which it falls
// back on for the rare values it cannot settle quickly.
#include "engine/text/NumText.h"

namespace qm {

// Writes the picture text of v with `decimals` decimals (1..8 take the fast
// path; anything else goes to FormatPictureChars) into `out`, which has room
// for at least kPictureTextMax bytes. Returns the byte count.
int FastPictureChars(char* out, double v, int decimals);

}  // namespace qm
