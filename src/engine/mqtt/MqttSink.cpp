#include "engine/mqtt/MqttSink.h"

#include "engine/mqtt/DiskQueue.h"
#include "engine/stats/TrendLimits.h"
#include "engine/stats/TrendLog.h"
#include "engine/text/JsonText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mosquitto.h>
#include <mutex>
#include <string>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include "engine/text/WinApi.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#endif

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(MqttSink)
};
}  // namespace

namespace qm {

namespace {

using Clock = std::chrono::steady_clock;

const char* const kSlots[] = {"A", "B", "C", "D"};

void AppendBytes(std::string& out, const QByteArray& text) { AppendJsonString(out, QString::fromUtf8(text)); }

// ISO 8601 with the PC's offset from UTC: "2026-12-07T09:00:11.250+09:00".
void AppendIsoTime(std::string& out, const QDateTime& t) {
    if (!t.isValid()) {
        out += "null";
        return;
    }
    const QDate d = t.date();
    const QTime tm = t.time();
    if (d.year() < 0 || d.year() > 9999) {
        out += "null";
        return;
    }
    const int off = t.offsetFromUtc();
    const int a = std::abs(off) / 60;
    char buf[48];
    std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d\"", d.year(), d.month(), d.day(),
                  tm.hour(), tm.minute(), tm.second(), tm.msec(), off < 0 ? '-' : '+', a / 60, a % 60);
    out += buf;
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

// The station as it goes into the client id: at most 40 bytes of UTF-8, cut
// before a whole character (libmosquitto refuses an id that is not valid
// UTF-8).
QByteArray ClientIdStation(const QString& station) {
    QByteArray bytes = station.toUtf8();
    if (bytes.size() <= 40) return bytes;
    qsizetype cut = 40;
    while (cut > 0 && (uint8_t(bytes[cut]) & 0xC0) == 0x80) --cut;  // inside a character: back to its start
    bytes.truncate(cut);
    return bytes;
}

int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// A run's id: its start in UTC, to the millisecond ("20261207T000000.123Z");
// a later millisecond when that one was taken already.
QByteArray NewRunId() {
    static std::atomic<int64_t> last{0};
    int64_t ms = NowMs();
    int64_t seen = last.load();
    do {
        ms = std::max(ms, seen + 1);
    } while (!last.compare_exchange_weak(seen, ms));
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz'Z'")).toLatin1();
}

QString ConnackText(int rc) {
    switch (rc) {
    case 1: return Texts::tr("プロトコルの版を受け付けません");
    case 2: return Texts::tr("クライアント ID を受け付けません");
    case 3: return Texts::tr("サービスを提供できません");
    case 4:
    case 5: return Texts::tr("ユーザー名かパスワードを拒否しました");
    default: return Texts::tr("接続を拒否しました (%1)").arg(rc);
    }
}


#ifdef _WIN32
using PollSocket = SOCKET;
int Poll(pollfd* fds, unsigned n, int ms) { return WSAPoll(fds, ULONG(n), ms); }
#else
using PollSocket = int;
int Poll(pollfd* fds, unsigned n, int ms) { return ::poll(fds, nfds_t(n), ms); }
#endif

// Wakes the publisher's poll from another thread: a pipe, or on Windows
// (where only sockets can be polled) a UDP socket on loopback that sends to
// itself.
class Waker {
public:
    ~Waker() { close(); }
    QString open() {
#ifdef _WIN32
        sock_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        u_long nonBlocking = 1;
        if (sock_ == INVALID_SOCKET || ::bind(sock_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
            ::connect(sock_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::ioctlsocket(sock_, FIONBIO, &nonBlocking) != 0) {
            const QString error = qt_error_string(WSAGetLastError());
            close();
            return error;
        }
#else
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return QString::fromLocal8Bit(std::strerror(errno));
        read_ = fds[0];
        write_ = fds[1];
#endif
        return {};
    }
    void close() {
#ifdef _WIN32
        if (sock_ != INVALID_SOCKET) ::closesocket(sock_);
        sock_ = INVALID_SOCKET;
#else
        if (read_ >= 0) ::close(read_);
        if (write_ >= 0) ::close(write_);
        read_ = write_ = -1;
#endif
    }
    void wake() {
        const char c = 1;
#ifdef _WIN32
        if (sock_ != INVALID_SOCKET) ::send(sock_, &c, 1, 0);
#else
        if (write_ >= 0) [[maybe_unused]] const ssize_t n = ::write(write_, &c, 1);  // a full pipe is awake already
#endif
    }
    void drain() {
        char buf[64];
#ifdef _WIN32
        while (::recv(sock_, buf, sizeof buf, 0) > 0) {
        }
#else
        while (::read(read_, buf, sizeof buf) > 0) {
        }
#endif
    }
    PollSocket handle() const {
#ifdef _WIN32
        return sock_;
#else
        return read_;
#endif
    }

private:
#ifdef _WIN32
    SOCKET sock_ = INVALID_SOCKET;
#else
    int read_ = -1, write_ = -1;
#endif
};

}  // namespace

struct MqttSink::Impl {
    explicit Impl(MqttOptions options)
        : o(std::move(options)), queue(o.queueFolder, o.queueMaxBytes) {
        const QString base = o.address.prefix + u'/' + o.station + u'/';
        topicCycle = (base + QStringLiteral("cycle")).toUtf8();
        topicState = (base + QStringLiteral("state")).toUtf8();
        topicStats = (base + QStringLiteral("stats")).toUtf8();
        topicEvent = (base + QStringLiteral("event")).toUtf8();
        instanceId = "start-" + NewRunId();
        AppendJsonString(stationJson, o.station);
        makeItemsJsonLocked();
    }

