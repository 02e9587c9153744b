#include "engine/web/WebFeed.h"

#include "engine/stats/TrendLimits.h"
#include "engine/text/JsonText.h"
#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"
#include "engine/text/NumText.h"
#include "engine/text/SIFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace qm {

namespace {

const char* const kSlots[] = {"A", "B", "C", "D"};

// "yyyy-MM-ddTHH:mm:ss.zzz" as Qt::ISODateWithMs writes a local time.
void AppendIsoTime(std::string& out, const QDateTime& t) {
    if (!t.isValid()) {
        out += "\"\"";
        return;
    }
    const QDate d = t.date();
    const QTime tm = t.time();
    if (t.timeSpec() != Qt::LocalTime || d.year() < 0 || d.year() > 9999) return AppendJsonString(out, t.toString(Qt::ISODateWithMs));
    char buf[40];
    std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02dT%02d:%02d:%02d.%03d\"", d.year(), d.month(), d.day(), tm.hour(), tm.minute(),
                  tm.second(), tm.msec());
    out += buf;
}

void AppendRecord(std::string& out, const CycleRecord& r) {
    out += "{\"cycle\":";
    AppendJsonInt(out, r.cycle);
    out += ",\"time\":";
    AppendIsoTime(out, r.time);
    out += ",\"timeText\":";
    AppendJsonString(out, r.timeText);
    out += ',';
    AppendValuesAndCellsJson(out, r);
    out += '}';
}

QString IsoTime(const QDateTime& t) {
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

QJsonValue IsoTimeOrNull(const QDateTime& t) {
    return t.isValid() ? QJsonValue(t.toString(Qt::ISODateWithMs)) : QJsonValue(QJsonValue::Null);
}

// A statistic in the log's engineering notation, its scaled number rounded
// to five significant digits ("1.2346e-3", "2500e3"); the range is chosen
// from the value before the rounding, as for the log's cells. A value beyond
// the notation's ranges is written plainly ("1e-20").
QString StatText(double v) {
    const SIValue si = FormatSIValue(v, QString());
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, si.scaled, std::chars_format::scientific, 4);
    double rounded = 0;
    std::from_chars(buf, r.ptr, rounded);
    if (rounded == 0) rounded = 0.0;  // no "-0"
    const QString scaled = qm::GeneralNumberText(rounded);
    if (scaled.contains(QLatin1Char('E'))) return QString::number(v, 'g', 5);
    return scaled + si.suffix;
}

void AppendText(std::string& out, std::optional<double> v, QString (*text)(double)) {
    if (!v || !std::isfinite(*v)) out += "null";
    else AppendJsonString(out, text(*v));
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

std::string Event(const char* name, std::string_view json, int64_t id = -1) {
    std::string e;
    e.reserve(json.size() + 48);
    if (id >= 0) {
        e += "id: ";
        AppendJsonInt(e, id);
        e += '\n';
    }
    e += "event: ";
    e += name;
    e += "\ndata: ";
    e += json;  // compact JSON: one line
    e += "\n\n";
    return e;
}

std::string Event(const char* name, const QByteArray& json, int64_t id = -1) {
    return Event(name, std::string_view(json.constData(), size_t(json.size())), id);
}

}  // namespace

// ---- WebFeed ----

WebFeed::WebFeed() = default;
WebFeed::~WebFeed() { closeAll(); }

void WebFeed::setDataFolder(const QString& folder) {
    std::lock_guard lock(mutex_);
    dataFolder_ = folder;
}

void WebFeed::watch(const LiveSettings* live) {
    std::lock_guard lock(mutex_);
    live_ = live;
}

void WebFeed::readLiveLocked() {
    if (!live_) return;
    const LiveValues v = live_->get();
    folder_ = v.folder;
    header_ = v.header;
    // The name the run gives its log file.
    if (!folder_.isEmpty() && !header_.isEmpty()) logFile_ = folder_ + qm::PathSep() + header_ + QStringLiteral("_AM_LOG.csv");
}

bool WebFeed::runGoingOnLocked() const {
    // runEnded sets the end message (an empty one for a normal end).
    return runId_ && state_ != QLatin1String("idle") && endMessage_.isNull();
}

