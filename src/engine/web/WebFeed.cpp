#include "engine/web/WebFeed.h"

#include "engine/stats/TrendLimits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace {

const char* const kSlots[] = {"A", "B", "C", "D"};

QJsonValue Num(std::optional<double> v) {
    if (!v || !std::isfinite(*v)) return QJsonValue(QJsonValue::Null);
    return QJsonValue(*v);
}

QString IsoTime(const QDateTime& t) {
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

QJsonObject RecordJson(const CycleRecord& r) {
    QJsonArray values, cells;
    for (int k = 0; k < 4; ++k) {
        values.append(Num(SlotValue(r, k)));
        cells.append(r.cells[size_t(k)]);
    }
    return QJsonObject{{QStringLiteral("cycle"), r.cycle},
                       {QStringLiteral("time"), IsoTime(r.time)},
                       {QStringLiteral("timeText"), r.timeText},
                       {QStringLiteral("values"), values},
                       {QStringLiteral("cells"), cells}};
}

std::string Event(const char* name, const QByteArray& json, int64_t id = -1) {
    std::string e;
    e.reserve(size_t(json.size()) + 48);
    if (id >= 0) e += "id: " + std::to_string(id) + "\n";
    e += "event: ";
    e += name;
    e += "\ndata: ";
    e.append(json.constData(), size_t(json.size()));  // compact JSON: one line
    e += "\n\n";
    return e;
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
                                 {QStringLiteral("source"), it.Source},
                                 {QStringLiteral("kind"), it.Kind},
                                 {QStringLiteral("unit"), it.Unit},
                                 {QStringLiteral("title"), SlotTitle(k, it)}});
    }
    const int32_t done = runId_ ? std::max<int32_t>(0, next_ - firstCycle_) : 0;
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
                  {QStringLiteral("items"), items}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray WebFeed::logJson(int64_t since) const {
    std::lock_guard lock(mutex_);
    QJsonArray rows;
    // Records are in cycle order: skip to the first after `since`.
    auto it = std::upper_bound(log_.begin(), log_.end(), since,
                               [](int64_t s, const CycleRecord& r) { return s < r.cycle; });
    for (; it != log_.end(); ++it) rows.append(RecordJson(*it));
    QJsonObject o{{QStringLiteral("run"), double(runId_)}, {QStringLiteral("cycles"), rows}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray WebFeed::statsJson() const {
    std::lock_guard lock(mutex_);
    return statsJsonLocked();
}

QJsonArray WebFeed::statsArrayLocked() const {
    QJsonArray out;
    for (int k = 0; k < 4; ++k) {
        const RunningStats& s = trend_.stats(k);
        const SlotLimits& l = trend_.limits(k);
        out.append(QJsonObject{{QStringLiteral("slot"), QLatin1String(kSlots[k])},
                               {QStringLiteral("title"), trend_.title(k)},
                               {QStringLiteral("unit"), items_[size_t(k)].Unit},
                               {QStringLiteral("count"), double(s.count())},
                               {QStringLiteral("noValue"), double(s.noValueCount())},
                               {QStringLiteral("last"), Num(s.last())},
                               {QStringLiteral("min"), Num(s.min())},
                               {QStringLiteral("max"), Num(s.max())},
                               {QStringLiteral("mean"), Num(s.mean())},
                               {QStringLiteral("sd"), Num(s.sd())},
                               {QStringLiteral("lower"), Num(l.lower)},
                               {QStringLiteral("upper"), Num(l.upper)},
                               {QStringLiteral("outside"), double(trend_.outsideCount(k))}});
    }
    return out;
}

QByteArray WebFeed::statsJsonLocked() const {
    QJsonObject o{{QStringLiteral("run"), double(runId_)}, {QStringLiteral("slots"), statsArrayLocked()}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray WebFeed::screenPng() const {
    std::lock_guard lock(mutex_);
    return png_;
}

std::shared_ptr<WebSubscriber> WebFeed::subscribe() {
    auto s = std::make_shared<WebSubscriber>();
    std::lock_guard lock(mutex_);
    s->first = Event("status", statusJsonLocked());
    s->next = seqBase_ + ring_.size();
    s->dropped_ = closed_;
    if (!closed_) subs_.push_back(s);
    return s;
}

void WebFeed::unsubscribe(const std::shared_ptr<WebSubscriber>& s) {
    std::lock_guard lock(mutex_);
    subs_.erase(std::remove(subs_.begin(), subs_.end(), s), subs_.end());
}

std::string WebFeed::take(WebSubscriber& s, bool* closed, size_t maxBytes) {
    std::lock_guard lock(mutex_);
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
        if (!out.empty() && out.size() + ring_[i].size() > maxBytes) break;
        out += ring_[i];
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
    closed_ = true;
    subs_.clear();  // adds nothing more to the ring; what is there stays to be taken
    if (eventHook_) eventHook_();
}

bool WebFeed::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

void WebFeed::setEventHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    eventHook_ = std::move(hook);
}

void WebFeed::broadcastLocked(std::string event) {
    if (subs_.empty()) return;
    ringBytes_ += event.size();
    ring_.push_back(std::move(event));
    while (ring_.size() > MaxEvents || ringBytes_ > MaxEventBytes) {
        ringBytes_ -= ring_.front().size();
        ring_.pop_front();
        ++seqBase_;
    }
    if (eventHook_) eventHook_();
}

void WebFeed::statusEventLocked() {
    if (!subs_.empty()) broadcastLocked(Event("status", statusJsonLocked()));
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
    readLiveLocked();
    statusEventLocked();
}

void WebFeed::measItemsRead(const MeasItemArray& items) {
    std::lock_guard lock(mutex_);
    items_ = items;
    trend_.setItems(items);
    statusEventLocked();
}

OutputResult WebFeed::cycleLogged(const CycleRecord& record, const QString&) {
    std::lock_guard lock(mutex_);
    if (record.cycle <= lastCycle_ && !log_.empty()) {
        // A repeated cycle (after a reconnect) replaces the kept one.
        while (!log_.empty() && log_.back().cycle >= record.cycle) log_.pop_back();
    }
    log_.push_back(record);
    while (log_.size() > MaxLogRecords) log_.pop_front();
    lastCycle_ = record.cycle;
    trend_.add(record);
    readLiveLocked();
    if (!subs_.empty()) {
        QJsonObject o{{QStringLiteral("run"), double(runId_)},
                      {QStringLiteral("record"), RecordJson(record)},
                      {QStringLiteral("stats"), statsArrayLocked()}};
        broadcastLocked(Event("cycle", QJsonDocument(o).toJson(QJsonDocument::Compact), record.cycle));
    }
    return {};
}

OutputResult WebFeed::screenImage(const ScreenImage& image) {
    // The saved image is PNG; the display image (BMP) is not served.
    if (image.forDisplay || image.format.compare(QLatin1String("png"), Qt::CaseInsensitive) != 0) return {};
    if (!image.bytes.startsWith("\x89PNG")) return {};
    std::lock_guard lock(mutex_);
    png_ = image.bytes;
    pngCycle_ = image.cycle;
    if (!subs_.empty())
        broadcastLocked(Event("screen", QJsonDocument(QJsonObject{{QStringLiteral("cycle"), image.cycle}}).toJson(QJsonDocument::Compact)));
    return {};
}

void WebFeed::statusChanged(const QString& text) {
    std::lock_guard lock(mutex_);
    status_ = text;
    if (state_ != QLatin1String("idle") && runId_ && endMessage_.isNull()) {
        if (text.startsWith(QStringLiteral("トリガ待ち"))) state_ = QStringLiteral("waiting");
        else if (text.contains(QStringLiteral("再接続しています"))) state_ = QStringLiteral("reconnecting");
        else if (state_ == QLatin1String("waiting") || state_ == QLatin1String("reconnecting")) {
            if (!linkLost_) state_ = QStringLiteral("running");
        }
    }
    statusEventLocked();
}

void WebFeed::cycleNumberChanged(int32_t next) {
    std::lock_guard lock(mutex_);
    next_ = next;
    if (state_ == QLatin1String("waiting")) state_ = QStringLiteral("running");
    statusEventLocked();
}

void WebFeed::linkEvent(const QString& text, int32_t, const QString& folder, const QString& header) {
    std::lock_guard lock(mutex_);
    folder_ = folder;
    header_ = header;
    if (text.startsWith(QStringLiteral("再接続しました"))) {
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
        state_ = linkLost_ || end.message.contains(QStringLiteral("接続")) ? QStringLiteral("link lost") : QStringLiteral("stopped");
        break;
    case RunOutcome::Aborted:
        state_ = QStringLiteral("stopped");
        break;
    }
    endMessage_ = end.message.isNull() ? QString(QLatin1String("")) : end.message;
    statusEventLocked();
}