    MqttOptions o;
    DiskQueue queue;
    QByteArray topicCycle, topicState, topicStats, topicEvent;
    QByteArray instanceId;
    std::function<void(const QString&)> reporter;
    std::atomic<bool> started{false};

    // ---- what the run told (under m) ----
    mutable std::mutex m;
    QByteArray runId;
    // Parts of every cycle's JSON, made when they change rather than per cycle.
    std::string runIdText;    // the run id (plain ASCII)
    std::string stationJson;  // the station as a JSON string
    std::string itemsJson;    // [titles],"units":[units]
    void makeItemsJsonLocked() {
        std::string t(1, '[');
        for (int k = 0; k < 4; ++k) {
            if (k) t += ',';
            AppendJsonString(t, trend.title(k));
        }
        t += "],\"units\":[";
        for (int k = 0; k < 4; ++k) {
            if (k) t += ',';
            AppendJsonString(t, items[size_t(k)].unit);
        }
        t += ']';
        itemsJson = std::move(t);
    }
    int64_t events = 0;
    MeasItemArray items;
    TrendLog trend;
    QString state = QStringLiteral("idle");
    QString status;
    QString outcome, endMessage;
    int32_t firstCycle = 1, next = 1, lastCycle = 0, repeat = 0;
    int64_t logged = 0;
    bool waitBetween = false, waitTrigger = false, linkLost = false, transferOnly = false;
    bool stateDirty = true, statsDirty = false;
    bool statsNow = false;  // the run ended: its final statistics go at once
    QString lastQueueProblem, lastHousekeepingProblem;
    std::deque<QueueRecord> backlog;  // records the disk did not take yet, in order
    static constexpr size_t MaxBacklog = 1000;

    // ---- counters ----
    std::atomic<bool> connected{false};
    std::atomic<int64_t> published{0}, failures{0}, queueFailures{0}, givenUp{0};

    // ---- the publisher ----
    std::thread thread;
    Waker waker;
    std::atomic<bool> stopping{false};
    std::atomic<Clock::time_point> finishUntil{};  // the end sends what waits until then (steady: a change of the PC's time does not move it)
    mosquitto* mosq = nullptr;
    bool accepted = false;
    bool lost = false;
    int refusedCode = 0;
    int finalMid = 0;         // the "offline" state published at the end
    bool finalAcked = false;
    Clock::time_point connectStarted, nextAttempt, lastStatePublish, lastStatsPublish, lastSync, lastSave;
    int backoffMs = 0;
    struct InFlight {
        uint64_t seq;
        int mid;
        bool acked;
        Clock::time_point sent;
    };
    std::deque<InFlight> inflight;
    uint64_t sendSeq = 0;
    QString brokerProblem;       // the last trouble said, so that it is said once
    bool saidTrouble = false;

    // Wakes the publisher; one write until it has looked (a burst of calls
    // costs one system call).
    std::atomic<bool> woken{false};
    void wake() {
        if (!started || woken.exchange(true)) return;
        waker.wake();
    }

    void report(const QString& text) {
        if (reporter) reporter(text);
    }

    // ---- the worker's side ----

    // The record's JSON for `cycle` (under m).
    QByteArray cycleJson(const CycleRecord& r) const {
        std::string out;
        out.reserve(900);
        out += "{\"id\":\"";
        out += runIdText;
        out += ':';
        AppendJsonInt(out, r.cycle);
        out += "\",\"run\":\"";
        out += runIdText;
        out += "\",\"station\":";
        out += stationJson;
        out += ",\"cycle\":";
        AppendJsonInt(out, r.cycle);
        out += ",\"time\":";
        AppendIsoTime(out, r.time);
        out += ',';
        AppendValuesAndCellsJson(out, r);
        out += ",\"titles\":";
        out += itemsJson;  // [...],"units":[...]
        out += ",\"outside\":[";
        for (int k = 0; k < 4; ++k) {
            if (k) out += ',';
            const SlotLimits& l = trend.limits(k);
            const std::optional<double> v = SlotValue(r, k);
            out += !v || !l.any() ? "null" : l.outside(*v) ? "true" : "false";
        }
        out += "]}";
        return Bytes(out);
    }

    static constexpr qsizetype MaxEventFiles = 100;

