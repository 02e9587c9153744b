// The transports against the simulated instrument over loopback TCP and a
// real pty. The instrument runs in the main thread's event loop; the
// transport lives on a worker thread, as in a run.
#include "engine/link/SerialStream.h"
#include "engine/link/StreamTransport.h"
#include "engine/link/TcpTransport.h"
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <netinet/in.h>
#include <optional>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm;

namespace qm {
char* toString(IoStatus s) {
    static const char* const names[] = {"Ok", "TimedOut", "Lost", "Stopped", "Failed"};
    return qstrdup(names[int(s)]);
}
}  // namespace qm

namespace {

// One worker thread that runs jobs while the main thread's event loop keeps
// the simulated instrument going. A std::thread: its start and join are
// seen by ThreadSanitizer (an uninstrumented Qt's are not).
class Worker {
public:
    Worker() : thread_([this] { serve(); }) {}
    ~Worker() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    template <typename F>
    auto run(F f) {
        std::optional<decltype(f())> out;
        std::atomic<bool> done = false;
        {
            std::lock_guard lock(mutex_);
            job_ = [&] {
                out.emplace(f());
                done = true;
                // Wakes the main thread's wait for events (nothing to hand over).
                QAbstractEventDispatcher::instance(qApp->thread())->wakeUp();
            };
        }
        wake_.notify_all();
        while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return std::move(*out);
    }

private:
    void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || job_; });
            if (!job_) return;
            auto job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool quit_ = false;
    std::thread thread_;  // last: starts once the rest is made
};

struct Rig {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server{&sim};
    qmsim::SimPty pty{&sim};
    Worker worker;
    StopToken stop;
    std::unique_ptr<Transport> link;

    ~Rig() {
        worker.run([this] { return link.reset(), 0; });
    }
    int com = 0;  // the COM number of a serial link
    bool open(bool serial, const LinkLimits& limits = {}) {
        static int next = 40;
        const int n = com = ++next;
        if (serial) {
            if (!pty.open()) return false;
            qputenv(qPrintable(QStringLiteral("QUILLMETER_COM%1").arg(n)), pty.slavePath().toLocal8Bit());
        } else if (!server.listen(QHostAddress::LocalHost, 0)) {
            return false;
        }
        const quint16 port = server.port();
        OpenResult r = worker.run([&] {
            return serial ? OpenSerial(n, stop, limits)
                          : OpenTcp(QStringLiteral("127.0.0.1"), port, stop, {limits, {}});
        });
        link = std::move(r.transport);
        return link != nullptr;
    }
    LineResult ask(const QByteArray& cmd, int maxBytes = 80, double timeout = 5) {
        return worker.run([&] {
            const WriteResult w = link->write(cmd + '\n', stop);
            return w.ok() ? link->readLine(maxBytes, timeout, stop) : LineResult{w.status, {}, false, w.error};
        });
    }
    BlockResult block(const QByteArray& cmd, int32_t limit) {
        return worker.run([&] {
            const WriteResult w = link->write(cmd + '\n', stop);
            return w.ok() ? link->readBlock(limit, stop) : BlockResult{w.status, {}, 0, w.error};
        });
    }
};

const QByteArray kAuto("AUTO");
int ComOf(const Rig& rig) { return rig.com; }

QTestData& row(bool serial, const char* name) {
    return QTest::newRow(qPrintable(QLatin1String(serial ? "serial " : "tcp ") + QLatin1String(name)));
}

// Stops the rig's token after `ms` (0: never); the latency of the stop is
// reported and bounded.
struct StopLater {
    StopLater(Rig& rig, int ms) : stopAtMs(ms > 0 ? ms : -1) {
        clock.start();
        if (ms > 0) QTimer::singleShot(ms, [&rig] { rig.stop.requestStop(); });
    }
    bool seenQuickly(const char* what) const {
        if (stopAtMs < 0) return true;
        const qint64 latency = clock.elapsed() - stopAtMs;
        qInfo("%s: stop seen after %lld ms (grace %d ms)", what, static_cast<long long>(latency), kStopGraceMs);
        return latency < 500;
    }
    QElapsedTimer clock;
    qint64 stopAtMs;
};

struct Exchange {
    QByteArray query{};
    QString reply{};  // set as the instrument's answer; empty: its own
    int maxBytes = 80;
    QByteArray line{};  // serial over-long: the line's first bytes
    bool overlong = false;
    QByteArray next{};  // the next query; empty: read once more
    QByteArray nextLine = kAuto;
    bool split = false;
};

