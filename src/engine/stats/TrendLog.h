#pragma once
// The series behind the trend: the last MaxPoints cycles kept as points and
// per slot A..D the running statistics over every cycle added since the last
// clear(), with optional lower and upper limits and the count outside them.
#include "engine/model/CycleRecord.h"
#include "engine/model/MeasRecords.h"
#include "engine/stats/RunningStats.h"

#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace qm {

struct SlotLimits {
    std::optional<double> lower, upper;
    bool any() const { return lower.has_value() || upper.has_value(); }
    // Below the lower or above the upper limit; a value on a limit is inside.
    bool outside(double v) const { return (lower && v < *lower) || (upper && v > *upper); }
    bool operator==(const SlotLimits&) const = default;
};
using LimitArray = std::array<SlotLimits, 4>;

struct TrendPoint {
    int64_t seq = 0;   // 1-based position in the series since the last clear()
    int32_t cycle = 0;
    double time = 0;   // PC time in seconds since the epoch; NaN when unknown
    std::array<double, 4> values{NoValue, NoValue, NoValue, NoValue};  // NoValue = none
    bool hasValue(int slot) const { return values[size_t(slot)] < NoValue; }
};

// The value of a slot of the record, or nullopt for no value: NoValue, a NaN,
// an infinity or a magnitude of NoValue or more never counts as a value.
std::optional<double> SlotValue(const CycleRecord& r, int slot);

// The record's values and cells as JSON members, as the web view and MQTT send
// them: "values":[1.5,null,...],"cells":["1.5","",...].
void AppendValuesAndCellsJson(std::string& out, const CycleRecord& r);

// "A: C1 MAX [V]"; parts that are empty are left out ("B" for an empty slot).
QString SlotTitle(int slot, const MeasItemRecord& item);

class TrendLog {
public:
    static constexpr int MaxPoints = 10000;

    void add(const CycleRecord& r);
    // Forgets points and statistics; items and limits stay.
    void clear();

    void setItems(const MeasItemArray& items) { items_ = items; }
    const MeasItemArray& items() const { return items_; }
    QString title(int slot) const { return SlotTitle(slot, items_[size_t(slot)]); }

    // Sets the limits of a slot and counts the kept points outside them anew.
    void setLimits(int slot, std::optional<double> lower, std::optional<double> upper);
    void setAllLimits(const LimitArray& limits);
    const SlotLimits& limits(int slot) const { return slots_[size_t(slot)].limits; }
    LimitArray allLimits() const;

    const RunningStats& stats(int slot) const { return slots_[size_t(slot)].stats; }
    // Values outside the limits, and the number of values checked against them:
    // every value since the last clear(), or since the last limit change the
    // kept points plus every value added after it.
    int64_t outsideCount(int slot) const { return slots_[size_t(slot)].outside; }
    int64_t outsideChecked(int slot) const { return slots_[size_t(slot)].checked; }

    const std::deque<TrendPoint>& points() const { return points_; }
    int64_t added() const { return added_; }  // cycles added since the last clear()

private:
    struct Slot {
        RunningStats stats;
        SlotLimits limits;
        int64_t outside = 0;
        int64_t checked = 0;
    };
    void recount(int slot);

    MeasItemArray items_;
    std::array<Slot, 4> slots_;
    std::deque<TrendPoint> points_;
    int64_t added_ = 0;
};

}  // namespace qm