    // An event record (under m).
    QueueRecord eventRecord(const char* kind, const QString& text, int32_t cycle, const QStringList& files = {}) {
        const QByteArray run = runId.isEmpty() ? instanceId : runId;
        std::string out = "{\"id\":";
        AppendBytes(out, run + ":e" + QByteArray::number(++events));
        out += ",\"run\":";
        AppendBytes(out, run);
        out += ",\"station\":";
        AppendJsonString(out, o.station);
        out += ",\"time\":";
        AppendIsoTime(out, QDateTime::currentDateTime());
        out += ",\"event\":\"";
        out += kind;
        out += "\",\"text\":";
        AppendJsonString(out, text);
        out += ",\"cycle\":";
        if (cycle > 0) AppendJsonInt(out, cycle);
        else out += "null";
        if (!files.isEmpty()) {
            // The first of them by name (the text gives how many): a run with
            // thousands of failed files must not make a record larger than
            // the queue takes.
            out += ",\"files\":[";
            for (qsizetype i = 0; i < std::min<qsizetype>(files.size(), MaxEventFiles); ++i) {
                if (i) out += ',';
                AppendJsonString(out, QDir::toNativeSeparators(files[i]));
            }
            out += ']';
        }
        out += '}';
        QueueRecord rec;
        rec.kind = QueueRecord::Kind::Event;
        rec.queuedMs = NowMs();
        rec.runId = run;
        rec.topic = topicEvent;
        rec.payload = Bytes(out);
        return rec;
    }

    // Appends to the disk queue (records that the disk refused earlier go
    // first); on the worker thread.
    void enqueue(QueueRecord rec) {
        if (!started) return;
        std::vector<QString> say;
        {
            std::lock_guard lock(m);
            backlog.push_back(std::move(rec));
            flushBacklogLocked(&say);
            stateDirty = true;
        }
        for (const QString& text : say) report(text);
        wake();
    }

    void flushBacklogLocked(std::vector<QString>* say) {
        QString error;
        while (!backlog.empty()) {
            DiskQueue::AppendResult r = queue.append(backlog.front());
            for (const DiskQueue::GivenUp& g : r.givenUp) {
                givenUp.fetch_add(g.records);
                const QString text = Texts::tr("MQTT: 送信待ちが上限 (%1 MB) に達したため、未送信の測定 %2 の %3 件を破棄しました")
                                         .arg(double(o.queueMaxBytes) / (1 << 20), 0, 'f', 1)
                                         .arg(QString::fromLatin1(g.runId))
                                         .arg(g.records);
                say->push_back(text);
                backlog.push_back(eventRecord("records given up", text, 0));
            }
            if (!r.ok()) {
                error = r.error;
                break;
            }
            backlog.pop_front();
        }
        if (!error.isEmpty()) {
            queueFailures.fetch_add(1);
            while (backlog.size() > MaxBacklog) {
                backlog.pop_front();
                givenUp.fetch_add(1);
            }
            if (lastQueueProblem != error)
                say->push_back(Texts::tr("MQTT: 送信待ちファイル (%1) に書けません: %2 (%3 件はメモリで待っています)")
                                   .arg(QDir::toNativeSeparators(queue.folder()), error)
                                   .arg(backlog.size()));
            lastQueueProblem = error;
        } else if (!lastQueueProblem.isEmpty()) {
            lastQueueProblem.clear();
            say->push_back(Texts::tr("MQTT: 送信待ちファイルに再び書けるようになりました"));
        }
    }

    // ---- the publisher's side ----

    QByteArray stateJsonLocked(const QString& name) const {
        std::string out = "{\"state\":";
        AppendJsonString(out, name);
        out += ",\"station\":";
        AppendJsonString(out, o.station);
        out += ",\"time\":";
        AppendIsoTime(out, QDateTime::currentDateTime());
        out += ",\"run\":";
        if (runId.isEmpty()) out += "null";
        else AppendBytes(out, runId);
        out += ",\"cycle\":";
        AppendJsonInt(out, lastCycle);
        out += ",\"next\":";
        AppendJsonInt(out, next);
        out += ",\"logged\":";
        AppendJsonInt(out, logged);
        out += ",\"count\":";
        AppendJsonInt(out, runId.isEmpty() ? 0 : std::max<int32_t>(0, next - firstCycle));
        out += ",\"repeat\":";
        AppendJsonInt(out, repeat);
        const DiskQueue::Stats q = queue.stats();
        out += ",\"queued\":";
        AppendJsonInt(out, q.records + int64_t(backlog.size()));
        out += ",\"status\":";
        AppendJsonString(out, status);
        if (!outcome.isEmpty()) {
            out += ",\"outcome\":";
            AppendJsonString(out, outcome);
            out += ",\"message\":";
            AppendJsonString(out, endMessage);
        }
        out += '}';
        return Bytes(out);
    }