struct BlockCase {
    qmsim::BlockFault fault = qmsim::BlockFault::None;
    int chunkDelayMs = 0;
    int32_t limit = kWaveBlockLimit;
    IoStatus status = IoStatus::Ok;
    QString error{};
    int stopAfterMs = 0;
};

}  // namespace

class TestTransport : public QObject {
    Q_OBJECT
private slots:
    void exchanges_data();
    void exchanges();
    void lineFailures_data();
    void lineFailures();
    void blocks_data();
    void blocks();
    void blockHeader_data();
    void blockHeader();
    void openFailures_data();
    void openFailures();
    void nameLookup();
    void connectGivesUp_data();
    void connectGivesUp();
    void closeSendsPendingOutput_data();
    void closeSendsPendingOutput();
};

void TestTransport::exchanges_data() {
    QTest::addColumn<bool>("serial");
    QTest::addColumn<Exchange>("x");
    const QString cut = QStringLiteral("0.2") + QChar(0) + QStringLiteral("5\rjunk");
    const QString x100(100, QLatin1Char('x'));
    for (const bool serial : {false, true}) {
        row(serial, "own answer") << serial
                                  << Exchange{
                                         .query = "TRMD?", .line = kAuto, .next = "C1:OFST? ", .nextLine = "0.000E+00"};
        row(serial, "cut at CR, NUL dropped")
            << serial << Exchange{.query = "TDIV?", .reply = cut, .line = "0.25", .next = "TRMD?"};
        row(serial, "split answer") << serial
                                    << Exchange{.query = "TDIV?", .line = "1.000E-03", .next = "TRMD?", .split = true};
        // TCP keeps the second line for the next read; serial drops it.
        row(serial, "two lines") << serial
                                 << Exchange{.query = "ACQ?",
                                             .reply = "late\nSAMPLE\n",
                                             .line = "late",
                                             .overlong = serial,
                                             .next = serial ? "TRMD?" : "",
                                             .nextLine = serial ? kAuto : "SAMPLE"};
    }
    // Serial: the answer ends at its first LF even when more came in the same read.
    row(true, "a byte after the LF") << true
                                     << Exchange{.query = "TDIV?", .reply = "1.25\nX", .line = "1.25", .overlong = true,
                                                 .next = "TRMD?"};
    row(true, "line ends after the LF")
        << true << Exchange{.query = "TDIV?", .reply = "1.25\n\r", .line = "1.25", .next = "TRMD?"};
    const auto longer = [](QString reply, qsizetype lineLength, bool overlong) {
        return Exchange{.query = "FWINDOW?",
                        .reply = reply,
                        .maxBytes = 100,
                        .line = QByteArray(lineLength, 'x'),
                        .overlong = overlong,
                        .next = "TRMD?"};
    };
    row(false, "over-long") << false << longer(QString(300, 'x'), 100, true);
    row(false, "exactly the limit") << false << longer(x100, 100, false);
    row(false, "limit, then CR LF") << false << longer(x100 + '\r', 100, false);
    row(true, "over-long") << true << longer(QString(300000, 'x'), kSerialLineLimit, true);
}

void TestTransport::exchanges() {
    QFETCH(bool, serial);
    QFETCH(Exchange, x);
    Rig rig;
    QVERIFY(rig.open(serial));
    if (!x.reply.isEmpty()) rig.sim.config().replies.insert(QString::fromLatin1(x.query), x.reply);
    rig.sim.config().faults.splitAnswers = x.split;

    const LineResult r = rig.ask(x.query, x.maxBytes);
    QCOMPARE(r.status, IoStatus::Ok);
    if (serial && x.overlong)
        QVERIFY(r.line.startsWith(x.line));  // as much as came with the limit's read
    else
        QCOMPARE(r.line, x.line);
    QCOMPARE(r.overlong, x.overlong);
    const LineResult after =
        x.next.isEmpty() ? rig.worker.run([&] { return rig.link->readLine(80, 5, rig.stop); }) : rig.ask(x.next);
    QCOMPARE(after.line, x.nextLine);
    // The commands arrived as written, each ended by its LF, nothing else.
    QStringList sent{QString::fromLatin1(x.query)};
    if (!x.next.isEmpty()) sent << QString::fromLatin1(x.next);
    QCOMPARE(rig.sim.received(), sent);
}

