// The read-only web view over real loopback HTTP, beside runs against the
// simulated instrument: the JSON routes and the event stream against the
// run's records, the token and Host rules, unknown paths, the bounds under
// attack (request heads, connection count, slow clients, a client that never
// reads) with the process's memory watched.
#include "support/HttpReply.h"
#include "support/LoopbackSocket.h"
#include "../run/RunRig.h"
#include "engine/web/WebServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

using namespace qm;

namespace {

bool SendAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Reads until the peer closes, `stop` says enough, or `ms` pass.
std::string ReadUntil(int fd, int ms, const std::function<bool(const std::string&)>& stop = {}) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(std::min<long long>(left, 100))) <= 0) continue;
        char buf[8192];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, size_t(n));
        if (stop && stop(out)) break;
    }
    return out;
}

// A whole answer: headers and the body its Content-Length or chunks say.
bool Complete(const std::string& s) {
    const auto h = s.find("\r\n\r\n");
    if (h == std::string::npos) return false;
    const auto cl = s.find("Content-Length: ");
    if (cl != std::string::npos && cl < h) return s.size() >= h + 4 + std::stoul(s.substr(cl + 16));
    if (s.find("Transfer-Encoding: chunked") < h) return s.size() >= 5 && s.compare(s.size() - 5, 5, "0\r\n\r\n") == 0;
    return false;
}

// One request on its own connection ("Connection: close").
HttpReply Get(quint16 port, const std::string& target, const std::string& extra = {}, const char* method = "GET",
          const std::string& host = {}) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) return {};
    SendAll(fd, std::string(method) + " " + target + " HTTP/1.1\r\nHost: " +
                    (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\nConnection: close\r\n" + extra + "\r\n");
    const HttpReply r = ParseHttpReply(ReadUntil(fd, 5000, Complete));
    ::close(fd);
    return r;
}

QJsonObject Json(const HttpReply& r) { return QJsonDocument::fromJson(r.body).object(); }

// An event-stream client on its own thread: keeps what it received, handed
// over under a lock once it has stopped reading.
struct EventReader {
    std::atomic<bool> quit{false};
    std::thread thread;
    void start(quint16 port, const std::function<bool(const std::string&)>& enough) {
        thread = std::thread([this, port, enough] {
            const int fd = ConnectLoopback(port);
            // As a browser asks: compression must not hold events back.
            SendAll(fd, "GET /api/events HTTP/1.1\r\nHost: localhost\r\nAccept-Encoding: gzip, deflate, br\r\n\r\n");
            std::string got = ReadUntil(fd, 30000, [&](const std::string& s) { return quit || enough(s); });
            ::close(fd);
            std::lock_guard lock(mutex);
            text = std::move(got);
        });
    }
    // What it received (empty while it still reads).
    std::string received() const {
        std::lock_guard lock(mutex);
        return text;
    }
    ~EventReader() {
        quit = true;
        if (thread.joinable()) thread.join();
    }

private:
    mutable std::mutex mutex;
    std::string text;
};

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
}

// The process's resident memory (kB), from /proc/self/status.
long RssKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// How the connections of an attack send their request.
enum class Sending {
    Whole,    // all at once
    Trickle,  // one byte every 100 ms, never ending the head
    Flood,    // the head's start, then "X: y" lines up to 20 MB, until an answer comes
};

// One connection of an attack, driven without a thread of its own.
struct AttackConnection {
    int fd = -1;
    size_t sent = 0;
    std::string got;
    qint64 firstByteMs = -1;
    qint64 endedMs = -1;  // answered in full, or closed by the server
};

}  // namespace

Q_DECLARE_METATYPE(Sending)

class TestWebServer : public QObject {
    Q_OBJECT
private slots:
    void serveAddressOption();
    void apiAndEventsFollowTheRun();
    void waitStates_data();
    void waitStates();
    void largeLogFileStaysOnDisk();
    void tokenAndHost();
    void onlyTheListedRoutes();
    void limitsUnderAttack_data();
    void limitsUnderAttack();
    void fortyConnectionsDuringARun();
    void clientThatNeverReads();
    void endOfRunReachesStreams_data();
    void endOfRunReachesStreams();
    void idleConnectionsAreClosed();
};

void TestWebServer::serveAddressOption() {
    WebServerOptions o;
    QString e;
    QVERIFY(ParseServeAddress(QStringLiteral("8080"), &o, &e));
    QCOMPARE(o.address, QStringLiteral("127.0.0.1"));
    QCOMPARE(o.port, quint16(8080));
    QVERIFY(ParseServeAddress(QStringLiteral("0.0.0.0:81"), &o, &e));
    QCOMPARE(o.address, QStringLiteral("0.0.0.0"));
    QVERIFY(ParseServeAddress(QStringLiteral("[::1]:82"), &o, &e));
    QCOMPARE(o.address, QStringLiteral("::1"));
    QCOMPARE(o.port, quint16(82));
    QVERIFY(!ParseServeAddress(QStringLiteral("x:1"), &o, &e));
    QVERIFY(!ParseServeAddress(QStringLiteral("70000"), &o, &e));
}