    QByteArray statsJsonLocked() const {
        std::string out = "{\"run\":";
        if (runId.isEmpty()) out += "null";
        else AppendBytes(out, runId);
        out += ",\"station\":";
        AppendJsonString(out, o.station);
        out += ",\"time\":";
        AppendIsoTime(out, QDateTime::currentDateTime());
        out += ",\"slots\":[";
        for (int k = 0; k < 4; ++k) {
            const RunningStats& s = trend.stats(k);
            const SlotLimits& l = trend.limits(k);
            out += k ? ",{\"slot\":\"" : "{\"slot\":\"";
            out += kSlots[k];
            out += "\",\"title\":";
            AppendJsonString(out, trend.title(k));
            out += ",\"unit\":";
            AppendJsonString(out, items[size_t(k)].unit);
            out += ",\"count\":";
            AppendJsonInt(out, s.count());
            out += ",\"noValue\":";
            AppendJsonInt(out, s.noValueCount());
            const std::pair<const char*, std::optional<double>> numbers[] = {
                {",\"last\":", s.last()}, {",\"min\":", s.min()}, {",\"max\":", s.max()},    {",\"mean\":", s.mean()},
                {",\"sd\":", s.sd()},     {",\"lower\":", l.lower}, {",\"upper\":", l.upper}};
            for (const auto& [key, value] : numbers) {
                out += key;
                AppendJsonNumber(out, value);
            }
            out += ",\"outside\":";
            AppendJsonInt(out, trend.outsideCount(k));
            out += '}';
        }
        out += "]}";
        return Bytes(out);
    }

    void brokerTrouble(const QString& what) {
        failures.fetch_add(1);
        const int64_t waiting = queue.stats().records;
        //: %1: host:port; %2: what went wrong (the texts "に接続できません: %1" ...);
        //: %3: "未送信 %1 件は" or "記録は"
        const QString text = Texts::tr("MQTT: ブローカー %1 %2 (%3ディスクで待っています)")
                                 .arg(o.address.hostPort(), what,
                                      waiting ? Texts::tr("未送信 %1 件は").arg(waiting) : Texts::tr("記録は"));
        if (what != brokerProblem) report(text);
        brokerProblem = what;
        saidTrouble = true;
    }

    void dropConnection(const QString& why) {
        if (mosq) {
            mosquitto_destroy(mosq);
            mosq = nullptr;
        }
        accepted = false;
        lost = false;
        connected = false;
        inflight.clear();
        if (!why.isEmpty()) brokerTrouble(why);
        nextAttempt = Clock::now() + std::chrono::milliseconds(backoffMs);
        backoffMs = std::min(std::max(backoffMs * 2, o.backoffMinMs), o.backoffMaxMs);
    }