void TestTransport::lineFailures_data() {
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<IoStatus>("status");
    for (const bool serial : {false, true}) {
        row(serial, "silence") << serial << "silent" << IoStatus::TimedOut;
        row(serial, "half an answer") << serial << "partial" << IoStatus::TimedOut;
        row(serial, "dropped on the query") << serial << "drop" << IoStatus::Lost;
        row(serial, "gone while idle") << serial << "gone" << IoStatus::Lost;
        row(serial, "stop while silent") << serial << "stop" << IoStatus::Stopped;
    }
}

void TestTransport::lineFailures() {
    QFETCH(bool, serial);
    QFETCH(QString, fault);
    QFETCH(IoStatus, status);
    Rig rig;
    QVERIFY(rig.open(serial));
    qmsim::SimFaults& f = rig.sim.config().faults;
    if (fault == "silent" || fault == "stop") f.silent.insert("TDIV?");
    if (fault == "partial") {
        f.splitAnswers = true;
        f.splitDelayMs = 60000;
    }
    if (fault == "drop") f.dropOn.insert("TDIV?");
    if (fault == "gone" && serial) rig.pty.close();
    if (fault == "gone" && !serial) {
        QTRY_COMPARE(rig.server.connectionCount(), 1);  // taken in by the server before it goes
        rig.server.dropConnections();
    }
    const StopLater stop(rig, fault == "stop" ? 100 : 0);
    const LineResult r = rig.ask("TDIV?", 80, fault == "stop" ? 30 : 0.3);
    const qint64 took = stop.clock.elapsed();
    QCOMPARE(r.status, status);
    QVERIFY(r.line.isEmpty());
    QVERIFY(stop.seenQuickly(QTest::currentDataTag()));
    if (status == IoStatus::TimedOut) {
        QVERIFY2(took >= 290 && took < 1500, qPrintable(QString::number(took)));
        f = {};
        rig.sim.resetLink();  // the late half never comes
        // What came of the answer was dropped: the next answer is whole and its own.
        QCOMPARE(rig.ask("TRMD?").line, kAuto);
    } else if (status == IoStatus::Lost) {
        QVERIFY(!r.error.isEmpty());
        QVERIFY(rig.worker.run([&] { return rig.link->lost(); }));
        QCOMPARE(rig.worker.run([&] { return rig.link->write("GTL\n", rig.stop).status; }), IoStatus::Lost);
    }
}

void TestTransport::blocks_data() {
    QTest::addColumn<bool>("serial");
    QTest::addColumn<BlockCase>("b");
    using F = qmsim::BlockFault;
    const IoStatus failed = IoStatus::Failed;
    for (const bool serial : {false, true}) {
        row(serial, "whole") << serial << BlockCase{};
        row(serial, "in pieces") << serial << BlockCase{.fault = F::Chunked, .chunkDelayMs = 1};
        row(serial, "bad length") << serial
                                  << BlockCase{.fault = F::BadLength,
                                               .status = failed,
                                               .error = "ヘッダが不正です: \"#8abcdefgh\""};
        row(serial, "above the limit") << serial
                                       << BlockCase{.limit = 100,
                                                    .status = failed,
                                                    .error = "大きすぎます (2000 バイト、上限 100 バイト)"};
        row(serial, "truncated") << serial
                                 << BlockCase{.fault = F::Truncated,
                                              .status = failed,
                                              .error = "途中で止まりました (block: 1000 / 2001 バイト)"};
        row(serial, "too slow") << serial
                                << BlockCase{.fault = F::Chunked,
                                             .chunkDelayMs = 10,
                                             .status = failed,
                                             .error = "時間内に届きません"};
        row(serial, "stopped") << serial
                               << BlockCase{.fault = F::Truncated, .status = IoStatus::Stopped, .stopAfterMs = 50};
    }
}

void TestTransport::blocks() {
    QFETCH(bool, serial);
    QFETCH(BlockCase, b);
    LinkLimits limits;
    limits.blockSilenceMs = b.stopAfterMs ? 30000 : 150;
    limits.blockBaseMs = 300;  // 2000 bytes in 50-byte pieces 10 ms apart take 400 ms
    limits.blockBytesPerSecond = 1e6;
    Rig rig;
    QVERIFY(rig.open(serial, limits));
    rig.sim.config().recordLength = 2000;
    qmsim::SimFaults& f = rig.sim.config().faults;
    f.blockFault = b.fault;
    f.chunkBytes = 50;
    f.chunkDelayMs = b.chunkDelayMs;

    const StopLater stop(rig, b.stopAfterMs);
    const BlockResult r = rig.block("DTWAVE?", b.limit);
    QCOMPARE(r.status, b.status);
    QVERIFY(stop.seenQuickly(QTest::currentDataTag()));
    if (b.status == IoStatus::Ok) {
        QCOMPARE(r.announced, 2000);
        QCOMPARE(r.data, qmsim::waveData(rig.sim.config(), "CH1", false, true, 0, 2000));
    }
    QVERIFY2(r.error.contains(b.error), qPrintable(r.error));
    QVERIFY(!rig.worker.run([&] { return rig.link->lost(); }));
    if (b.stopAfterMs) return;
    // Nothing of the block is left to be taken for the next answer.
    f.blockFault = qmsim::BlockFault::None;
    QCOMPARE(rig.ask("TRMD?").line, kAuto);
}