void TestWebServer::apiAndEventsFollowTheRun() {
    WebServer web;
    QCOMPARE(web.start({}), QString());
    const quint16 port = web.port();
    QVERIFY(web.url().startsWith(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    QCOMPARE(Get(port, "/screen.png").status, 404);  // no image yet
    QCOMPARE(Get(port, "/api/log.csv").status, 404);  // no log yet
    QCOMPARE(Json(Get(port, "/api/status")).value(QStringLiteral("state")).toString(), QStringLiteral("idle"));

    RunRig r;
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("3");
    r.sim.config().meas[0].fixed = QStringLiteral("1.25E-03");
    r.sim.config().meas[1].fixed = QStringLiteral("9.9E+37");  // no value
    r.live([](LiveValues& v) {
        v.log = true;
        v.screenSave = true;
        v.intervalText = QStringLiteral("1");
    });
    EventReader events;
    events.start(port, [](const std::string& s) { return s.find("\"state\":\"ended\"") != std::string::npos; });
    QTRY_COMPARE(web.subscriberCount(), size_t(1));
    // Polled while the run goes on.
    std::atomic<bool> polling{true};
    QStringList seen;
    QList<QJsonObject> intervalWaits;
    std::thread poller([&] {
        while (polling) {
            const QJsonObject s = Json(Get(port, "/api/status"));
            seen << s.value(QStringLiteral("state")).toString();
            if (s.value(QStringLiteral("waitKind")).toString() == QLatin1String("interval")) intervalWaits << s;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    QCOMPARE(r.run(), RunOutcome::Normal);
    polling = false;
    poller.join();
    QVERIFY(seen.contains(QStringLiteral("running")) || seen.contains(QStringLiteral("waiting")));
    // Between cycles: waiting, with the next cycle's start a second after
    // the start of the cycle before.
    QVERIFY(!intervalWaits.isEmpty());
    for (const QJsonObject& w : intervalWaits) {
        QCOMPARE(w.value(QStringLiteral("state")).toString(), QStringLiteral("waiting"));
        const QDateTime next = QDateTime::fromString(w.value(QStringLiteral("nextStart")).toString(), Qt::ISODateWithMs);
        const QDateTime now = QDateTime::fromString(w.value(QStringLiteral("now")).toString(), Qt::ISODateWithMs);
        QVERIFY(next.isValid() && now.isValid());
        QVERIFY2(now.msecsTo(next) >= -500 && now.msecsTo(next) <= 1000, qPrintable(QString::number(now.msecsTo(next))));
        const int nextCycle = w.value(QStringLiteral("next")).toInt();
        QVERIFY(nextCycle == 2 || nextCycle == 3);
        const QDateTime previous = r.records()[nextCycle - 2].time;  // read a little after its cycle started
        QVERIFY2(previous.msecsTo(next) > 0 && previous.msecsTo(next) <= 1000, qPrintable(QString::number(previous.msecsTo(next))));
    }

    QCOMPARE(r.records().size(), 3);
    const QJsonObject status = Json(Get(port, "/api/status"));
    QCOMPARE(status.value(QStringLiteral("state")).toString(), QStringLiteral("ended"));
    QVERIFY(status.value(QStringLiteral("waitKind")).isNull());
    QVERIFY(status.value(QStringLiteral("nextStart")).isNull());
    QCOMPARE(status.value(QStringLiteral("count")).toInt(), 3);
    QCOMPARE(status.value(QStringLiteral("repeat")).toInt(), 3);
    QCOMPARE(status.value(QStringLiteral("cycle")).toInt(), 3);
    QCOMPARE(status.value(QStringLiteral("screenCycle")).toInt(), 3);
    QVERIFY(!status.value(QStringLiteral("screenTimeText")).toString().isEmpty());
    QCOMPARE(status.value(QStringLiteral("folder")).toString(), r.dir.path());
    QCOMPARE(status.value(QStringLiteral("header")).toString(), QStringLiteral("Sample"));
    QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("動作完了しました"));
    QCOMPARE(status.value(QStringLiteral("items")).toArray()[0].toObject().value(QStringLiteral("unit")).toString(), QStringLiteral("V"));

    const HttpReply logReply = Get(port, "/api/log?since=1");
    QVERIFY(logReply.head.contains("application/json; charset=utf-8"));
    const QJsonArray rows = Json(logReply).value(QStringLiteral("cycles")).toArray();
    QCOMPARE(rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject row = rows[i].toObject();
        const CycleRecord rec = r.records()[i + 1];
        QCOMPARE(row.value(QStringLiteral("cycle")).toInt(), rec.cycle);
        QCOMPARE(row.value(QStringLiteral("timeText")).toString(), rec.timeText);
        QCOMPARE(row.value(QStringLiteral("values")).toArray()[0].toDouble(), rec.values[0]);
        QVERIFY(row.value(QStringLiteral("values")).toArray()[1].isNull());
        for (int k = 0; k < 4; ++k)
            QCOMPARE(row.value(QStringLiteral("cells")).toArray()[k].toString(), rec.cells[size_t(k)]);
    }
    const QJsonArray stats = Json(Get(port, "/api/stats")).value(QStringLiteral("slots")).toArray();
    QCOMPARE(stats[0].toObject().value(QStringLiteral("count")).toInt(), 3);
    QCOMPARE(stats[0].toObject().value(QStringLiteral("mean")).toDouble(), 1.25e-3);
    QCOMPARE(stats[0].toObject().value(QStringLiteral("texts")).toObject().value(QStringLiteral("mean")).toString(), QStringLiteral("1.25e-3"));
    QCOMPARE(stats[0].toObject().value(QStringLiteral("texts")).toObject().value(QStringLiteral("sd")).toString(), QStringLiteral("0e-9"));
    QCOMPARE(stats[1].toObject().value(QStringLiteral("count")).toInt(), 0);
    QCOMPARE(stats[1].toObject().value(QStringLiteral("noValue")).toInt(), 3);
    QVERIFY(stats[1].toObject().value(QStringLiteral("texts")).toObject().value(QStringLiteral("mean")).isNull());

    // The log file as the run wrote it, byte for byte.
    QFile logFile(r.file(QStringLiteral("Sample_AM_LOG.csv")));
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QByteArray logBytes = logFile.readAll();
    const HttpReply csv = Get(port, "/api/log.csv");
    QCOMPARE(csv.status, 200);
    QCOMPARE(csv.body, logBytes);
    QVERIFY(csv.head.contains("Content-Type: text/csv; charset=Shift_JIS"));
    QVERIFY(csv.head.contains("Content-Disposition: attachment; filename=\"Sample_AM_LOG.csv\""));
    const HttpReply csvHead = Get(port, "/api/log.csv", {}, "HEAD");
    QCOMPARE(csvHead.status, 200);
    QVERIFY(csvHead.head.contains("Content-Length: " + QByteArray::number(logBytes.size())));
    QVERIFY(csvHead.body.isEmpty());

    const HttpReply png = Get(port, "/screen.png");
    QCOMPARE(png.status, 200);
    QVERIFY(png.body.startsWith("\x89PNG"));

    // One event per logged cycle, numbered by the cycle, and the end.
    QTRY_VERIFY_WITH_TIMEOUT(events.received().find("\"state\":\"ended\"") != std::string::npos, 10000);
    const std::string text = events.received();
    QCOMPARE(Count(text, "event: cycle\n"), 3);
    for (int c = 1; c <= 3; ++c) QVERIFY(text.find("id: " + std::to_string(c) + "\nevent: cycle") != std::string::npos);
    // The status as it was at the start, then the latest state as it changed.
    QVERIFY(Count(text, "event: status\n") >= 2);
    QVERIFY(text.find("\"waitKind\":\"interval\"") != std::string::npos);
    QVERIFY(text.find("event: screen\ndata: {\"cycle\":3,\"time\":") != std::string::npos);

    // The page and the chart library, served by the program itself.
    const HttpReply page = Get(port, "/");
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("EventSource"));
    QVERIFY(page.body.contains("サイクル"));
    QVERIFY(!page.body.contains("__QS__"));
    QCOMPARE(Get(port, "/uPlot.iife.min.js").status, 200);
    QCOMPARE(Get(port, "/uPlot.min.css").status, 200);
}

void TestWebServer::waitStates_data() {
    // Steps: "status:TEXT", "trigger:TEXT" (the trigger wait), "cycle" (the next cycle's number), "interval",
    // "question", "none" (the wait between cycles is over), "end".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("waitKind");  // empty: null

    // The state follows what the run says a text stands for, in any language.
    const QString trigger = QStringLiteral("trigger:Waiting for the trigger");
    QTest::newRow("the trigger wait") << QStringList{trigger} << "waiting" << "trigger";
    QTest::newRow("the trigger came") << QStringList{trigger, QStringLiteral("status:DS画面を格納しています")} << "running" << "";
    QTest::newRow("a cycle logged during the trigger wait") << QStringList{trigger, QStringLiteral("cycle")} << "running" << "";
    QTest::newRow("the interval") << QStringList{QStringLiteral("cycle"), QStringLiteral("interval")} << "waiting" << "interval";
    QTest::newRow("a status text does not end the interval")
        << QStringList{QStringLiteral("interval"), QStringLiteral("status:測定値がありません: B (サイクル 1)")} << "waiting" << "interval";
    QTest::newRow("the interval is over") << QStringList{QStringLiteral("interval"), QStringLiteral("none")} << "running" << "";
    QTest::newRow("the next trigger wait") << QStringList{QStringLiteral("interval"), QStringLiteral("none"), trigger} << "waiting" << "trigger";
    QTest::newRow("the question") << QStringList{QStringLiteral("question")} << "waiting" << "question";
    QTest::newRow("the question answered") << QStringList{QStringLiteral("question"), QStringLiteral("none")} << "running" << "";
    QTest::newRow("stopped during the interval") << QStringList{QStringLiteral("interval"), QStringLiteral("end")} << "stopped" << "";
    QTest::newRow("no wait once the run is over") << QStringList{QStringLiteral("end"), QStringLiteral("interval"), trigger} << "stopped" << "";
}

void TestWebServer::waitStates() {
    QFETCH(QStringList, steps);
    QFETCH(QString, state);
    QFETCH(QString, waitKind);
    WebFeed feed;
    RunStartInfo info;
    info.repeatCount = 10;
    feed.runStarted(info);
    const QDateTime nextStart = QDateTime::currentDateTime().addSecs(8);
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1String("status:"))) feed.statusChanged(step.mid(7), StatusKind::Plain);
        else if (step.startsWith(QLatin1String("trigger:"))) feed.statusChanged(step.mid(8), StatusKind::TriggerWait);
        else if (step == QLatin1String("cycle")) feed.cycleNumberChanged(2);
        else if (step == QLatin1String("interval")) feed.waitChanged({RunWait::Kind::Interval, 2, nextStart});
        else if (step == QLatin1String("question")) feed.waitChanged({RunWait::Kind::Question, 2, {}});
        else if (step == QLatin1String("none")) feed.waitChanged({});
        else if (step == QLatin1String("end")) feed.runEnded({});
    }
    const QJsonObject s = QJsonDocument::fromJson(feed.statusJson()).object();
    QCOMPARE(s.value(QStringLiteral("state")).toString(), state);
    QCOMPARE(s.value(QStringLiteral("waitKind")).toString(), waitKind);
    QCOMPARE(s.value(QStringLiteral("waitKind")).isNull(), waitKind.isEmpty());
    // Only the interval has a time for the next start.
    QCOMPARE(s.value(QStringLiteral("nextStart")).toString(),
             waitKind == QLatin1String("interval") ? nextStart.toString(Qt::ISODateWithMs) : QString());
}

