// The read-only web view over real loopback HTTP, beside runs against the
// simulated instrument: the JSON routes and the event stream against the
// run's records, the token and Host rules, unknown paths, the bounds
// (header size, connection count, a client that never reads).
#include "support/LoopbackSocket.h"
#include "../run/RunRig.h"
#include "engine/web/WebServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

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

struct HttpReply {
    int status = 0;
    QByteArray head, body;
};

HttpReply Parse(const std::string& raw) {
    HttpReply r;
    const auto split = raw.find("\r\n\r\n");
    r.head = QByteArray::fromStdString(raw.substr(0, split));
    if (split != std::string::npos) r.body = QByteArray::fromStdString(raw.substr(split + 4));
    const QList<QByteArray> first = r.head.left(r.head.indexOf('\r')).split(' ');
    if (first.size() >= 2) r.status = first[1].toInt();
    return r;
}

// One request on its own connection ("Connection: close").
HttpReply Get(quint16 port, const std::string& target, const std::string& extra = {}, const char* method = "GET",
          const std::string& host = {}) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) return {};
    SendAll(fd, std::string(method) + " " + target + " HTTP/1.1\r\nHost: " +
                    (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\nConnection: close\r\n" + extra + "\r\n");
    const HttpReply r = Parse(ReadUntil(fd, 5000, Complete));
    ::close(fd);
    return r;
}

QJsonObject Json(const HttpReply& r) { return QJsonDocument::fromJson(r.body).object(); }

// An event-stream client on its own thread: keeps what it received.
struct EventReader {
    std::atomic<bool> quit{false};
    std::string text;
    std::thread thread;
    void start(quint16 port, const std::function<bool(const std::string&)>& enough) {
        thread = std::thread([this, port, enough] {
            const int fd = ConnectLoopback(port);
            // As a browser asks: compression must not hold events back.
            SendAll(fd, "GET /api/events HTTP/1.1\r\nHost: localhost\r\nAccept-Encoding: gzip, deflate, br\r\n\r\n");
            text = ReadUntil(fd, 30000, [&](const std::string& s) { return quit || enough(s); });
            ::close(fd);
        });
    }
    ~EventReader() {
        quit = true;
        if (thread.joinable()) thread.join();
    }
};

int Count(const std::string& s, const std::string& what) {
    int n = 0;
    for (size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
}

}  // namespace

class TestWebServer : public QObject {
    Q_OBJECT
private slots:
    void serveAddressOption();
    void apiAndEventsFollowTheRun();
    void tokenAndHost();
    void onlyTheListedRoutes();
    void oversizedHeaderIsRefused();
    void fortyConnectionsDuringARun();
    void clientThatNeverReads();
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
    QCOMPARE(Json(Get(port, "/api/status")).value(QStringLiteral("state")).toString(), QStringLiteral("idle"));

    RunRig r;
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("5");
    r.sim.config().meas[0].fixed = QStringLiteral("1.25E-03");
    r.sim.config().meas[1].fixed = QStringLiteral("9.9E+37");  // no value
    r.live([](LiveValues& v) {
        v.log = true;
        v.screenSave = true;
    });
    EventReader events;
    events.start(port, [](const std::string& s) { return s.find("\"state\":\"ended\"") != std::string::npos; });
    QTRY_COMPARE(web.subscriberCount(), size_t(1));
    // Polled while the run goes on.
    std::atomic<bool> polling{true};
    QStringList seen;
    std::thread poller([&] {
        while (polling) {
            const QJsonObject s = Json(Get(port, "/api/status"));
            seen << s.value(QStringLiteral("state")).toString();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    QCOMPARE(r.run(), RunOutcome::Normal);
    polling = false;
    poller.join();
    QVERIFY(seen.contains(QStringLiteral("running")) || seen.contains(QStringLiteral("waiting")));

    QCOMPARE(r.records.size(), 5);
    const QJsonObject status = Json(Get(port, "/api/status"));
    QCOMPARE(status.value(QStringLiteral("state")).toString(), QStringLiteral("ended"));
    QCOMPARE(status.value(QStringLiteral("count")).toInt(), 5);
    QCOMPARE(status.value(QStringLiteral("repeat")).toInt(), 5);
    QCOMPARE(status.value(QStringLiteral("cycle")).toInt(), 5);
    QCOMPARE(status.value(QStringLiteral("folder")).toString(), r.dir.path());
    QCOMPARE(status.value(QStringLiteral("header")).toString(), QStringLiteral("Sample"));
    QCOMPARE(status.value(QStringLiteral("status")).toString(), QStringLiteral("動作完了しました"));
    QCOMPARE(status.value(QStringLiteral("items")).toArray()[0].toObject().value(QStringLiteral("unit")).toString(), QStringLiteral("V"));

    const HttpReply logReply = Get(port, "/api/log?since=2");
    QVERIFY(logReply.head.contains("application/json; charset=utf-8"));
    const QJsonArray rows = Json(logReply).value(QStringLiteral("cycles")).toArray();
    QCOMPARE(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject row = rows[i].toObject();
        const CycleRecord& rec = r.records[i + 2];
        QCOMPARE(row.value(QStringLiteral("cycle")).toInt(), rec.cycle);
        QCOMPARE(row.value(QStringLiteral("timeText")).toString(), rec.timeText);
        QCOMPARE(row.value(QStringLiteral("values")).toArray()[0].toDouble(), rec.values[0]);
        QVERIFY(row.value(QStringLiteral("values")).toArray()[1].isNull());
        for (int k = 0; k < 4; ++k)
            QCOMPARE(row.value(QStringLiteral("cells")).toArray()[k].toString(), rec.cells[size_t(k)]);
    }
    const QJsonArray stats = Json(Get(port, "/api/stats")).value(QStringLiteral("slots")).toArray();
    QCOMPARE(stats[0].toObject().value(QStringLiteral("count")).toInt(), 5);
    QCOMPARE(stats[0].toObject().value(QStringLiteral("mean")).toDouble(), 1.25e-3);
    QCOMPARE(stats[1].toObject().value(QStringLiteral("count")).toInt(), 0);
    QCOMPARE(stats[1].toObject().value(QStringLiteral("noValue")).toInt(), 5);

    const HttpReply png = Get(port, "/screen.png");
    QCOMPARE(png.status, 200);
    QVERIFY(png.body.startsWith("\x89PNG"));

    // One event per logged cycle, numbered by the cycle, and the end.
    QTRY_VERIFY_WITH_TIMEOUT(events.text.find("\"state\":\"ended\"") != std::string::npos, 10000);
    QCOMPARE(Count(events.text, "event: cycle\n"), 5);
    for (int c = 1; c <= 5; ++c) QVERIFY(events.text.find("id: " + std::to_string(c) + "\nevent: cycle") != std::string::npos);
    QVERIFY(Count(events.text, "event: status\n") >= 3);

    // The page and the chart library, served by the program itself.
    const HttpReply page = Get(port, "/");
    QCOMPARE(page.status, 200);
    QVERIFY(page.body.contains("EventSource"));
    QVERIFY(page.body.contains("サイクル"));
    QVERIFY(!page.body.contains("__QS__"));
    QCOMPARE(Get(port, "/uPlot.iife.min.js").status, 200);
    QCOMPARE(Get(port, "/uPlot.min.css").status, 200);
}

void TestWebServer::tokenAndHost() {
    WebServer web;
    WebServerOptions o;
    o.token = QStringLiteral("s3cret");
    QCOMPARE(web.start(o), QString());
    const quint16 port = web.port();
    QVERIFY(web.url().endsWith(QStringLiteral("?token=s3cret")));
    QCOMPARE(Get(port, "/api/status").status, 401);
    QCOMPARE(Get(port, "/api/status?token=wrong").status, 401);
    QCOMPARE(Get(port, "/api/status?token=s3cret").status, 200);
    QCOMPARE(Get(port, "/api/status", "Authorization: Bearer s3cret\r\n").status, 200);
    QCOMPARE(Get(port, "/api/status", "Authorization: Bearer s3cre\r\n").status, 401);
    // The page carries the token into its own requests.
    QVERIFY(Get(port, "/?token=s3cret").body.contains("\"?token=s3cret\""));
    // DNS rebinding: a Host naming another server is refused.
    QCOMPARE(Get(port, "/api/status?token=s3cret", {}, "GET", "attacker.example:" + std::to_string(port)).status, 421);
    QCOMPARE(Get(port, "/api/status?token=s3cret", {}, "GET", "localhost:" + std::to_string(port)).status, 200);
    web.stop();

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

void TestWebServer::oversizedHeaderIsRefused() {
    WebServer web;
    QCOMPARE(web.start({}), QString());
    std::string many;
    for (int i = 0; i < 20; ++i) many += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";
    QCOMPARE(Get(web.port(), "/api/status", many).status, 431);
    std::string fits;
    for (int i = 0; i < 10; ++i) fits += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'a') + "\r\n";
    QCOMPARE(Get(web.port(), "/api/status", fits).status, 200);
    // One line longer than the library's line limit: refused too.
    const int status = Get(web.port(), "/api/status", "X-Long: " + std::string(20000, 'b') + "\r\n").status;
    QVERIFY2(status == 431 || status == 400 || status == 0, qPrintable(QString::number(status)));
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
            statuses[i] = Parse(ReadUntil(fds[i], 5000, Complete)).status;
        }
        for (int fd : fds) ::close(fd);
    });
    QTRY_COMPARE(web.openConnections(), WebServer::MaxConnections);  // all there before the run
    QCOMPARE(r.run(), RunOutcome::Normal);
    clients.join();
    QCOMPARE(r.records.size(), 5);
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
    QCOMPARE(r.records.size(), 40);
    QVERIFY2(t.elapsed() < 20000, qPrintable(QString::number(t.elapsed())));
    ::close(fd);
}

void TestWebServer::idleConnectionsAreClosed() {
    WebServer web;
    WebServerOptions o;
    o.idleSeconds = 1;  // 60 in the program
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