void TestTransport::blockHeader_data() {
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("n");  // -1: refused
    QTest::newRow("zero-padded") << QByteArray("#800001234") << 1234;
    QTest::newRow("space-padded") << QByteArray("#8    1234") << 1234;
    QTest::newRow("empty block") << QByteArray("#800000000") << 0;
    QTest::newRow("at the limit") << QByteArray("#800002000") << 2000;
    QTest::newRow("above the limit") << QByteArray("#800002001") << -1;
    QTest::newRow("blank-padded after") << QByteArray("#81234    ") << 1234;
    QTest::newRow("space inside") << QByteArray("#8 12 34  ") << -1;
    QTest::newRow("only blanks") << QByteArray("#8        ") << -1;
    QTest::newRow("sign") << QByteArray("#8-0000012") << -1;
    QTest::newRow("other digit count") << QByteArray("#900001234") << -1;
    QTest::newRow("short") << QByteArray("#80000123") << -1;
}

void TestTransport::blockHeader() {
    QFETCH(QByteArray, head);
    QFETCH(int, n);
    const BlockHeader h = ParseBlockHeader(head, 2000);
    QCOMPARE(h.n, n);
    QCOMPARE(h.error.isEmpty(), n >= 0);
}

// A link that does not open says where once, and why in Japanese with the
// system's own text, taken from its error code.
void TestTransport::openFailures_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("error");  // the start of the message; %1 the port or device
    QTest::newRow("refused") << "refused" << int(OpenFailure::Refused)
                             << QStringLiteral("127.0.0.1:%1: 接続を拒否されました (") + QString::fromLocal8Bit(strerror(ECONNREFUSED)) + ")";
    QTest::newRow("no such host") << "no such host" << int(OpenFailure::HostNotFound)
                                  << "instrument.invalid:5198: ホスト名が見つかりません (unknown name)";
    QTest::newRow("empty address") << "empty" << int(OpenFailure::HostNotFound) << "IP アドレスが空です";
    QTest::newRow("COM0") << "COM0" << int(OpenFailure::PortMissing) << "COM0 は使えないポート番号です";
    QTest::newRow("missing device") << "missing" << int(OpenFailure::PortMissing)
                                    << QStringLiteral("COM61 (/nonexistent/ttyQM): ポートがありません (");
    QTest::newRow("busy port") << "busy" << int(OpenFailure::PortBusy) << QStringLiteral("COM62 (%1): ポートは他のプログラムが使用中です (");
}

void TestTransport::openFailures() {
    QFETCH(QString, what);
    QFETCH(int, failure);
    QFETCH(QString, error);
    Worker worker;
    StopToken stop;
    Rig holder;  // busy: another link holds the port
    OpenResult r;
    if (what == QLatin1String("refused")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 closed = probe.serverPort();
        probe.close();
        error = error.arg(closed);
        r = worker.run([&] { return OpenTcp(QStringLiteral("127.0.0.1"), closed, stop); });
    } else if (what == QLatin1String("no such host") || what == QLatin1String("empty")) {
        HostLookups lookups([](const QString&) { return HostLookup{{}, QStringLiteral("unknown name"), OpenFailure::HostNotFound}; });
        TcpOptions options;
        options.lookups = &lookups;
        const QString host = what == QLatin1String("empty") ? QString() : QStringLiteral("instrument.invalid");
        r = worker.run([&] { return OpenTcp(host, 5198, stop, options); });
    } else if (what == QLatin1String("COM0")) {
        r = worker.run([&] { return OpenSerial(0, stop); });
    } else if (what == QLatin1String("missing")) {
        qputenv("QUILLMETER_COM61", "/nonexistent/ttyQM");
        r = worker.run([&] { return OpenSerial(61, stop); });
    } else {
        QVERIFY(holder.open(true));
        const QByteArray device = qgetenv(qPrintable(QStringLiteral("QUILLMETER_COM%1").arg(ComOf(holder))));
        qputenv("QUILLMETER_COM62", device);
        error = error.arg(QString::fromLocal8Bit(device));
        r = worker.run([&] { return OpenSerial(62, stop); });
    }
    QVERIFY(!r.transport && !r.stopped);
    QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
    QCOMPARE(int(r.failure), failure);
    worker.run([&] { return r.transport.reset(), 0; });
}