void TestWebServer::largeLogFileStaysOnDisk() {
    // A log of 48 MB, asked for by 8 clients that read nothing: the server
    // holds a piece of it per connection, never the file.
    QTemporaryDir dir;
    LiveSettings live;
    live.update([&](LiveValues& v) {
        v.folder = dir.path();
        v.header = QStringLiteral("Big");
    });
    QByteArray line = "12345,2026/12/07 9:00:11,1.25e-3,2.5,49.7,1.2e-3";
    line += QByteArray(200 - line.size() - 2, ' ') + "\r\n";
    {
        QFile f(dir.filePath(QStringLiteral("Big_AM_LOG.csv")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray block;
        for (int i = 0; i < 5000; ++i) block += line;  // 1 MB
        for (int i = 0; i < 48; ++i) QCOMPARE(f.write(block), qint64(block.size()));
    }
    WebServer web;
    QCOMPARE(web.start({}), QString());
    web.watch(&live);
    web.runStarted(RunStartInfo{});
    QCOMPARE(Get(web.port(), "/api/log").status, 200);
    const long idleKb = RssKb();
    std::vector<int> stalled;
    for (int i = 0; i < 8; ++i) {
        const int fd = ConnectLoopback(web.port(), 4096);
        QVERIFY(fd >= 0);
        SendAll(fd, "GET /api/log.csv HTTP/1.1\r\nHost: localhost\r\n\r\n");
        stalled.push_back(fd);
    }
    long peakKb = idleKb;
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        peakKb = std::max(peakKb, RssKb());
    }
    QVERIFY2(peakKb - idleKb < 8 * 1024, qPrintable(QStringLiteral("%1 kB more than idle").arg(peakKb - idleKb)));
    // Meanwhile another client gets all of it.
    const int fd = ConnectLoopback(web.port());
    SendAll(fd, "GET /api/log.csv HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n");
    const HttpReply whole = ParseHttpReply(ReadUntil(fd, 20000));
    ::close(fd);
    for (int s : stalled) ::close(s);
    QCOMPARE(whole.status, 200);
    QCOMPARE(whole.body.size(), qsizetype(48 * 5000 * line.size()));
    QVERIFY(whole.body.startsWith(line) && whole.body.endsWith(line));
    QCOMPARE(whole.body.count(line), qsizetype(48 * 5000));
}

void TestWebServer::tokenAndHost() {
    WebServer web;
    WebServerOptions o;
    o.token = QStringLiteral("s3cret");
    QCOMPARE(web.start(o), QString());
    const quint16 port = web.port();
    QVERIFY(web.url().endsWith(QStringLiteral("?token=s3cret")));
    QCOMPARE(Get(port, "/api/status").status, 401);
    QCOMPARE(Get(port, "/api/log.csv").status, 401);
    QCOMPARE(Get(port, "/api/log.csv?token=s3cret").status, 404);  // no log yet
    QCOMPARE(Get(port, "/api/status?token=wrong").status, 401);
    QCOMPARE(Get(port, "/api/status?token=s3cret").status, 200);
    QCOMPARE(Get(port, "/api/status", "Authorization: Bearer s3cret\r\n").status, 200);
    QCOMPARE(Get(port, "/api/status", "Authorization: Bearer s3cre\r\n").status, 401);
    // The page carries the token into its own requests.
    QVERIFY(Get(port, "/?token=s3cret").body.contains("\"?token=s3cret\""));
    // DNS rebinding: a Host naming another server is refused.
    QCOMPARE(Get(port, "/api/status?token=s3cret", {}, "GET", "attacker.example:" + std::to_string(port)).status, 421);
    QCOMPARE(Get(port, "/api/log.csv?token=s3cret", {}, "GET", "attacker.example:" + std::to_string(port)).status, 421);
    QCOMPARE(Get(port, "/api/status?token=s3cret", {}, "GET", "localhost:" + std::to_string(port)).status, 200);
    web.stop();

    // A token made of the page's own placeholders is carried as it is.
    WebServer odd;
    o.token = QStringLiteral("__QS____INITIAL__");
    QCOMPARE(odd.start(o), QString());
    const HttpReply page = Get(odd.port(), "/?token=__QS____INITIAL__");
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("const QS = \"?token=__QS____INITIAL__\";"));
    QVERIFY(page.body.contains("const INITIAL = {\"status\":"));
    odd.stop();

    // Not loopback: a token is made when none is given.
    WebServer open;
    WebServerOptions all;
    all.address = QStringLiteral("0.0.0.0");
    QCOMPARE(open.start(all), QString());
    QVERIFY(open.token().size() >= 16);
    QCOMPARE(Get(open.port(), "/api/status").status, 401);
    QCOMPARE(Get(open.port(), "/").status, 401);
    QCOMPARE(Get(open.port(), "/api/status?token=" + open.token().toStdString()).status, 200);
}

