#include "engine/stats/RunningStats.h"

#include <cmath>

namespace qm {

void RunningStats::add(double v) {
    ++n_;
    last_ = v;
    if (n_ == 1) {
        min_ = max_ = mean_ = v;
        m2_ = 0;
        return;
    }
    if (v < min_) min_ = v;
    if (v > max_) max_ = v;
    const double d = v - mean_;
    mean_ += d / double(n_);
    m2_ += d * (v - mean_);
}

std::optional<double> RunningStats::sd() const {
    if (n_ < 2) return std::nullopt;
    return std::sqrt(std::max(0.0, m2_) / double(n_ - 1));
}

}  // namespace qm
