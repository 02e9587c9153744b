#pragma once
// Splitting a line at commas: the instrument's comma-separated answers and the
// lines of the resume file.
#include <QString>
#include <cstdint>
#include <span>

namespace qm {

// Splits a line at commas into item[0..]; CR and LF are dropped, everything
// else kept. Returns the number of items (commas + 1). Slots beyond the last
// one stored keep what they held. More items than slots (or a line longer
// than 32767 characters): item[0] and item[1] become empty and the result is 2.
int16_t splitItems(const QString& strL, std::span<QString> item);

}  // namespace qm