void TestWebServer::onlyTheListedRoutes() {
    WebServer web;
    QCOMPARE(web.start({}), QString());
    const quint16 port = web.port();
    for (const char* path : {"/nope", "/api", "/api/", "/api/status/x", "/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd",
                             "/api/../../etc/passwd", "/screen.png/../../etc/passwd", "/index.html", "/screenXpng"})
        QCOMPARE(Get(port, path).status, 404);
    QCOMPARE(Get(port, "/api/status", {}, "POST").status, 405);
    QCOMPARE(Get(port, "/api/log", {}, "DELETE").status, 405);
    QCOMPARE(Get(port, "/api/log?since=x").status, 400);
    QCOMPARE(Get(port, "/api/status", {}, "HEAD").status, 200);
    QCOMPARE(Get(port, "/api/events", {}, "HEAD").status, 200);
    QTRY_COMPARE(web.subscriberCount(), size_t(0));
}

void TestWebServer::limitsUnderAttack_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("connections");
    QTest::addColumn<Sending>("sending");
    QTest::addColumn<QList<int>>("answers");  // the statuses allowed; 0: closed without one

    const std::string auth = "Authorization: Bearer s3cret\r\n";
    const auto req = [](const std::string& line, const std::string& fields) { return QByteArray::fromStdString(line + "\r\n" + fields + "\r\n"); };
    const std::string get = "GET /api/status HTTP/1.1";
    const std::string host = "Host: localhost\r\n";
    const std::string close = "Connection: close\r\n";
    std::string ranges = "Range: bytes=0-";
    for (int i = 1; i < 1000; ++i) ranges += ",0-";
    const auto lines = [](int n) {
        std::string f;
        for (int i = 0; i < n; ++i) f += "X-" + std::to_string(i) + ": y\r\n";
        return f;
    };
    std::string big;
    for (int i = 0; i < 20; ++i) big += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";

    QTest::newRow("1000 ranges: the whole body, not parts")
        << req("GET /api/log HTTP/1.1", host + auth + ranges + "\r\n" + close) << 1 << Sending::Whole << QList<int>{200};
    QTest::newRow("lower-case bearer") << req(get, host + "Authorization: bearer s3cret\r\n" + close) << 1 << Sending::Whole << QList<int>{200};
    QTest::newRow("no token") << req(get, host + close) << 1 << Sending::Whole << QList<int>{401};
    QTest::newRow("two Host headers") << req(get, host + "Host: attacker.example\r\n" + auth + close) << 1 << Sending::Whole << QList<int>{400};
    QTest::newRow("HTTP/1.1 without Host") << req(get, auth + close) << 1 << Sending::Whole << QList<int>{400};
    QTest::newRow("HTTP/1.0 without Host") << req("GET /api/status HTTP/1.0", auth) << 1 << Sending::Whole << QList<int>{200};
    QTest::newRow("unknown Host") << req(get, "Host: attacker.example\r\n" + auth + close) << 1 << Sending::Whole << QList<int>{421};
    QTest::newRow("unknown path") << req("GET /nope HTTP/1.1", host + auth + close) << 1 << Sending::Whole << QList<int>{404};
    QTest::newRow("PUT") << req("PUT /api/status HTTP/1.1", host + auth + close) << 1 << Sending::Whole << QList<int>{405};
    QTest::newRow("a request body")
        << req("POST /api/status HTTP/1.1", host + auth + "Content-Length: 5\r\n" + close).append("hello") << 1 << Sending::Whole << QList<int>{413};
    QTest::newRow("chunked request body")
        << req(get, host + auth + "Transfer-Encoding: chunked\r\n" + close).append("5\r\nhello\r\n0\r\n\r\n") << 1 << Sending::Whole << QList<int>{413};
    QTest::newRow("not HTTP") << QByteArray("GARBAGE\r\n\r\n") << 1 << Sending::Whole << QList<int>{400};
    QTest::newRow("100 header lines") << req(get, host + auth + close + lines(97)) << 1 << Sending::Whole << QList<int>{200};
    QTest::newRow("101 header lines") << req(get, host + auth + close + lines(98)) << 1 << Sending::Whole << QList<int>{431};
    QTest::newRow("head over 16 KB") << req(get, host + auth + close + big) << 1 << Sending::Whole << QList<int>{431};
    QTest::newRow("request target over 8 KB")
        << req("GET /api/status?x=" + std::string(9000, 'a') + " HTTP/1.1", host + auth + close) << 1 << Sending::Whole << QList<int>{414};
    QTest::newRow("request line over 16 KB")
        << req("GET /" + std::string(20000, 'a') + " HTTP/1.1", host + auth + close) << 1 << Sending::Whole << QList<int>{414};
    QTest::newRow("20 MB of header lines on 32 connections")
        << QByteArray::fromStdString(get + "\r\n" + host) << WebServer::MaxConnections << Sending::Flood << QList<int>{431};
    // Two more than the limit: the newest take the places of the oldest
    // (503), and the others are closed when their head time is up.
    QTest::newRow("34 connections trickling a head")
        << QByteArray::fromStdString(get + "\r\n" + host + "X-Slow: ") << WebServer::MaxConnections + 2 << Sending::Trickle << QList<int>{0, 503};
}

