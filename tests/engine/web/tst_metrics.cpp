// /metrics of the web view: the Prometheus text against what a run against
// the simulated instrument did, the token and Host rules on it, label values
// that need escaping, series with no value, and every text as promtool
// (Debian's prometheus package, installed by scripts/deps.sh) checks it.
#include "support/HttpReply.h"
#include "support/LoopbackSocket.h"
#include "../run/RunRig.h"
#include "engine/stats/TrendLimits.h"
#include "engine/web/WebServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <poll.h>
#include <csignal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <thread>

#if defined(__SANITIZE_THREAD__)
// promtool is started (QProcess: fork, then exec at once) while the server's
// thread runs; ThreadSanitizer would end the child before its exec.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }
#endif

namespace {

// One request on its own connection; the answer read until the server
// closes (bounded).
HttpReply Get(quint16 port, const std::string& target, const std::string& extra = {}, const char* method = "GET",
              const std::string& host = {}) {
    HttpReply r;
    const int fd = ConnectLoopback(port);
    if (fd < 0) return r;
    const std::string req = std::string(method) + " " + target + " HTTP/1.1\r\nHost: " +
                            (host.empty() ? "127.0.0.1:" + std::to_string(port) : host) + "\r\nConnection: close\r\n" + extra + "\r\n";
    if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size())) {
        ::close(fd);
        return r;
    }
    std::string raw;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[8192];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        raw.append(buf, size_t(n));
    }
    ::close(fd);
    return ParseHttpReply(raw);
}

// The series of a metrics text: "name{labels}" -> value.
std::map<QString, double> Series(const QByteArray& text) {
    std::map<QString, double> out;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        const qsizetype space = line.lastIndexOf(' ');
        out[QString::fromUtf8(line.left(space))] = line.mid(space + 1).toDouble();
    }
    return out;
}

// Runs promtool with `input` on its stdin: its exit code and what it said.
// A missing promtool fails the test (scripts/deps.sh installs it).
bool Promtool(const QStringList& args, const QByteArray& input, int* code, QString* said) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("promtool"), args);
    if (!p.waitForStarted(10000)) {
        *said = QStringLiteral("promtool cannot be started (%1): install Debian's prometheus package (scripts/deps.sh)").arg(p.errorString());
        return false;
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        *said = QStringLiteral("promtool did not finish within 30 s");
        return false;
    }
    *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    *said = QString::fromUtf8(p.readAll());
    return true;
}

#define CHECK_METRICS(text)                                                                          \
    do {                                                                                             \
        int code_ = -1;                                                                              \
        QString said_;                                                                               \
        QVERIFY2(Promtool({QStringLiteral("check"), QStringLiteral("metrics")}, text, &code_, &said_), \
                 qPrintable(said_));                                                                 \
        QVERIFY2(code_ == 0 && said_.trimmed().isEmpty(), qPrintable(said_ + QString::fromUtf8(text))); \
    } while (false)

const std::string kStation = "station=\"bench07\"";

QString Key(const std::string& name, const std::string& labels = {}) {
    return QString::fromStdString(name + "{" + kStation + labels + "}");
}

// The run-state series: 1 for `state`, 0 for the others.
void CompareState(const std::map<QString, double>& m, const char* state) {
    for (const char* s : {"idle", "running", "waiting", "reconnecting", "ended"}) {
        const auto it = m.find(Key("quillmeter_run_state", std::string(",state=\"") + s + "\""));
        QVERIFY2(it != m.end(), s);
        QCOMPARE(it->second, qstrcmp(s, state) == 0 ? 1.0 : 0.0);
    }
}

}  // namespace

class TestMetrics : public QObject {
    Q_OBJECT
private slots:
    void metricsFollowTheRun();
    void failedFilesAreCounted();
    void tokenAndHost_data();
    void tokenAndHost();
    void renderedFromTheEvents_data();
    void renderedFromTheEvents();
    void servedByTheProgram();
};