void WebFeed::setWaitLocked(WaitKind kind, const QDateTime& nextStart) {
    wait_ = kind;
    nextStart_ = kind == WaitKind::Interval ? nextStart : QDateTime();
    if (kind != WaitKind::None) state_ = QStringLiteral("waiting");
    else if (state_ == QLatin1String("waiting")) state_ = QStringLiteral("running");
}

QByteArray WebFeed::statusJson() const {
    std::lock_guard lock(mutex_);
    return statusJsonLocked();
}

QByteArray WebFeed::statusJsonLocked() const {
    QJsonArray items;
    for (int k = 0; k < 4; ++k) {
        const MeasItemRecord& it = items_[size_t(k)];
        items.append(QJsonObject{{QStringLiteral("slot"), QLatin1String(kSlots[k])},
                                 {QStringLiteral("source"), it.source},
                                 {QStringLiteral("kind"), it.kind},
                                 {QStringLiteral("unit"), it.unit},
                                 {QStringLiteral("title"), SlotTitle(k, it)}});
    }
    const int32_t done = runId_ ? std::max<int32_t>(0, next_ - firstCycle_) : 0;
    QJsonValue waitKind(QJsonValue::Null);
    switch (wait_) {
    case WaitKind::None: break;
    case WaitKind::Trigger: waitKind = QStringLiteral("trigger"); break;
    case WaitKind::Interval: waitKind = QStringLiteral("interval"); break;
    case WaitKind::Question: waitKind = QStringLiteral("question"); break;
    }
    QJsonObject o{{QStringLiteral("state"), state_},
                  {QStringLiteral("status"), status_},
                  {QStringLiteral("run"), double(runId_)},
                  {QStringLiteral("instance"), instance_},
                  {QStringLiteral("cycle"), lastCycle_},
                  {QStringLiteral("next"), next_},
                  {QStringLiteral("first"), firstCycle_},
                  {QStringLiteral("count"), done},
                  {QStringLiteral("repeat"), repeat_},
                  {QStringLiteral("transferOnly"), transferOnly_},
                  {QStringLiteral("folder"), folder_},
                  {QStringLiteral("header"), header_},
                  {QStringLiteral("started"), IsoTime(started_)},
                  {QStringLiteral("message"), endMessage_},
                  {QStringLiteral("screenCycle"), png_.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(pngCycle_)},
                  {QStringLiteral("screenTime"), png_.isEmpty() ? QJsonValue(QJsonValue::Null) : IsoTimeOrNull(pngTime_)},
                  {QStringLiteral("screenTimeText"),
                   png_.isEmpty() || !pngTime_.isValid() ? QJsonValue(QJsonValue::Null) : QJsonValue(qm::DateTimeText(pngTime_))},
                  {QStringLiteral("waitKind"), waitKind},
                  {QStringLiteral("nextStart"), wait_ == WaitKind::Interval ? IsoTimeOrNull(nextStart_) : QJsonValue(QJsonValue::Null)},
                  // The PC time of this answer: a page on another clock counts down from it.
                  {QStringLiteral("now"), IsoTime(QDateTime::currentDateTime())},
                  {QStringLiteral("items"), items}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray WebFeed::logJson(int64_t since) const {
    std::lock_guard lock(mutex_);
    std::string out = "{\"run\":";
    AppendJsonInt(out, runId_);
    out += ",\"cycles\":[";
    // Records are in cycle order: skip to the first after `since`.
    auto it = std::upper_bound(log_.begin(), log_.end(), since,
                               [](int64_t s, const CycleRecord& r) { return s < r.cycle; });
    for (bool first = true; it != log_.end(); ++it, first = false) {
        if (!first) out += ',';
        AppendRecord(out, *it);
    }
    out += "]}";
    return Bytes(out);
}

QByteArray WebFeed::statsJson() const {
    std::lock_guard lock(mutex_);
    return statsJsonLocked();
}

void WebFeed::appendStatsLocked(std::string& out) const {
    out += '[';
    for (int k = 0; k < 4; ++k) {
        const RunningStats& s = trend_.stats(k);
        const SlotLimits& l = trend_.limits(k);
        out += k ? ",{\"slot\":\"" : "{\"slot\":\"";
        out += kSlots[k];
        out += "\",\"title\":";
        AppendJsonString(out, trend_.title(k));
        out += ",\"unit\":";
        AppendJsonString(out, items_[size_t(k)].unit);
        out += ",\"count\":";
        AppendJsonInt(out, int64_t(s.count()));
        out += ",\"noValue\":";
        AppendJsonInt(out, int64_t(s.noValueCount()));
        const std::pair<const char*, std::optional<double>> numbers[] = {
            {",\"last\":", s.last()}, {",\"min\":", s.min()},         {",\"max\":", s.max()},          {",\"mean\":", s.mean()},
            {",\"sd\":", s.sd()},     {",\"lower\":", l.lower}, {",\"upper\":", l.upper}};
        for (const auto& [key, value] : numbers) {
            out += key;
            AppendJsonNumber(out, value);
        }
        out += ",\"outside\":";
        AppendJsonInt(out, trend_.outsideCount(k));
        // The same as texts: the statistics to five digits, the limits as
        // the trend window shows them.
        const std::pair<const char*, std::optional<double>> stats[] = {
            {"{\"min\":", s.min()}, {",\"max\":", s.max()}, {",\"mean\":", s.mean()}, {",\"sd\":", s.sd()}};
        out += ",\"texts\":";
        for (const auto& [key, value] : stats) {
            out += key;
            AppendText(out, value, StatText);
        }
        out += ",\"lower\":";
        AppendText(out, l.lower, SICellText);
        out += ",\"upper\":";
        AppendText(out, l.upper, SICellText);
        out += "}}";
    }
    out += ']';
}

QByteArray WebFeed::statsJsonLocked() const {
    std::string out = "{\"run\":";
    AppendJsonInt(out, runId_);
    out += ",\"slots\":";
    appendStatsLocked(out);
    out += '}';
    return Bytes(out);
}

QByteArray WebFeed::screenPng() const {
    std::lock_guard lock(mutex_);
    return png_;
}

QString WebFeed::logFilePath() const {
    std::lock_guard lock(mutex_);
    return logFile_;
}

std::shared_ptr<WebSubscriber> WebFeed::subscribe() {
    auto s = std::make_shared<WebSubscriber>();
    std::lock_guard lock(mutex_);
    completeLocked();  // for the others; this one starts with the status as it is now
    s->first = Event("status", statusJsonLocked());
    s->next = seqBase_ + ring_.size();
    s->dropped_ = closed_;
    if (!closed_) subs_.push_back(s);
    return s;
}

void WebFeed::unsubscribe(const std::shared_ptr<WebSubscriber>& s) {
    std::lock_guard lock(mutex_);
    subs_.erase(std::remove(subs_.begin(), subs_.end(), s), subs_.end());
    // With nobody to take them, no cycle event comes after the newest one:
    // its statistics are those of now.
    if (subs_.empty()) makeTextLocked();
}

std::string WebFeed::take(WebSubscriber& s, bool* closed, size_t maxBytes) {
    std::lock_guard lock(mutex_);
    completeLocked();
    std::string out = std::move(s.first);
    s.first.clear();
    if (!s.dropped_ && s.next < seqBase_) {
        // Fell behind: what it missed is gone. Its stream ends here.
        s.dropped_ = true;
        ++dropped_;
    }
    if (s.dropped_) {
        *closed = true;
        return out;
    }
    size_t i = size_t(s.next - seqBase_);
    for (; i < ring_.size(); ++i) {
        const std::string& text = ring_[i].text;
        if (!out.empty() && out.size() + text.size() > maxBytes) break;
        out += text;
    }
    s.next = seqBase_ + i;
    *closed = closed_ && i == ring_.size();
    return out;
}

size_t WebFeed::subscriberCount() const {
    std::lock_guard lock(mutex_);
    return subs_.size();
}

void WebFeed::closeAll() {
    std::lock_guard lock(mutex_);
    completeLocked();
    closed_ = true;
    subs_.clear();  // adds nothing more to the ring; what is there stays to be taken
    if (eventHook_) eventHook_();
}

void WebFeed::setEventHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    eventHook_ = std::move(hook);
}

void WebFeed::pushLocked(RingEvent event) {
    ringBytes_ += event.record ? PendingCycleBytes : event.text.size();
    ring_.push_back(std::move(event));
    trimRingLocked();
}

void WebFeed::broadcastLocked(std::string event) {
    if (subs_.empty()) return;
    RingEvent e;
    e.text = std::move(event);
    pushLocked(std::move(e));
    if (eventHook_) eventHook_();
}

void WebFeed::makeTextLocked() {
    const uint64_t end = seqBase_ + ring_.size();
    for (uint64_t seq = std::max(madeUpTo_, seqBase_); seq < end; ++seq) {
        RingEvent& e = ring_[size_t(seq - seqBase_)];
        if (!e.record) continue;
        std::string& t = e.text;
        t.reserve(seq == newestCycle_ ? 1400 : 400);
        t += "id: ";
        AppendJsonInt(t, e.record->cycle);
        t += "\nevent: cycle\ndata: {\"run\":";
        AppendJsonInt(t, e.run);
        t += ",\"record\":";
        AppendRecord(t, *e.record);
        if (seq == newestCycle_) {
            // No cycle after it yet: the statistics as they are now are
            // those after this cycle. A burst of cycles carries them once.
            t += ",\"stats\":";
            appendStatsLocked(t);
        }
        t += "}\n\n";
        e.record.reset();
        ringBytes_ += t.size() - PendingCycleBytes;
    }
    madeUpTo_ = end;
    trimRingLocked();
}

void WebFeed::completeLocked() {
    pendingStatusLocked();
    makeTextLocked();
}

void WebFeed::trimRingLocked() {
    while (ring_.size() > MaxEvents || ringBytes_ > MaxEventBytes) {
        ringBytes_ -= ring_.front().record ? PendingCycleBytes : ring_.front().text.size();
        ring_.pop_front();
        ++seqBase_;
    }
}

void WebFeed::statusEventLocked() {
    // The status event is made when a stream next takes: however often the
    // status changed meanwhile, one event with the latest state.
    if (subs_.empty() || statusPending_) return;
    statusPending_ = true;
    if (eventHook_) eventHook_();
}

void WebFeed::pendingStatusLocked() {
    if (!statusPending_) return;
    statusPending_ = false;
    if (subs_.empty()) return;
    RingEvent e;
    e.text = Event("status", statusJsonLocked());
    pushLocked(std::move(e));
}

void WebFeed::runStarted(const RunStartInfo& info) {
    std::lock_guard lock(mutex_);
    ++runId_;
    // Cycle numbers go on across runs; after a clear they start again, and
    // the log kept here starts again with them.
    if (info.firstCycle <= lastCycle_) {
        log_.clear();
        lastCycle_ = 0;
    }
    trend_.clear();
    if (!dataFolder_.isEmpty()) trend_.setAllLimits(LoadTrendLimits(dataFolder_));
    firstCycle_ = info.firstCycle;
    next_ = info.firstCycle;
    repeat_ = info.repeatCount;
    transferOnly_ = info.transferOnly;
    started_ = info.started;
    state_ = QStringLiteral("running");
    endMessage_.clear();
    linkLost_ = false;
    wait_ = WaitKind::None;
    nextStart_ = {};
    readLiveLocked();
    statusEventLocked();
}

void WebFeed::measItemsRead(const MeasItemArray& items) {
    std::lock_guard lock(mutex_);
    items_ = items;
    trend_.setItems(items);
    statusEventLocked();
}

qm::FileResult WebFeed::cycleLogged(const CycleRecord& record, const QString& logFileName) {
    std::lock_guard lock(mutex_);
    if (record.cycle <= lastCycle_ && !log_.empty()) {
        // A repeated cycle (after a reconnect) replaces the kept one.
        while (!log_.empty() && log_.back().cycle >= record.cycle) log_.pop_back();
    }
    log_.push_back(record);
    while (log_.size() > MaxLogRecords) log_.pop_front();
    lastCycle_ = record.cycle;
    ++cyclesTotal_;
    lastCycleAt_ = std::chrono::steady_clock::now();
    for (int k = 0; k < 4; ++k) {
        const std::optional<double> v = SlotValue(record, k);
        lastValues_[size_t(k)] = v;
        if (v && trend_.limits(k).outside(*v)) ++outsideTotal_[size_t(k)];
    }
    trend_.add(record);
    readLiveLocked();
    if (!logFileName.isEmpty()) logFile_ = logFileName;
    if (!subs_.empty()) {
        // Its text is made when a stream takes it (makeTextLocked).
        RingEvent e;
        e.record = record;
        e.run = runId_;
        pushLocked(std::move(e));
        newestCycle_ = seqBase_ + ring_.size() - 1;
        if (eventHook_) eventHook_();
    }
    return {};
}

qm::FileResult WebFeed::screenImage(const ScreenImage& image) {
    // The saved image is PNG; the display image (BMP) is not served.
    if (image.forDisplay || image.format.compare(QLatin1String("png"), Qt::CaseInsensitive) != 0) return {};
    if (!image.bytes.startsWith("\x89PNG")) return {};
    std::lock_guard lock(mutex_);
    png_ = image.bytes;
    pngCycle_ = image.cycle;
    pngTime_ = QDateTime::currentDateTime();
    if (!subs_.empty()) {
        std::string e = "{\"cycle\":" + std::to_string(image.cycle) + ",\"time\":";
        AppendIsoTime(e, pngTime_);
        e += ",\"timeText\":";
        AppendJsonString(e, qm::DateTimeText(pngTime_));
        e += '}';
        broadcastLocked(Event("screen", e));
    }
    return {};
}

void WebFeed::statusChanged(const QString& text, StatusKind kind) {
    std::lock_guard lock(mutex_);
    status_ = text;
    if (runGoingOnLocked()) {
        if (kind == StatusKind::TriggerWait) {
            setWaitLocked(WaitKind::Trigger);
        } else if (kind == StatusKind::Reconnecting) {
            setWaitLocked(WaitKind::None);
            state_ = QStringLiteral("reconnecting");
        } else if (wait_ == WaitKind::Trigger) {
            // The trigger came (or the wait was stopped). The waits between
            // cycles end only when the run says so.
            setWaitLocked(WaitKind::None);
        } else if (state_ == QLatin1String("reconnecting") && !linkLost_) {
            state_ = QStringLiteral("running");
        }
    }
    statusEventLocked();
}

void WebFeed::fileFailed(const qm::FileResult&) {
    std::lock_guard lock(mutex_);
    ++fileFailures_;
}

void WebFeed::cycleNumberChanged(int32_t next) {
    std::lock_guard lock(mutex_);
    next_ = next;
    setWaitLocked(WaitKind::None);
    statusEventLocked();
}

void WebFeed::waitChanged(const RunWait& wait) {
    std::lock_guard lock(mutex_);
    if (!runGoingOnLocked() || linkLost_) return;
    switch (wait.kind) {
    case RunWait::Kind::Interval: setWaitLocked(WaitKind::Interval, wait.nextStart); break;
    case RunWait::Kind::Question: setWaitLocked(WaitKind::Question); break;
    case RunWait::Kind::None:
        if (wait_ == WaitKind::Interval || wait_ == WaitKind::Question) setWaitLocked(WaitKind::None);
        break;
    }
    statusEventLocked();
}

void WebFeed::linkEvent(const QString&, bool reconnected, int32_t, const QString& folder, const QString& header) {
    std::lock_guard lock(mutex_);
    folder_ = folder;
    header_ = header;
    setWaitLocked(WaitKind::None);
    if (reconnected) {
        ++reconnections_;
        linkLost_ = false;
        state_ = QStringLiteral("running");
    } else {
        linkLost_ = true;
        state_ = QStringLiteral("reconnecting");
    }
    statusEventLocked();
}

void WebFeed::runEnded(const RunEndInfo& end) {
    std::lock_guard lock(mutex_);
    setWaitLocked(WaitKind::None);
    switch (end.outcome) {
    case RunOutcome::Normal: {
        const bool countReached = transferOnly_ || (repeat_ > 0 && next_ - firstCycle_ >= repeat_);
        state_ = countReached ? QStringLiteral("ended") : QStringLiteral("stopped");
        break;
    }
    case RunOutcome::ConnectFailed:
        state_ = QStringLiteral("link lost");
        break;
    case RunOutcome::Error:
        state_ = linkLost_ || end.linkLost ? QStringLiteral("link lost") : QStringLiteral("stopped");
        break;
    case RunOutcome::Aborted:
        state_ = QStringLiteral("stopped");
        break;
    }
    endMessage_ = end.message.isNull() ? QString(QLatin1String("")) : end.message;
    statusEventLocked();
}

}  // namespace qm