void TestWebServer::limitsUnderAttack() {
    QFETCH(QByteArray, request);
    QFETCH(int, connections);
    QFETCH(Sending, sending);
    QFETCH(QList<int>, answers);
    constexpr int headMs = 1000;  // 10 s in the program
    WebServer web;
    WebServerOptions o;
    o.token = QStringLiteral("s3cret");
    o.headMs = headMs;
    o.idleSeconds = 3;
    QCOMPARE(web.start(o), QString());
    const quint16 port = web.port();
    const std::string normal = "Authorization: Bearer s3cret\r\n";
    QCOMPARE(Get(port, "/api/log", normal).status, 200);
    const long idleKb = RssKb();
    QVERIFY(idleKb > 0);

    const std::string head = request.toStdString();
    const std::string filler = [] {
        std::string f;
        while (f.size() < 64 * 1024) f += "X: y\r\n";
        return f;
    }();
    constexpr size_t floodBytes = 20u << 20;
    std::vector<AttackConnection> conns(static_cast<size_t>(connections));
    for (auto& c : conns) {
        c.fd = ConnectLoopback(port);
        QVERIFY(c.fd >= 0);
        ::fcntl(c.fd, F_SETFL, ::fcntl(c.fd, F_GETFL) | O_NONBLOCK);
    }
    QElapsedTimer clock;
    clock.start();
    long peakKb = idleKb;
    int normalStatus = -1;
    qint64 nextTrickle = 0;
    for (;;) {
        const qint64 now = clock.elapsed();
        bool allEnded = true;
        std::vector<pollfd> polls;
        for (auto& c : conns) {
            if (c.endedMs >= 0) continue;
            allEnded = false;
            polls.push_back(pollfd{c.fd, POLLIN, 0});
            // Send what this kind of client sends now.
            if (sending == Sending::Whole && c.sent < head.size()) {
                const ssize_t n = ::send(c.fd, head.data() + c.sent, head.size() - c.sent, MSG_NOSIGNAL);
                if (n > 0) c.sent += size_t(n);
            } else if (sending == Sending::Trickle && now >= nextTrickle) {
                const char byte = c.sent < head.size() ? head[c.sent] : 'a';
                if (::send(c.fd, &byte, 1, MSG_NOSIGNAL) == 1) ++c.sent;
            } else if (sending == Sending::Flood && c.got.empty() && c.sent < floodBytes) {
                const std::string& part = c.sent < head.size() ? head : filler;
                const size_t from = c.sent < head.size() ? c.sent : (c.sent - head.size()) % filler.size();
                const ssize_t n = ::send(c.fd, part.data() + from, part.size() - from, MSG_NOSIGNAL);
                if (n > 0) c.sent += size_t(n);
            }
            if (c.sent > 0 && c.firstByteMs < 0) c.firstByteMs = now;
        }
        if (sending == Sending::Trickle && now >= nextTrickle) nextTrickle = now + 100;
        peakKb = std::max(peakKb, RssKb());
        // Another client is served while the attack goes on (or once it has
        // been answered).
        if (normalStatus < 0 && (allEnded || now >= 300)) {
            normalStatus = Get(port, "/api/status", normal).status;
            continue;
        }
        if (allEnded || now > 15000) break;
        ::poll(polls.data(), nfds_t(polls.size()), 10);
        for (const pollfd& p : polls) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            auto& c = *std::find_if(conns.begin(), conns.end(), [&](const AttackConnection& x) { return x.fd == p.fd; });
            char buf[16384];
            const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
            if (n > 0 && c.got.size() < 65536) c.got.append(buf, size_t(n));
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) || Complete(c.got)) c.endedMs = clock.elapsed();
        }
    }
    for (auto& c : conns) ::close(c.fd);

    QCOMPARE(normalStatus, 200);
    QVERIFY2(peakKb - idleKb < 20 * 1024, qPrintable(QStringLiteral("%1 kB more than idle").arg(peakKb - idleKb)));
    for (const auto& c : conns) {
        QVERIFY2(c.endedMs >= 0, "a connection was still open at the end");
        const HttpReply r = ParseHttpReply(c.got);
        QVERIFY2(answers.contains(r.status), qPrintable(QString::number(r.status)));
        if (r.status == 0) {
            // Closed when its head time was up.
            QVERIFY2(c.endedMs - c.firstByteMs < headMs + 2000, qPrintable(QString::number(c.endedMs - c.firstByteMs)));
            continue;
        }
        for (const char* h : {"Cache-Control: no-store", "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer"})
            QVERIFY2(r.head.contains(h), r.head.constData());
        QVERIFY(!c.got.empty() && c.got.find("multipart") == std::string::npos);
        if (r.status == 200) QVERIFY(!QJsonDocument::fromJson(r.body).isNull());
        if (r.status == 401) QVERIFY(r.head.contains("WWW-Authenticate: Bearer"));
        if (r.status == 405) QVERIFY(r.head.contains("Allow: GET, HEAD"));
    }
    QTRY_COMPARE(web.openConnections(), 0);
}