void TestTransport::nameLookup() {
    qputenv("QUILLMETER_COM61", "/nonexistent/ttyQM");
    QCOMPARE(SerialDeviceFor(61), QStringLiteral("/nonexistent/ttyQM"));
    qunsetenv("QUILLMETER_COM62");
    QCOMPARE(SerialDeviceFor(62), QStringLiteral("/dev/ttyACM61"));
    // A name is looked up ("localhost" may give ::1 first, where nobody listens).
    Worker worker;
    StopToken stop;
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server(&sim);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    OpenResult r = worker.run([&] { return OpenTcp(QStringLiteral("localhost"), server.port(), stop); });
    QVERIFY2(r.transport, qPrintable(r.error));
    QCOMPARE(r.transport->describe(), QStringLiteral("localhost:%1").arg(server.port()));
    worker.run([&] { return r.transport.reset(), 0; });
}

void TestTransport::connectGivesUp_data() {
    QTest::addColumn<bool>("lookup");  // a name lookup that never ends; else a connect that is never answered
    QTest::addColumn<bool>("byStop");  // else by the connect bound
    QTest::newRow("lookup, stop") << true << true;
    QTest::newRow("lookup, bound") << true << false;
    QTest::newRow("connect, stop") << false << true;
    QTest::newRow("connect, bound") << false << false;
}

void TestTransport::connectGivesUp() {
    QFETCH(bool, lookup);
    QFETCH(bool, byStop);
    TcpOptions options;
    options.limits.connectTimeoutMs = byStop ? 30000 : 300;
    auto release = std::make_shared<std::atomic<bool>>(false);
    // A lookup that hangs until the case is over; the connect gives it up.
    HostLookups lookups([release](const QString&) {
        while (!*release) QThread::msleep(5);
        return HostLookup{};
    });
    options.lookups = &lookups;
    // A listener whose queue of finished handshakes is full: further
    // connects stay unanswered (the kernel drops their SYN).
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(listener, 0) == 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), len);
    }
    QThread::msleep(50);

    Worker worker;
    StopToken stop;
    QElapsedTimer clock;
    clock.start();
    if (byStop) QTimer::singleShot(100, [&] { stop.requestStop(); });
    const QString host = lookup ? QStringLiteral("instrument.invalid") : QStringLiteral("127.0.0.1");
    const OpenResult r = worker.run([&] { return OpenTcp(host, ntohs(a.sin_port), stop, options); });
    const qint64 took = clock.elapsed();
    if (lookup) {
        // The lookup it gave up still runs: its thread is not left behind,
        // and ending it names the host it waits for.
        QString why;
        QVERIFY(!lookups.finish(50, &why));
        QVERIFY2(why.contains(QStringLiteral("instrument.invalid")), qPrintable(why));
    }
    *release = true;
    QVERIFY(lookups.finish(5000));
    for (int fd : fillers) ::close(fd);
    ::close(listener);
    QVERIFY(!r.transport);
    QCOMPARE(r.stopped, byStop);
    if (!byStop) QCOMPARE(int(r.failure), int(lookup ? OpenFailure::HostNotFound : OpenFailure::TimedOut));
    QVERIFY2(!r.error.isEmpty(), "reason");
    qInfo("gave up after %lld ms: %s", static_cast<long long>(took), qPrintable(r.error));
    QVERIFY2(took >= 100 && took < 800, qPrintable(QString::number(took)));
}

void TestTransport::closeSendsPendingOutput_data() {
    QTest::addColumn<bool>("serial");
    row(false, "") << false;
    row(true, "") << true;
}

void TestTransport::closeSendsPendingOutput() {
    QFETCH(bool, serial);
    Rig rig;
    QVERIFY(rig.open(serial));
    const bool closed = rig.worker.run([&] {
        const bool ok = rig.link->write("TRMD AUTO\nGTL\n", rig.stop).ok();
        rig.link->close(kCloseFlushMs);
        return ok && rig.link->lost();
    });
    QVERIFY(closed);
    QTRY_COMPARE(rig.sim.received(), QStringList({"TRMD AUTO", "GTL"}));
}

QTEST_GUILESS_MAIN(TestTransport)
#include "tst_transport.moc"