void TestMetrics::metricsFollowTheRun() {
    WebServer web;
    web.setStation(QStringLiteral("bench07"));
    QCOMPARE(web.start({}), QString());
    const quint16 port = web.port();

    // Before any run: valid, idle, no value and no cycle age yet.
    const HttpReply before = Get(port, "/metrics");
    QCOMPARE(before.status, 200);
    QVERIFY(before.head.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
    QVERIFY(before.head.contains("X-Content-Type-Options: nosniff"));
    QVERIFY(before.head.contains("Cache-Control: no-store"));
    CHECK_METRICS(before.body);
    auto m = Series(before.body);
    CompareState(m, "idle");
    QCOMPARE(m[Key("quillmeter_cycles_logged_total")], 0.0);
    QVERIFY(!before.body.contains("quillmeter_slot_value{"));
    QVERIFY(!before.body.contains("quillmeter_last_cycle_age_seconds{"));
    QVERIFY(!before.body.contains("NaN"));

    RunRig r;
    // Slot A is over its upper limit, B never has a value.
    LimitArray limits;
    limits[0].upper = 1e-3;
    QCOMPARE(SaveTrendLimits(r.dir.path(), limits), QString());
    web.setDataFolder(r.dir.path());
    r.session.addSink(&web);
    web.watch(&r.session.live());
    r.request.repeatText = QStringLiteral("3");
    r.sim.config().meas[0].fixed = QStringLiteral("1.25E-03");
    r.sim.config().meas[1].fixed = QStringLiteral("9.9E+37");
    r.sim.config().meas[2].fixed = QStringLiteral("-4.5E+00");
    r.live([](LiveValues& v) { v.log = true; });
    // Scraped while the run goes on (the server's thread reads what the
    // run's thread writes): the count never goes back.
    std::atomic<bool> scraping{true};
    QList<double> counts;
    std::thread scraper([&] {
        while (scraping) {
            counts << Series(Get(port, "/metrics").body)[Key("quillmeter_cycles_logged_total")];
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const RunOutcome outcome = r.run();
    scraping = false;
    scraper.join();
    QCOMPARE(outcome, RunOutcome::Normal);
    QCOMPARE(r.records().size(), 3);
    QVERIFY(!counts.isEmpty());
    QVERIFY2(std::is_sorted(counts.begin(), counts.end()), qPrintable(QString::number(counts.size())));

    const HttpReply after = Get(port, "/metrics");
    QCOMPARE(after.status, 200);
    CHECK_METRICS(after.body);
    m = Series(after.body);
    CompareState(m, "ended");
    const QJsonArray items = QJsonDocument::fromJson(web.statusJson()).object().value(QStringLiteral("items")).toArray();
    const auto slotKey = [&](int k) {
        const QJsonObject it = items[k].toObject();
        return Key("quillmeter_slot_value", ",slot=\"" + std::string(1, char('A' + k)) + "\",source=\"" +
                                                it.value(QStringLiteral("source")).toString().toStdString() + "\",type=\"" +
                                                it.value(QStringLiteral("kind")).toString().toStdString() + "\",unit=\"" +
                                                it.value(QStringLiteral("unit")).toString().toStdString() + "\"");
    };
    QVERIFY(!items[0].toObject().value(QStringLiteral("unit")).toString().isEmpty());
    const struct {
        QString key;
        double value;
    } expected[] = {
        {Key("quillmeter_cycles_logged_total"), 3},
        {slotKey(0), 1.25e-3},
        {slotKey(2), -4.5},
        {Key("quillmeter_values_outside_limits_total", ",slot=\"A\""), 3},
        {Key("quillmeter_values_outside_limits_total", ",slot=\"B\""), 0},
        {Key("quillmeter_values_outside_limits_total", ",slot=\"C\""), 0},
        {Key("quillmeter_file_write_failures_total"), 0},
        {Key("quillmeter_reconnections_total"), 0},
        {Key("quillmeter_mqtt_queue_records"), 0},
        {Key("quillmeter_mqtt_oldest_unsent_age_seconds"), 0},
    };
    for (const auto& e : expected) {
        QVERIFY2(m.count(e.key), qPrintable(e.key + QLatin1Char('\n') + QString::fromUtf8(after.body)));
        QCOMPARE(m[e.key], e.value);
    }
    QVERIFY2(!m.count(slotKey(1)), "slot B had no value: no series");
    const double age = m[Key("quillmeter_last_cycle_age_seconds")];
    QVERIFY2(age >= 0 && age < 30, qPrintable(QString::number(age)));
    // HEAD: the same headers, no body.
    const HttpReply head = Get(port, "/metrics", {}, "HEAD");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());

    // A second run counts on: the counters never go back.
    QCOMPARE(r.run(), RunOutcome::Normal);
    QVERIFY(r.records().size() > 3);
    m = Series(Get(port, "/metrics").body);
    QCOMPARE(m[Key("quillmeter_cycles_logged_total")], double(r.records().size()));
    QCOMPARE(m[Key("quillmeter_values_outside_limits_total", ",slot=\"A\"")], double(r.records().size()));
}

void TestMetrics::failedFilesAreCounted() {
    // The log file's name is taken by a folder: every cycle's line fails,
    // and the lines still waiting at the end once more.
    WebServer web;
    web.setStation(QStringLiteral("bench07"));
    QCOMPARE(web.start({}), QString());
    RunRig r;
    r.session.addSink(&web);
    r.request.repeatText = QStringLiteral("2");
    QVERIFY(QDir().mkdir(r.file(QStringLiteral("Sample_AM_LOG.csv"))));
    r.live([](LiveValues& v) { v.log = true; });
    r.run();
    QVERIFY(r.end.writeFailures >= 2);
    const auto m = Series(Get(web.port(), "/metrics").body);
    QCOMPARE(m.at(Key("quillmeter_file_write_failures_total")), double(r.end.writeFailures));
}

void TestMetrics::tokenAndHost_data() {
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("host");  // empty: 127.0.0.1:PORT
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("metrics");  // the body is the metrics text

    QTest::newRow("no token") << QByteArray("/metrics") << QByteArray() << QByteArray("GET") << QByteArray() << 401 << false;
    QTest::newRow("wrong token") << QByteArray("/metrics?token=wrong") << QByteArray() << QByteArray("GET") << QByteArray() << 401 << false;
    QTest::newRow("token cut short") << QByteArray("/metrics?token=s3cre") << QByteArray() << QByteArray("GET") << QByteArray() << 401 << false;
    QTest::newRow("wrong bearer") << QByteArray("/metrics") << QByteArray("Authorization: Bearer s3cre\r\n") << QByteArray("GET")
                                  << QByteArray() << 401 << false;
    QTest::newRow("basic auth") << QByteArray("/metrics") << QByteArray("Authorization: Basic czNjcmV0\r\n") << QByteArray("GET")
                                << QByteArray() << 401 << false;
    QTest::newRow("query token") << QByteArray("/metrics?token=s3cret") << QByteArray() << QByteArray("GET") << QByteArray() << 200 << true;
    QTest::newRow("bearer") << QByteArray("/metrics") << QByteArray("Authorization: Bearer s3cret\r\n") << QByteArray("GET")
                            << QByteArray() << 200 << true;
    QTest::newRow("bearer, localhost") << QByteArray("/metrics") << QByteArray("Authorization: bearer s3cret\r\n") << QByteArray("GET")
                                       << QByteArray("localhost") << 200 << true;
    // DNS rebinding: a Host naming another server is refused, token or not.
    QTest::newRow("other host") << QByteArray("/metrics") << QByteArray("Authorization: Bearer s3cret\r\n") << QByteArray("GET")
                                << QByteArray("attacker.example") << 421 << false;
    QTest::newRow("other host, no token") << QByteArray("/metrics") << QByteArray() << QByteArray("GET")
                                          << QByteArray("attacker.example") << 421 << false;
    QTest::newRow("post") << QByteArray("/metrics?token=s3cret") << QByteArray() << QByteArray("POST") << QByteArray() << 405 << false;
    QTest::newRow("below") << QByteArray("/metrics/x?token=s3cret") << QByteArray() << QByteArray("GET") << QByteArray() << 404 << false;
}

void TestMetrics::tokenAndHost() {
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, extra);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, host);
    QFETCH(int, status);
    QFETCH(bool, metrics);
    WebServer web;
    WebServerOptions o;
    o.token = QStringLiteral("s3cret");
    QCOMPARE(web.start(o), QString());
    const std::string h = host.isEmpty() ? std::string() : host.toStdString() + ":" + std::to_string(web.port());
    const HttpReply r = Get(web.port(), target.toStdString(), extra.toStdString(), method.constData(), h);
    QCOMPARE(r.status, status);
    QVERIFY(r.head.contains("X-Content-Type-Options: nosniff"));
    QCOMPARE(r.body.contains("# TYPE quillmeter_"), metrics);
    if (status == 401) QVERIFY(r.head.contains("WWW-Authenticate: Bearer"));
}

void TestMetrics::renderedFromTheEvents_data() {
    QTest::addColumn<QString>("station");
    QTest::addColumn<QByteArray>("stationLabel");  // as written
    QTest::addColumn<QString>("source");           // slot A's
    QTest::addColumn<double>("value");             // slot A's in the one cycle
    QTest::addColumn<QByteArray>("slotLabels");    // slot A's series after the station, or empty: no series

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("plain") << QStringLiteral("bench07") << QByteArray("\"bench07\"") << QStringLiteral("C1") << 0.5
                           << QByteArray(",slot=\"A\",source=\"C1\",type=\"MAX\",unit=\"V\"} 0.5\n");
    QTest::newRow("escapes") << QStringLiteral("be\"nch\\07\nx") << QByteArray("\"be\\\"nch\\\\07\\nx\"")
                             << QStringLiteral("C\"1\\\n") << -1.5e-12
                             << QByteArray(",slot=\"A\",source=\"C\\\"1\\\\\\n\",type=\"MAX\",unit=\"V\"} -1.5e-12\n");
    QTest::newRow("utf-8") << QStringLiteral("ベンチ7") << QByteArray("\"ベンチ7\"") << QStringLiteral("C1") << 2.0
                           << QByteArray(",slot=\"A\",source=\"C1\",type=\"MAX\",unit=\"V\"} 2\n");
    QTest::newRow("no value") << QStringLiteral("b") << QByteArray("\"b\"") << QStringLiteral("C1") << 9.9e37 << QByteArray();
    QTest::newRow("NaN") << QStringLiteral("b") << QByteArray("\"b\"") << QStringLiteral("C1") << std::nan("") << QByteArray();
    QTest::newRow("infinity") << QStringLiteral("b") << QByteArray("\"b\"") << QStringLiteral("C1") << inf << QByteArray();
}

void TestMetrics::renderedFromTheEvents() {
    QFETCH(QString, station);
    QFETCH(QByteArray, stationLabel);
    QFETCH(QString, source);
    QFETCH(double, value);
    QFETCH(QByteArray, slotLabels);
    WebFeed feed;
    feed.setStation(station);
    int queueReads = 0;
    feed.setQueueGauges([&] {
        ++queueReads;
        return WebFeed::QueueGauges{17, 42.5};
    });
    feed.runStarted({false, 1, 0, QDateTime::currentDateTime()});
    MeasItemArray items;
    items[0] = {source, QStringLiteral("MAX"), QStringLiteral("V")};
    feed.measItemsRead(items);
    feed.cycleLogged(MakeCycleRecord(1, {value, NoValue, NoValue, NoValue}, QDateTime::currentDateTime()), QString());
    // The link lost, back, lost again: one reconnection, reconnecting now.
    feed.linkEvent(QStringLiteral("接続が切れました"), false, 2, QString(), QString());
    feed.linkEvent(QStringLiteral("再接続しました (1 回目)"), true, 2, QString(), QString());
    feed.linkEvent(QStringLiteral("接続が切れました"), false, 2, QString(), QString());
    feed.fileFailed(qm::FileResult::failed(QStringLiteral("a.png"), QStringLiteral("full"), QStringLiteral("full")));

    const QByteArray text = QByteArray::fromStdString(feed.metricsText());
    CHECK_METRICS(text);
    QCOMPARE(queueReads, 1);
    const QByteArray st = "{station=" + stationLabel;
    // Slots B..D have no value; A has one when it is a number.
    QCOMPARE(text.count("quillmeter_slot_value{"), slotLabels.isEmpty() ? 0 : 1);
    if (!slotLabels.isEmpty()) QVERIFY2(text.contains("\nquillmeter_slot_value" + st + slotLabels), text.constData());
    QVERIFY(!text.contains("NaN") && !text.contains("Inf"));
    for (const QByteArray& l : {"quillmeter_cycles_logged_total" + st + "} 1\n", "quillmeter_reconnections_total" + st + "} 1\n",
                                "quillmeter_file_write_failures_total" + st + "} 1\n",
                                "quillmeter_values_outside_limits_total" + st + ",slot=\"D\"} 0\n",
                                "quillmeter_run_state" + st + ",state=\"reconnecting\"} 1\n",
                                "quillmeter_run_state" + st + ",state=\"running\"} 0\n",
                                "quillmeter_mqtt_queue_records" + st + "} 17\n",
                                "quillmeter_mqtt_oldest_unsent_age_seconds" + st + "} 42.5\n"})
        QVERIFY2(text.contains("\n" + l), (l + text).constData());
    // Nine families, each with its HELP and TYPE.
    QVERIFY(text.startsWith("# HELP "));
    QCOMPARE(text.count("# HELP "), 9);
    QCOMPARE(text.count("\n# TYPE "), 9);
}

void TestMetrics::servedByTheProgram() {
    // The program headless with its simulated instrument, a station name
    // that needs escaping and a broker that is not there: the records wait
    // in the queue, and /metrics says so under the program's station.
    const QString app = qEnvironmentVariable("QUILLMETER_APP");
    if (app.isEmpty() || !QFile::exists(app)) QSKIP("QUILLMETER_APP (the built program) is not there");
    QTemporaryDir data;
    QProcess p;
    p.start(app, {QStringLiteral("--headless"), QStringLiteral("--demo"), QStringLiteral("--data-dir"), data.path(),
                  QStringLiteral("--repeat"), QStringLiteral("10000"), QStringLiteral("--log"), QStringLiteral("--serve"),
                  QStringLiteral("0"), QStringLiteral("--serve-token"), QStringLiteral("abc"), QStringLiteral("--station"),
                  QStringLiteral("bench \"07\""), QStringLiteral("--mqtt"), QStringLiteral("mqtt://127.0.0.1:1/lab")});
    QVERIFY(p.waitForStarted(10000));
    QByteArray out;
    QUrl url;
    while (!url.isValid() && p.waitForReadyRead(10000)) {
        out += p.readAllStandardOutput();
        const qsizetype at = out.indexOf("ウェブ表示: ");
        if (at >= 0 && out.indexOf('\n', at) > 0)
            url = QUrl(QString::fromUtf8(out.mid(at, out.indexOf('\n', at) - at)).section(QStringLiteral(": "), 1));
    }
    QVERIFY2(url.isValid() && url.port() > 0, out.constData());
    const quint16 port = quint16(url.port());
    QCOMPARE(Get(port, "/metrics").status, 401);
    const QString st = QStringLiteral("{station=\"bench \\\"07\\\"\"");
    std::map<QString, double> m;
    QByteArray body;
    QTRY_VERIFY_WITH_TIMEOUT((m = Series(body = Get(port, "/metrics?token=abc").body),
                              m[QStringLiteral("quillmeter_mqtt_queue_records") + st + u'}'] >= 2),
                             15000);
    CHECK_METRICS(body);
    QVERIFY2(m[QStringLiteral("quillmeter_cycles_logged_total") + st + u'}'] >= 2, body.constData());
    QVERIFY(m[QStringLiteral("quillmeter_mqtt_oldest_unsent_age_seconds") + st + u'}'] >= 0);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(20000));
}

QTEST_GUILESS_MAIN(TestMetrics)
#include "tst_metrics.moc"