void TestWebServer::fortyConnectionsDuringARun() {
    WebServer web;
    QCOMPARE(web.start({}), QString());
    const quint16 port = web.port();
    RunRig r;
    r.session.addSink(&web);
    r.request.repeatText = QStringLiteral("5");
    r.live([](LiveValues& v) {
        v.log = true;
        v.intervalText = QStringLiteral("0.1");
    });

    std::vector<int> statuses(40, 0);
    std::thread clients([&] {
        std::vector<int> fds;
        for (int i = 0; i < 40; ++i) fds.push_back(ConnectLoopback(port));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int fd : fds) SendAll(fd, "GET /api/status HTTP/1.1\r\nHost: localhost\r\n\r\n");
        for (size_t i = 0; i < fds.size(); ++i) {
            statuses[i] = ParseHttpReply(ReadUntil(fds[i], 5000, Complete)).status;
        }
        for (int fd : fds) ::close(fd);
    });
    QTRY_COMPARE(web.openConnections(), WebServer::MaxConnections);  // all there before the run
    QCOMPARE(r.run(), RunOutcome::Normal);
    clients.join();
    QCOMPARE(r.records().size(), 5);
    QCOMPARE(int(std::count(statuses.begin(), statuses.end(), 200)), WebServer::MaxConnections);
    QCOMPARE(int(std::count(statuses.begin(), statuses.end(), 503)), 40 - WebServer::MaxConnections);
    QCOMPARE(web.refusedConnections(), uint64_t(8));
    // Once they are gone, the server serves again.
    QTRY_COMPARE(web.openConnections(), 0);
    QCOMPARE(Get(port, "/api/status").status, 200);
}