    void connect() {
        const QByteArray clientId =
            ("quillmeter-" + ClientIdStation(o.station) + '-' + QByteArray::number(QCoreApplication::applicationPid()));
        mosq = mosquitto_new(clientId.constData(), true, this);
        if (!mosq) {
            // libmosquitto's reason (errno) says nothing useful here: a client
            // id it does not take, or no memory.
            dropConnection(Texts::tr("に接続できません: MQTT クライアントを作成できません"));
            return;
        }
        mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        mosquitto_max_inflight_messages_set(mosq, 0);  // the sink bounds what is in flight itself
        mosquitto_connect_callback_set(mosq, [](mosquitto*, void* self, int rc) { static_cast<Impl*>(self)->onConnect(rc); });
        mosquitto_disconnect_callback_set(mosq, [](mosquitto*, void* self, int) { static_cast<Impl*>(self)->lost = true; });
        mosquitto_publish_callback_set(mosq, [](mosquitto*, void* self, int mid) { static_cast<Impl*>(self)->onPublished(mid); });
        if (!o.user.isEmpty()) {
            const QByteArray user = o.user.toUtf8();
            const QByteArray password = o.password.toUtf8();
            mosquitto_username_pw_set(mosq, user.constData(), o.password.isEmpty() ? nullptr : password.constData());
        }
        QByteArray offline;
        {
            std::lock_guard lock(m);
            offline = stateJsonLocked(QStringLiteral("offline"));
        }
        mosquitto_will_set(mosq, topicState.constData(), int(offline.size()), offline.constData(), 1, true);
        if (o.address.tls) {
            int rc = MOSQ_ERR_SUCCESS;
            if (!o.caFile.isEmpty()) rc = mosquitto_tls_set(mosq, QFile::encodeName(o.caFile).constData(), nullptr, nullptr, nullptr, nullptr);
            else rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
            if (rc != MOSQ_ERR_SUCCESS) {
                dropConnection(Texts::tr("に TLS で接続できません: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
                return;
            }
        }
        connectStarted = Clock::now();
        refusedCode = 0;
        errno = 0;
        const int rc = mosquitto_connect_async(mosq, o.address.host.toUtf8().constData(), o.address.port, o.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                                     : QString::fromUtf8(mosquitto_strerror(rc));
            dropConnection(Texts::tr("に接続できません: %1").arg(why));
        }
    }

    void onConnect(int rc) {
        if (rc != 0) {
            refusedCode = rc;
            return;
        }
        accepted = true;
        connected = true;
        backoffMs = o.backoffMinMs;
        inflight.clear();
        sendSeq = queue.firstPending();
        {
            std::lock_guard lock(m);
            stateDirty = true;
            statsDirty = statsDirty || !runId.isEmpty();
        }
        if (saidTrouble) {
            report(Texts::tr("MQTT: ブローカー %1 に接続しました (未送信 %2 件を送ります)")
                       .arg(o.address.hostPort())
                       .arg(queue.stats().records));
            saidTrouble = false;
            brokerProblem.clear();
        }
    }

    void onPublished(int mid) {
        if (finalMid && mid == finalMid) finalAcked = true;
        for (InFlight& f : inflight) {
            if (f.mid == mid) {
                f.acked = true;
                break;
            }
        }
        uint64_t done = 0;
        while (!inflight.empty() && inflight.front().acked) {
            done = inflight.front().seq + 1;
            inflight.pop_front();
            published.fetch_add(1);
        }
        if (done) queue.markDone(done);
    }

    void publishRecords() {
        while (accepted && inflight.size() < size_t(std::max(1, o.inFlight))) {
            sendSeq = std::max(sendSeq, queue.firstPending());
            if (sendSeq >= queue.end()) return;
            QueueRecord r;
            QString error;
            bool damaged = false;
            if (!queue.read(sendSeq, &r, &error, &damaged)) {
                if (sendSeq < queue.firstPending()) continue;  // given up meanwhile
                if (!damaged) {
                    // The file could not be opened or read (too many open
                    // files, another program holding it): nothing is lost,
                    // the record is tried again on the next pass.
                    if (newHousekeepingProblem(error)) report(Texts::tr("MQTT: 送信待ちの記録を読めません: %1").arg(error));
                    return;
                }
                // Its bytes are no sound record (changed since written): skipped.
                report(Texts::tr("MQTT: 送信待ちの記録を読めません: %1").arg(error));
                inflight.push_back({sendSeq++, -1, true, Clock::now()});
                onPublished(-1);
                continue;
            }
            int mid = 0;
            const int rc = mosquitto_publish(mosq, &mid, r.topic.constData(), int(r.payload.size()), r.payload.constData(), 1, false);
            if (rc == MOSQ_ERR_MALFORMED_UTF8 || rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_PAYLOAD_SIZE) {
                // A record the client library never sends (a topic or size
                // from a damaged or foreign queue file): skipped, or every
                // new connection would stop at it again.
                report(Texts::tr("MQTT: 送信待ちの記録を読めません: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
                inflight.push_back({sendSeq++, -1, true, Clock::now()});
                onPublished(-1);
                continue;
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                dropConnection(Texts::tr("に送れません: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
                return;
            }
            inflight.push_back({sendSeq++, mid, false, Clock::now()});
        }
    }

    void publishRetained(const QByteArray& topic, const QByteArray& json) {
        if (!accepted) return;
        const int rc = mosquitto_publish(mosq, nullptr, topic.constData(), int(json.size()), json.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) dropConnection(Texts::tr("に送れません: %1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }

    // The state and statistics when they changed, at most every 200 ms and
    // every second.
    void publishStateAndStats(Clock::time_point now) {
        QByteArray state, stats;
        {
            std::lock_guard lock(m);
            if (stateDirty && now - lastStatePublish >= std::chrono::milliseconds(200)) {
                stateDirty = false;
                state = stateJsonLocked(this->state);
            }
            if (statsDirty && (statsNow || now - lastStatsPublish >= std::chrono::seconds(1))) {
                statsDirty = statsNow = false;
                stats = statsJsonLocked();
            }
        }
        if (!state.isEmpty()) {
            lastStatePublish = now;
            publishRetained(topicState, state);
        }
        if (!stats.isEmpty()) {
            lastStatsPublish = now;
            publishRetained(topicStats, stats);
        }
    }

    void housekeeping(Clock::time_point now, bool force) {
        if (force || now - lastSave >= std::chrono::milliseconds(250)) {
            lastSave = now;
            const QString e1 = queue.saveDone();
            const QString e2 = queue.removeDoneSegments();
            const QString e = e1.isEmpty() ? e2 : e1;
            if (!e.isEmpty() && newHousekeepingProblem(e)) report(Texts::tr("MQTT: 送信済みの記録を整理できません: %1").arg(e));
        }
        // Appended records are made durable (on the publisher's thread, never
        // the worker's) while some wait: a power cut loses at most the last
        // syncIntervalMs of records not yet acknowledged (still in the log
        // file); a killed program loses none (each record is written whole
        // to the system at once).
        if ((force || now - lastSync >= std::chrono::milliseconds(o.syncIntervalMs)) && queue.needsSync()) {
            lastSync = now;
            const QString e = queue.stats().records > 0 || force ? queue.sync() : QString();
            if (!e.isEmpty() && newHousekeepingProblem(e))
                report(Texts::tr("MQTT: 送信待ちの記録をディスクに確定できません: %1").arg(e));
        }
    }

    // True when `problem` was not the last one said (it is said once).
    bool newHousekeepingProblem(const QString& problem) {
        std::lock_guard lock(m);
        const bool fresh = lastHousekeepingProblem != problem;
        lastHousekeepingProblem = problem;
        return fresh;
    }

    bool allSent() const { return inflight.empty() && queue.firstPending() >= queue.end(); }

    void loop() {
        // The publisher never takes the CPU from the run's thread when it
        // wakes: a batch thread on Linux (no wake-up preemption), below
        // normal priority on Windows.
#ifdef _WIN32
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#else
        sched_param batch{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
#endif
        backoffMs = o.backoffMinMs;
        nextAttempt = Clock::now();
        for (;;) {
            auto now = Clock::now();
            if (stopping) {
                const bool more = accepted && !allSent() && Clock::now() < finishUntil.load();
                if (!more) break;
            }
            if (!mosq && now >= nextAttempt && !stopping) connect();
            if (mosq && !accepted && now - connectStarted > std::chrono::milliseconds(o.connectTimeoutMs))
                dropConnection(Texts::tr("から %1 秒以内に応答がありません").arg(o.connectTimeoutMs / 1000.0));
            if (mosq && accepted) {
                publishStateAndStats(now);
                if (mosq) publishRecords();
                if (mosq && !inflight.empty() && !inflight.front().acked &&
                    now - inflight.front().sent > std::chrono::milliseconds(o.ackTimeoutMs))
                    dropConnection(Texts::tr("が %1 秒以内に受信を確認しません").arg(o.ackTimeoutMs / 1000.0));
            }
            housekeeping(now, false);

            int timeoutMs = 1000;
            if (!mosq) timeoutMs = int(std::clamp<int64_t>(
                           std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt - now).count() + 1, 0, 1000));
            {
                std::lock_guard lock(m);
                if (accepted && (stateDirty || statsDirty)) timeoutMs = std::min(timeoutMs, 200);
            }
            if (stopping) timeoutMs = std::min(timeoutMs, 50);
            pollfd fds[2] = {{waker.handle(), POLLIN, 0}, {waker.handle(), 0, 0}};
            unsigned n = 1;
            const int sock = mosq ? mosquitto_socket(mosq) : -1;
            if (sock >= 0) {
                fds[1] = {PollSocket(sock), short(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0};
                n = 2;
            }
            const int ready = Poll(fds, n, timeoutMs);
            if (ready > 0 && (fds[0].revents & POLLIN)) {
                // Drained first, then the flag cleared (an exchange, so that
                // what the last wake() announced is seen): a wake() meanwhile
                // either finds the flag still set, and the pass that follows
                // sees its change, or writes to the emptied pipe again.
                waker.drain();
                woken.exchange(false);
            }
            if (!mosq) continue;
            int rc = MOSQ_ERR_SUCCESS, err = 0;
            if (n == 2 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP))) {
                errno = 0;
                rc = mosquitto_loop_read(mosq, 1);
                err = errno;
            }
            if (rc == MOSQ_ERR_SUCCESS && n == 2 && (fds[1].revents & POLLOUT)) {
                errno = 0;
                rc = mosquitto_loop_write(mosq, 1);
                err = errno;
            }
            if (rc == MOSQ_ERR_SUCCESS) mosquitto_loop_misc(mosq);
            if (refusedCode) {
                dropConnection(ConnackText(refusedCode));
            } else if (lost || rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0) {
                QString why = accepted ? Texts::tr("との接続が切れました") : Texts::tr("に接続できません");
                if (rc == MOSQ_ERR_ERRNO && err) why += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
                else if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_LOST) why += QStringLiteral(": ") + QString::fromUtf8(mosquitto_strerror(rc));
                dropConnection(why);
            }
        }
        // The end: the latest state, then "offline", then a clean close.
        if (mosq && accepted) {
            QByteArray state, stats, offline;
            {
                std::lock_guard lock(m);
                if (stateDirty) state = stateJsonLocked(this->state);
                if (statsDirty) stats = statsJsonLocked();
                offline = stateJsonLocked(QStringLiteral("offline"));
            }
            if (!state.isEmpty()) publishRetained(topicState, state);
            if (mosq && !stats.isEmpty()) publishRetained(topicStats, stats);
            int mid = 0;
            if (mosq &&
                mosquitto_publish(mosq, &mid, topicState.constData(), int(offline.size()), offline.constData(), 1, true) ==
                    MOSQ_ERR_SUCCESS) {
                // Until the broker has acknowledged "offline" (and so every
                // acknowledgement before it has been read): a socket closed
                // with unread input is reset, and the broker would then drop
                // what it had not read yet and publish the last will.
                finalMid = mid;
                const auto until = Clock::now() + std::chrono::milliseconds(1000);
                while (!finalAcked && Clock::now() < until) {
                    const int sock = mosquitto_socket(mosq);
                    if (sock < 0) break;
                    pollfd p{PollSocket(sock), short(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0};
                    if (Poll(&p, 1, 50) < 0) break;
                    if ((p.revents & (POLLIN | POLLERR | POLLHUP)) && mosquitto_loop_read(mosq, 1) != MOSQ_ERR_SUCCESS) break;
                    if ((p.revents & POLLOUT) && mosquitto_loop_write(mosq, 1) != MOSQ_ERR_SUCCESS) break;
                }
                if (mosquitto_socket(mosq) >= 0) mosquitto_disconnect(mosq);
                const auto flushUntil = Clock::now() + std::chrono::milliseconds(500);
                while (mosquitto_socket(mosq) >= 0 && mosquitto_want_write(mosq) && Clock::now() < flushUntil) {
                    pollfd p{PollSocket(mosquitto_socket(mosq)), POLLOUT, 0};
                    if (Poll(&p, 1, 50) < 0) break;
                    if (mosquitto_loop_write(mosq, 1) != MOSQ_ERR_SUCCESS) break;
                }
            }
        }
        if (mosq) mosquitto_destroy(mosq);
        mosq = nullptr;
        connected = false;
        housekeeping(Clock::now(), true);
    }
};

MqttSink::MqttSink(MqttOptions options) : d_(std::make_unique<Impl>(std::move(options))) {}

MqttSink::~MqttSink() { finish(0); }

void MqttSink::setReporter(std::function<void(const QString&)> report) { d_->reporter = std::move(report); }

const MqttOptions& MqttSink::options() const { return d_->o; }

QString MqttSink::topic(const char* leaf) const {
    return d_->o.address.prefix + u'/' + d_->o.station + u'/' + QLatin1String(leaf);
}

QString MqttSink::start() {
    if (d_->started) return {};
    const DiskQueue::OpenResult opened = d_->queue.open();
    if (!opened.error.isEmpty()) return Texts::tr("MQTT: 送信待ちの記録を使えません: %1").arg(opened.error);
    static std::once_flag init;
    std::call_once(init, [] { mosquitto_lib_init(); });  // (on Windows also the sockets)
    const QString error = d_->waker.open();
    if (!error.isEmpty()) return QStringLiteral("MQTT: %1").arg(error);
    d_->started = true;
    if (opened.damagedBytes > 0 || opened.ackUnreadable) {
        const QString text =
            opened.ackUnreadable
                ? Texts::tr("MQTT: 送信済みの印 (%1) が読めないため、送信待ちの記録をすべて送り直します")
                      .arg(QDir::toNativeSeparators(QDir(d_->queue.folder()).filePath(QStringLiteral("acked"))))
                : Texts::tr("MQTT: 送信待ちの記録の壊れた %1 バイトを飛ばしました (%2)")
                      .arg(opened.damagedBytes)
                      .arg(QDir::toNativeSeparators(d_->queue.folder()));
        d_->report(text);
        QueueRecord event;
        {
            std::lock_guard lock(d_->m);
            event = d_->eventRecord("queue damaged", text, 0);
        }
        d_->enqueue(std::move(event));
    }
    d_->thread = std::thread([this] { d_->loop(); });
    return {};
}

void MqttSink::finish(int maxMs) {
    if (!d_->thread.joinable()) return;
    // Records the disk refused so far get a last try; what still cannot be
    // written is lost to the broker (the log file has it) and said so.
    std::vector<QString> say;
    {
        std::lock_guard lock(d_->m);
        if (!d_->backlog.empty()) {
            d_->flushBacklogLocked(&say);
            if (!d_->backlog.empty()) {
                say.push_back(Texts::tr("MQTT: 送信待ちファイルに書けなかった %1 件は送られません").arg(d_->backlog.size()));
                d_->givenUp.fetch_add(int64_t(d_->backlog.size()));
                d_->backlog.clear();
            }
        }
    }
    for (const QString& text : say) d_->report(text);
    d_->finishUntil = Clock::now() + std::chrono::milliseconds(std::max(0, maxMs));
    d_->stopping = true;
    d_->wake();
    d_->thread.join();
    d_->started = false;
    d_->waker.close();
}

MqttCounters MqttSink::counters() const {
    MqttCounters c;
    const DiskQueue::Stats q = d_->queue.stats();
    c.connected = d_->connected.load();
    {
        std::lock_guard lock(d_->m);
        c.queued = q.records + int64_t(d_->backlog.size());
    }
    c.queuedBytes = q.bytes;
    c.oldestUnsentSeconds = q.oldestMs > 0 ? std::max<double>(0, double(NowMs() - q.oldestMs) / 1000.0) : 0;
    c.published = d_->published.load();
    c.publishFailures = d_->failures.load();
    c.queueFailures = d_->queueFailures.load();
    c.givenUp = d_->givenUp.load();
    return c;
}

// ---- RunSink ----

void MqttSink::runStarted(const RunStartInfo& info) {
    const LimitArray limits = d_->o.dataFolder.isEmpty() ? LimitArray{} : LoadTrendLimits(d_->o.dataFolder);
    std::lock_guard lock(d_->m);
    d_->runId = NewRunId();
    d_->runIdText = d_->runId.toStdString();
    d_->events = 0;
    d_->trend.clear();
    d_->trend.setAllLimits(limits);
    d_->firstCycle = d_->next = info.firstCycle;
    d_->repeat = info.repeatCount;
    d_->transferOnly = info.transferOnly;
    d_->logged = 0;
    d_->state = QStringLiteral("running");
    d_->outcome.clear();
    d_->endMessage.clear();
    d_->waitBetween = d_->waitTrigger = d_->linkLost = false;
    d_->stateDirty = d_->statsDirty = true;
    d_->wake();
}

void MqttSink::measItemsRead(const MeasItemArray& items) {
    std::lock_guard lock(d_->m);
    d_->items = items;
    d_->trend.setItems(items);
    d_->makeItemsJsonLocked();
    d_->stateDirty = true;
}

FileResult MqttSink::cycleLogged(const CycleRecord& record, const QString&) {
    QueueRecord rec;
    rec.kind = QueueRecord::Kind::Cycle;
    rec.queuedMs = NowMs();
    rec.topic = d_->topicCycle;
    {
        std::lock_guard lock(d_->m);
        d_->trend.add(record);
        d_->lastCycle = record.cycle;
        ++d_->logged;
        rec.runId = d_->runId;
        rec.payload = d_->cycleJson(record);
        d_->statsDirty = true;
    }
    d_->enqueue(std::move(rec));
    // The run goes on whatever became of the record: the queue is not one of
    // the run's files (its trouble is reported apart).
    return {};
}

namespace {
QString StateFor(bool linkLost, bool waitBetween, bool waitTrigger) {
    if (linkLost) return QStringLiteral("reconnecting");
    if (waitBetween || waitTrigger) return QStringLiteral("waiting");
    return QStringLiteral("running");
}
}  // namespace

void MqttSink::statusChanged(const QString& text, StatusKind kind) {
    QueueRecord event;
    {
        std::lock_guard lock(d_->m);
        d_->status = text;
        if (d_->state == QLatin1String("idle") || d_->state == QLatin1String("ended")) {
            d_->stateDirty = true;
            return;
        }
        d_->waitTrigger = kind == StatusKind::TriggerWait;
        if (kind == StatusKind::Reconnecting) d_->linkLost = true;
        const QString s = StateFor(d_->linkLost, d_->waitBetween, d_->waitTrigger);
        const bool changed = s != d_->state;
        d_->state = s;
        d_->stateDirty = true;
        if (kind == StatusKind::FileFailure) event = d_->eventRecord("file failure", text, d_->next);
        else if (!changed) return;
    }
    if (!event.payload.isEmpty()) d_->enqueue(std::move(event));
    else d_->wake();
}

void MqttSink::cycleNumberChanged(int32_t next) {
    std::lock_guard lock(d_->m);
    d_->next = next;
    d_->stateDirty = true;
}

void MqttSink::waitChanged(const RunWait& wait) {
    {
        std::lock_guard lock(d_->m);
        d_->waitBetween = wait.kind != RunWait::Kind::None;
        if (d_->state == QLatin1String("ended") || d_->state == QLatin1String("idle")) return;
        d_->state = StateFor(d_->linkLost, d_->waitBetween, d_->waitTrigger);
        d_->stateDirty = true;
    }
    d_->wake();
}

void MqttSink::linkEvent(const QString& text, bool reconnected, int32_t cycle, const QString&, const QString&) {
    QueueRecord event;
    {
        std::lock_guard lock(d_->m);
        const bool back = reconnected;
        d_->linkLost = !back;
        d_->state = StateFor(d_->linkLost, d_->waitBetween, d_->waitTrigger);
        d_->stateDirty = true;
        event = d_->eventRecord(back ? "reconnected" : "link lost", text, cycle);
    }
    d_->enqueue(std::move(event));
}

void MqttSink::runEnded(const RunEndInfo& end) {
    QueueRecord event;
    {
        std::lock_guard lock(d_->m);
        d_->state = QStringLiteral("ended");
        switch (end.outcome) {
        case RunOutcome::Normal: d_->outcome = QStringLiteral("normal"); break;
        case RunOutcome::ConnectFailed: d_->outcome = QStringLiteral("connection failed"); break;
        case RunOutcome::Error: d_->outcome = QStringLiteral("error"); break;
        case RunOutcome::Aborted: d_->outcome = QStringLiteral("aborted"); break;
        }
        d_->endMessage = end.message;
        d_->stateDirty = d_->statsDirty = d_->statsNow = true;
        if (!end.failedFiles.isEmpty())
            event = d_->eventRecord("files not written",
                                    Texts::tr("書けなかったファイル %1 件").arg(end.failedFiles.size()), 0,
                                    end.failedFiles);
    }
    if (!event.payload.isEmpty()) d_->enqueue(std::move(event));
    else d_->wake();
}

}  // namespace qm
