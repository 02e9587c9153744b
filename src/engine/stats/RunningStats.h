#pragma once
// Running statistics of one measurement slot: count, last, min, max, mean and
// sample standard deviation kept with Welford's update, O(1) per cycle, plus
// the number of cycles without a value.
#include <cstdint>
#include <optional>

namespace qm {

class RunningStats {
public:
    // Adds a value. The caller passes only finite values (see SlotValue).
    void add(double v);
    // Counts a cycle that gave no value.
    void addNoValue() { ++none_; }
    void clear() { *this = RunningStats(); }

    int64_t count() const { return n_; }           // cycles with a value
    int64_t noValueCount() const { return none_; }  // cycles without one
    int64_t cycles() const { return n_ + none_; }

    // Undefined (nullopt) while there is no value.
    std::optional<double> last() const { return n_ ? std::optional<double>(last_) : std::nullopt; }
    std::optional<double> min() const { return n_ ? std::optional<double>(min_) : std::nullopt; }
    std::optional<double> max() const { return n_ ? std::optional<double>(max_) : std::nullopt; }
    std::optional<double> mean() const { return n_ ? std::optional<double>(mean_) : std::nullopt; }
    // Sample standard deviation (divisor n - 1): undefined below two values.
    std::optional<double> sd() const;

private:
    int64_t n_ = 0;
    int64_t none_ = 0;
    double last_ = 0, min_ = 0, max_ = 0, mean_ = 0, m2_ = 0;
};

}  // namespace qm