void TestWebServer::clientThatNeverReads() {
    // The feed alone: a subscriber that takes nothing is dropped at its limit.
    {
        WebFeed feed;
        auto sub = feed.subscribe();
        RunStartInfo info;
        info.repeatCount = 0;
        feed.runStarted(info);
        std::array<double, 4> v{1, 2, 3, 4};
        bool closed = true;
        QVERIFY(feed.take(*sub, &closed).find("event: status") != std::string::npos);
        QVERIFY(!closed);
        for (int c = 1; c <= int(WebFeed::MaxEvents) + 10; ++c)
            feed.cycleLogged(MakeCycleRecord(c, v, QDateTime::currentDateTime()), {});
        QVERIFY(feed.take(*sub, &closed).empty());
        QVERIFY(closed);
        QVERIFY(sub->dropped());
        QCOMPARE(feed.droppedCount(), uint64_t(1));
        // One that keeps up gets every event, in order.
        auto keeping = feed.subscribe();
        feed.take(*keeping, &closed);
        for (int c = 1000; c < 1010; ++c) feed.cycleLogged(MakeCycleRecord(c, v, QDateTime::currentDateTime()), {});
        const std::string ten = feed.take(*keeping, &closed);
        QVERIFY(!closed);
        QCOMPARE(Count(ten, "event: cycle\n"), 10);
        QVERIFY(ten.find("id: 1000\n") < ten.find("id: 1009\n"));
    }
    // Over HTTP: a client with a tiny receive buffer that never reads does
    // not hold up the run.
    WebServer web;
    QCOMPARE(web.start({}), QString());
    const int fd = ConnectLoopback(web.port(), 1024);
    QVERIFY(fd >= 0);
    SendAll(fd, "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QTRY_COMPARE(web.subscriberCount(), size_t(1));
    RunRig r;
    r.session.addSink(&web);
    r.request.repeatText = QStringLiteral("40");
    r.live([](LiveValues& v) { v.log = true; });
    QElapsedTimer t;
    t.start();
    QCOMPARE(r.run(), RunOutcome::Normal);
    QCOMPARE(r.records().size(), 40);
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
    ::close(fd);
}

void TestWebServer::endOfRunReachesStreams_data() {
    QTest::addColumn<int>("readAfterMs");  // -1: never reads
    QTest::newRow("a reader behind at the end") << 300;
    QTest::newRow("a reader that never reads") << -1;
}

void TestWebServer::endOfRunReachesStreams() {
    QFETCH(int, readAfterMs);
    constexpr int cycles = 4000;  // with the long texts below, far more than the sockets hold
    WebServer web;
    QCOMPARE(web.start({}), QString());
    const int fd = ConnectLoopback(web.port(), 1024);
    QVERIFY(fd >= 0);
    SendAll(fd, "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QTRY_COMPARE(web.subscriberCount(), size_t(1));
    RunStartInfo info;
    info.repeatCount = cycles;
    web.runStarted(info);
    const std::array<double, 4> v{1.25e-3, 3.0, 49.7, 1.2e-3};
    const QString longText(1500, QLatin1Char('t'));
    for (int c = 1; c <= cycles; ++c) {
        CycleRecord r = MakeCycleRecord(c, v, QDateTime::currentDateTime());
        r.timeText = longText;
        web.cycleLogged(r, {});
        web.cycleNumberChanged(c + 1);
    }
    web.runEnded(RunEndInfo{});

    // The program's end: the streams get their chance, then the server stops.
    std::string text;
    std::thread reader([&] {
        if (readAfterMs < 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(readAfterMs));
        text = ReadUntil(fd, 20000);
    });
    QElapsedTimer t;
    t.start();
    // The program gives the streams 2 s; a reader that never reads waits out
    // a shorter bound here.
    const int boundMs = readAfterMs < 0 ? 500 : 2000;
    const bool finished = web.finishStreams(boundMs);
    const qint64 finishMs = t.elapsed();
    web.stop();
    const qint64 stopMs = t.elapsed() - finishMs;
    reader.join();
    ::close(fd);
    QVERIFY2(stopMs < 1500, qPrintable(QString::number(stopMs)));
    if (readAfterMs < 0) {
        QVERIFY(!finished);
        // Bounded: its end comes with the bound, give or take a slow (sanitized) build.
        QVERIFY2(finishMs >= boundMs - 100 && finishMs < boundMs + 3000, qPrintable(QString::number(finishMs)));
        return;
    }
    QVERIFY(finished);
    QCOMPARE(Count(text, "event: cycle\n"), cycles);
    for (int c = 1; c <= cycles; c += 333) QVERIFY(text.find("id: " + std::to_string(c) + "\nevent: cycle") != std::string::npos);
    // The last cycle carries the statistics after it; then the end.
    const size_t last = text.find("id: " + std::to_string(cycles) + "\n");
    QVERIFY(text.find("\"stats\":[{\"slot\":\"A\"", last) < text.find("\n\n", last));
    const size_t end = text.rfind("\"state\":\"ended\"");
    QVERIFY(end != std::string::npos && end > last);
}

void TestWebServer::idleConnectionsAreClosed() {
    WebServer web;
    WebServerOptions o;
    o.idleSeconds = 1;  // 60 in the program
    o.headMs = 1000;    // 10 s in the program
    QCOMPARE(web.start(o), QString());
    QElapsedTimer t;
    t.start();
    // Nothing sent, half a request, and a finished request kept alive.
    const int silent = ConnectLoopback(web.port());
    const int half = ConnectLoopback(web.port());
    SendAll(half, "GET /api/status HTTP/1.1\r\nHost: local");
    const int kept = ConnectLoopback(web.port());
    SendAll(kept, "GET /api/status HTTP/1.1\r\nHost: localhost\r\n\r\n");
    QTRY_COMPARE(web.openConnections(), 3);
    for (int fd : {silent, half, kept}) {
        const std::string got = ReadUntil(fd, 10000);  // to the server's close
        if (fd == kept) QVERIFY(got.rfind("HTTP/1.1 200", 0) == 0);
        ::close(fd);
    }
    QVERIFY2(t.elapsed() < 6000, qPrintable(QString::number(t.elapsed())));
    QTRY_COMPARE(web.openConnections(), 0);
}

QTEST_GUILESS_MAIN(TestWebServer)
#include "tst_webserver.moc"
