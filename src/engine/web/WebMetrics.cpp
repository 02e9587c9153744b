// The feed's counts as Prometheus metrics (/metrics): the text exposition
// format 0.0.4, every family with HELP and TYPE, every series labelled with
// the bench's station. The set of series is fixed (four slots, five run
// states), so an answer stays small whatever the run does.
#include "engine/web/WebFeed.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

// A label value as the format asks: backslash, double quote and line feed
// escaped; the rest as UTF-8.
void AppendLabelValue(std::string& out, const QString& text) {
    const QByteArray u = text.toUtf8();
    out += '"';
    for (const char c : u) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    out += '"';
}

void AppendValue(std::string& out, double v) {
    if (std::isnan(v)) {
        out += "NaN";
    } else if (std::isinf(v)) {
        out += v > 0 ? "+Inf" : "-Inf";
    } else {
        char buf[32];
        const auto r = std::to_chars(buf, buf + sizeof buf, v);  // the shortest text that reads back the same
        out.append(buf, r.ptr);
    }
}

void AppendValue(std::string& out, uint64_t v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// One series: `name{station="…"<labels>} value`. `labels` is already
// escaped (",slot=\"A\"…").
template <typename T>
void Series(std::string& out, const char* name, const std::string& station, std::string_view labels, T value) {
    out += name;
    out += "{station=";
    out += station;
    out += labels;
    out += "} ";
    AppendValue(out, value);
    out += '\n';
}

const char* const kSlotNames[] = {"A", "B", "C", "D"};
// The run's states as the MQTT state topic names them; a run that ended in
// any way (stopped, link lost) is "ended".
const char* const kStates[] = {"idle", "running", "waiting", "reconnecting", "ended"};

}  // namespace

void WebFeed::setStation(const QString& name) {
    std::lock_guard lock(mutex_);
    station_ = name;
}

void WebFeed::setQueueGauges(std::function<QueueGauges()> read) {
    std::lock_guard lock(mutex_);
    queueGauges_ = std::move(read);
}

std::string WebFeed::metricsText() const {
    // What the run's events left, taken under the lock; the queue is read
    // after it (it has a lock of its own).
    std::string station;
    std::array<std::string, 4> slotLabels;
    std::array<std::optional<double>, 4> values;
    std::array<uint64_t, 4> outside{};
    uint64_t cycles = 0, failures = 0, reconnections = 0;
    std::optional<double> age;
    QString state;
    std::function<QueueGauges()> queue;
    {
        std::lock_guard lock(mutex_);
        station.reserve(size_t(station_.size()) + 2);
        AppendLabelValue(station, station_);
        for (size_t k = 0; k < 4; ++k) {
            const MeasItemRecord& it = items_[k];
            std::string& l = slotLabels[k];
            l = ",slot=\"";
            l += kSlotNames[k];
            l += "\",source=";
            AppendLabelValue(l, it.Source);
            l += ",type=";
            AppendLabelValue(l, it.Kind);
            l += ",unit=";
            AppendLabelValue(l, it.Unit);
        }
        values = lastValues_;
        outside = outsideTotal_;
        cycles = cyclesTotal_;
        failures = fileFailures_;
        reconnections = reconnections_;
        if (lastCycleAt_)
            age = std::chrono::duration<double>(std::chrono::steady_clock::now() - *lastCycleAt_).count();
        state = state_;
        queue = queueGauges_;
    }
    const QueueGauges q = queue ? queue() : QueueGauges{};
    if (state != QLatin1String("idle") && state != QLatin1String("running") && state != QLatin1String("waiting") &&
        state != QLatin1String("reconnecting"))
        state = QStringLiteral("ended");

    std::string out;
    out.reserve(4096);
    Family(out, "quillmeter_cycles_logged_total", "counter", "Cycles logged since the program started.");
    Series(out, "quillmeter_cycles_logged_total", station, {}, cycles);

    Family(out, "quillmeter_slot_value", "gauge",
           "The value of a measurement slot in the last logged cycle, in the slot's unit (no series when that cycle had none).");
    for (size_t k = 0; k < 4; ++k)
        if (values[k] && std::isfinite(*values[k])) Series(out, "quillmeter_slot_value", station, slotLabels[k], *values[k]);

    Family(out, "quillmeter_values_outside_limits_total", "counter",
           "Logged values outside the slot's trend limits (Trend.ini) since the program started.");
    for (size_t k = 0; k < 4; ++k) {
        const std::string l = std::string(",slot=\"") + kSlotNames[k] + '"';
        Series(out, "quillmeter_values_outside_limits_total", station, l, outside[k]);
    }

    Family(out, "quillmeter_run_state", "gauge", "The run's state: 1 for the current one, 0 for the others.");
    for (const char* s : kStates) {
        const std::string l = std::string(",state=\"") + s + '"';
        Series(out, "quillmeter_run_state", station, l, uint64_t(state == QLatin1String(s) ? 1 : 0));
    }

    Family(out, "quillmeter_last_cycle_age_seconds", "gauge",
           "Seconds since the last logged cycle (no series before the first).");
    if (age) Series(out, "quillmeter_last_cycle_age_seconds", station, {}, std::max(0.0, *age));

    Family(out, "quillmeter_file_write_failures_total", "counter",
           "Files the runs were to write that are not on disk, since the program started.");
    Series(out, "quillmeter_file_write_failures_total", station, {}, failures);

    Family(out, "quillmeter_reconnections_total", "counter",
           "Links to the instrument made again after being lost, since the program started.");
    Series(out, "quillmeter_reconnections_total", station, {}, reconnections);

    Family(out, "quillmeter_mqtt_queue_records", "gauge",
           "Records waiting on disk for the MQTT broker's acknowledgement (0 without --mqtt).");
    Series(out, "quillmeter_mqtt_queue_records", station, {}, uint64_t(std::max<int64_t>(0, q.records)));

    Family(out, "quillmeter_mqtt_oldest_unsent_age_seconds", "gauge",
           "Age of the oldest record the MQTT broker has not acknowledged (0 when none, or without --mqtt).");
    Series(out, "quillmeter_mqtt_oldest_unsent_age_seconds", station, {},
           std::isfinite(q.oldestSeconds) ? std::max(0.0, q.oldestSeconds) : 0.0);
    return out;
}
