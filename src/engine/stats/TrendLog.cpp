#include "engine/stats/TrendLog.h"

#include "engine/text/JsonText.h"

#include <cmath>
#include <limits>

namespace qm {

std::optional<double> SlotValue(const CycleRecord& r, int slot) {
    const double v = r.values[size_t(slot)];
    if (!std::isfinite(v) || std::fabs(v) >= NoValue) return std::nullopt;
    return v;
}

void AppendValuesAndCellsJson(std::string& out, const CycleRecord& r) {
    out += "\"values\":[";
    for (int k = 0; k < 4; ++k) {
        if (k) out += ',';
        AppendJsonNumber(out, SlotValue(r, k));
    }
    out += "],\"cells\":[";
    for (int k = 0; k < 4; ++k) {
        if (k) out += ',';
        AppendJsonString(out, r.cells[size_t(k)]);
    }
    out += ']';
}

QString SlotTitle(int slot, const MeasItemRecord& item) {
    QString title(QChar(u'A' + slot));
    QStringList parts;
    for (const QString& p : {item.source.trimmed(), item.kind.trimmed()})
        if (!p.isEmpty()) parts << p;
    if (!parts.isEmpty()) title += QStringLiteral(": ") + parts.join(QLatin1Char(' '));
    const QString unit = item.unit.trimmed();
    if (!unit.isEmpty()) title += QStringLiteral(" [%1]").arg(unit);
    return title;
}

void TrendLog::add(const CycleRecord& r) {
    TrendPoint p;
    p.seq = ++added_;
    p.cycle = r.cycle;
    p.time = r.time.isValid() ? double(r.time.toMSecsSinceEpoch()) / 1000.0
                              : std::numeric_limits<double>::quiet_NaN();
    for (int k = 0; k < 4; ++k) {
        Slot& s = slots_[size_t(k)];
        const std::optional<double> v = SlotValue(r, k);
        if (!v) {
            s.stats.addNoValue();
            continue;
        }
        p.values[size_t(k)] = *v;
        s.stats.add(*v);
        ++s.checked;
        if (s.limits.outside(*v)) ++s.outside;
    }
    points_.push_back(p);
    if (points_.size() > size_t(MaxPoints)) points_.pop_front();
}

void TrendLog::clear() {
    for (Slot& s : slots_) {
        s.stats.clear();
        s.outside = s.checked = 0;
    }
    points_.clear();
    added_ = 0;
}

void TrendLog::setLimits(int slot, std::optional<double> lower, std::optional<double> upper) {
    Slot& s = slots_[size_t(slot)];
    s.limits = SlotLimits{lower, upper};
    recount(slot);
}

void TrendLog::setAllLimits(const LimitArray& limits) {
    for (int k = 0; k < 4; ++k) setLimits(k, limits[size_t(k)].lower, limits[size_t(k)].upper);
}

LimitArray TrendLog::allLimits() const {
    LimitArray out;
    for (int k = 0; k < 4; ++k) out[size_t(k)] = slots_[size_t(k)].limits;
    return out;
}

void TrendLog::recount(int slot) {
    Slot& s = slots_[size_t(slot)];
    s.outside = s.checked = 0;
    for (const TrendPoint& p : points_) {
        if (!p.hasValue(slot)) continue;
        ++s.checked;
        if (s.limits.outside(p.values[size_t(slot)])) ++s.outside;
    }
}

}  // namespace qm
