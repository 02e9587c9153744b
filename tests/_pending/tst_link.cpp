// The command link against the simulated instrument over loopback TCP and a
// real pty, and its text rules.
#include "engine/text/Clock.h"
#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "link/BlockRead.h"
#include "link/CommandLink.h"
#include "link/Connect.h"
#include "link/TcpTransport.h"
#include "support/SimLink.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>
#include <array>

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void gptrim();
    void getItems();
    void tcpCommandsAndAnswers();
    void tcpSplitAnswerIsReadWhole();
    void tcpTwoLinesWaiting();
    void tcpLongAnswerCutAtMaxbytes();
    void tcpSilenceGivesTimeout();
    void tcpDroppedConnectionRaises();
    void tcpReconnectAndRefused();
    void serialOverPty();
    void serialTimeoutAcrossMidnight();
    void serialLostDevice();
    void blocksOverBothTransports();
    void connectDso();
};

void TestLink::gptrim() {
    QCOMPARE(GPTrim(QStringLiteral("1.25E-03\r\n")), QStringLiteral("1.25E-03"));
    QCOMPARE(GPTrim(QStringLiteral("\nABC")), QString());
    QCOMPARE(GPTrim(QStringLiteral("\rABC")), QString());
    QCOMPARE(GPTrim(QString::fromLatin1("A\0B\0C\n", 6)), QStringLiteral("ABC"));
    QCOMPARE(GPTrim(QStringLiteral("no end")), QStringLiteral("no end"));
    QCOMPARE(GPTrim(QStringLiteral("first\nsecond\n")), QStringLiteral("first"));
}

void TestLink::getItems() {
    std::array<QString, 4> item;
    QCOMPARE(Get_Items(QStringLiteral("C1,MAX"), item), int16_t(2));
    QCOMPARE(item[0], QStringLiteral("C1"));
    QCOMPARE(item[1], QStringLiteral("MAX"));
    // Slots beyond the last one stored keep what they held; spaces are kept,
    // CR and LF dropped.
    item[2] = QStringLiteral("old");
    QCOMPARE(Get_Items(QStringLiteral(" a , b\r\n"), item), int16_t(2));
    QCOMPARE(item[0], QStringLiteral(" a "));
    QCOMPARE(item[1], QStringLiteral(" b"));
    QCOMPARE(item[2], QStringLiteral("old"));
    QCOMPARE(Get_Items(QStringLiteral(""), item), int16_t(1));
    QCOMPARE(item[0], QString());
    QCOMPARE(Get_Items(QStringLiteral("a,b,c,d"), item), int16_t(4));
    QCOMPARE(item[3], QStringLiteral("d"));
    // More items than slots: the first two are emptied, result 2.
    item = {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z"), QStringLiteral("w")};
    QCOMPARE(Get_Items(QStringLiteral("1,2,3,4,5"), item), int16_t(2));
    QCOMPARE(item[0], QString());
    QCOMPARE(item[1], QString());
    QCOMPARE(item[2], QStringLiteral("z"));
    QCOMPARE(Get_Items(QString(40000, QLatin1Char('a')), item), int16_t(2));
    QCOMPARE(item[0], QString());
}

void TestLink::tcpCommandsAndAnswers() {
    SimTcpLink t;
    QVERIFY(t.start());
    SendToDSO(t.link, QStringLiteral("*ESE 255"));
    SendToDSO(t.link, QString());  // a lone LF
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
    t.sim.config().replies.insert(QStringLiteral("C1:OFST? "), QStringLiteral("0.25\r"));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("C1:OFST? "), 60.0f, 80), QStringLiteral("0.25"));
    QCOMPARE(t.sim.received(),
             QStringList({QStringLiteral("*ESE 255"), QString(), QStringLiteral("TRMD?"), QStringLiteral("C1:OFST? ")}));
    QCOMPARE(t.sim.eseValue(), 255);
}

void TestLink::tcpSplitAnswerIsReadWhole() {
    SimTcpLink t;
    QVERIFY(t.start());
    t.sim.config().faults.splitAnswers = true;
    t.sim.config().replies.insert(QStringLiteral("TDIV?"), QStringLiteral("1.000000E-03"));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TDIV?"), 60.0f, 80), QStringLiteral("1.000000E-03"));
    // The next query gets its own answer, not the tail of the previous one.
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
}

void TestLink::tcpTwoLinesWaiting() {
    SimTcpLink t;
    QVERIFY(t.start());
    t.sim.config().replies.insert(QStringLiteral("ACQ?"), QStringLiteral("late\nSAMPLE"));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("ACQ?"), 60.0f, 80), QStringLiteral("late"));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
}

void TestLink::tcpLongAnswerCutAtMaxbytes() {
    SimTcpLink t;
    QVERIFY(t.start());
    const QString longText = QString(100, QLatin1Char('x'));
    t.sim.config().replies.insert(QStringLiteral("FWINDOW?"), longText);
    QCOMPARE(SendGetResp(t.link, QStringLiteral("FWINDOW?"), 60.0f, 80), QString(80, QLatin1Char('x')));
}

void TestLink::tcpSilenceGivesTimeout() {
    SimTcpLink t;
    QVERIFY(t.start());
    t.sim.config().faults.silent.insert(QStringLiteral("TDIV?"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TDIV?"), 0.3f, 80), kTimeoutReply);
    QVERIFY(clock.elapsed() >= 250);
    // A late partial answer is discarded; the link goes on working.
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
}

void TestLink::tcpDroppedConnectionRaises() {
    SimTcpLink t;
    QVERIFY(t.start());
    t.sim.config().faults.dropOn.insert(QStringLiteral("TDIV?"));
    QVERIFY_THROWS_EXCEPTION(LinkError, SendGetResp(t.link, QStringLiteral("TDIV?"), 60.0f, 80));
    QVERIFY_THROWS_EXCEPTION(LinkError, SendToDSO(t.link, QStringLiteral("GTL")));
    // A new connection works again.
    QCOMPARE(LinkToSLA(t.sock, QStringLiteral("127.0.0.1"), t.portText()), int16_t(SockControl::sckConnected));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
}

void TestLink::tcpReconnectAndRefused() {
    SimTcpLink t;
    QVERIFY(t.start());
    QCOMPARE(t.server.connectionCount(), 1);
    // Connecting a connected socket closes it and connects again.
    QCOMPARE(LinkToSLA(t.sock, QStringLiteral("127.0.0.1"), t.portText()), int16_t(SockControl::sckConnected));
    QVERIFY(qm::WaitUntil([&] { return t.server.connectionCount() == 1; }, QDeadlineTimer(2000)));
    QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
    // A port where nobody listens ends in the error state.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString closedPort = QString::number(probe.serverPort());
    probe.close();
    SockControl other;
    QCOMPARE(LinkToSLA(other, QStringLiteral("127.0.0.1"), closedPort), int16_t(SockControl::sckError));
}

void TestLink::serialOverPty() {
    SimPtyLink s;
    QVERIFY2(s.start(7), "pty");
    QCOMPARE(CommPort::DeviceForPort(7), s.pty.slavePath());
    qunsetenv("QUILLMETER_COM12");
    QCOMPARE(CommPort::DeviceForPort(12), QStringLiteral("/dev/ttyACM11"));
    SendToDSO(s.link, QStringLiteral("*ESE 255"));
    QCOMPARE(SendGetResp(s.link, QStringLiteral("TRMD?"), 60.0f, 100), QStringLiteral("AUTO"));
    s.sim.config().faults.splitAnswers = true;
    QCOMPARE(SendGetResp(s.link, QStringLiteral("TSRC?"), 60.0f, 100), QStringLiteral("C1"));
    s.sim.config().faults.splitAnswers = false;
    s.sim.config().faults.silent.insert(QStringLiteral("TDIV?"));
    QCOMPARE(SendGetResp(s.link, QStringLiteral("TDIV?"), 0.3f, 100), kTimeoutReply);
    QCOMPARE(s.sim.received(), QStringList({QStringLiteral("*ESE 255"), QStringLiteral("TRMD?"), QStringLiteral("TSRC?"),
                                            QStringLiteral("TDIV?")}));
    // Reopening an open port closes and opens it again without error.
    QCOMPARE(InitCommPort(s.port, 7, QStringLiteral("38400,n,8,1")), int16_t(0));
    QCOMPARE(SendGetResp(s.link, QStringLiteral("TRMD?"), 60.0f, 100), QStringLiteral("AUTO"));
    // Port 0 and bad settings are refused.
    CommPort other;
    QCOMPARE(InitCommPort(other, 0, QStringLiteral("38400,n,8,1")), int16_t(-1));
    QCOMPARE(InitCommPort(other, 7, QStringLiteral("fast")), int16_t(-1));
}

void TestLink::serialTimeoutAcrossMidnight() {
    SimPtyLink s;
    QVERIFY(s.start(8));
    s.sim.config().faults.silent.insert(QStringLiteral("TDIV?"));
    // The clock starts 0.2 s before midnight and runs at real speed.
    QElapsedTimer real;
    real.start();
    qm::SetTimerSource([&] {
        double t = 86399.8 + real.elapsed() / 1000.0;
        return t >= 86400.0 ? t - 86400.0 : t;
    });
    const QString r = SendGetResp(s.link, QStringLiteral("TDIV?"), 0.5f, 100);
    const qint64 took = real.elapsed();
    qm::SetTimerSource(nullptr);
    QCOMPARE(r, kTimeoutReply);
    QVERIFY2(took >= 450 && took < 5000, qPrintable(QString::number(took)));
}

void TestLink::serialLostDevice() {
    SimPtyLink s;
    QVERIFY(s.start(9));
    s.pty.close();
    bool raised = false;
    try {
        for (int i = 0; i < 3; ++i) SendGetResp(s.link, QStringLiteral("TRMD?"), 1.0f, 100);
    } catch (const LinkError&) {
        raised = true;
    }
    QVERIFY(raised);
}

void TestLink::blocksOverBothTransports() {
    {
        SimTcpLink t;
        QVERIFY(t.start());
        t.sim.config().replies.clear();
        // The instrument's own block for a screen request, compared with what the reader returns.
        SendToDSO(t.link, QStringLiteral("TSCRN? png"));
        QByteArray bd;
        const int32_t n = ReadBlockTcp(t.sock, bd, kScreenBlockLimit);
        QCOMPARE(n, int32_t(bd.size()));
        QCOMPARE(bd, qmsim::screenFile(t.sim.config(), QStringLiteral("png")));
        QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
        // A length above the caller's limit fails before anything is stored.
        SendToDSO(t.link, QStringLiteral("TSCRN? bmp"));
        QVERIFY_THROWS_EXCEPTION(LinkError, ReadBlockTcp(t.sock, bd, 100));
        // The rest of the refused block was read and dropped: the next answer is its own.
        QCOMPARE(SendGetResp(t.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
    }
    {
        SimPtyLink s;
        QVERIFY(s.start(10));
        SendToDSO(s.link, QStringLiteral("TSCRN? png"));
        QByteArray bd;
        const int32_t n = ReadBinFromComm(s.port, bd, kScreenBlockLimit);
        QCOMPARE(n, int32_t(bd.size()));
        QCOMPARE(bd, qmsim::screenFile(s.sim.config(), QStringLiteral("png")));
        QCOMPARE(SendGetResp(s.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
        s.sim.config().faults.blockFault = qmsim::BlockFault::BadLength;
        SendToDSO(s.link, QStringLiteral("TSCRN? png"));
        QVERIFY_THROWS_EXCEPTION(LinkError, ReadBinFromComm(s.port, bd, kScreenBlockLimit));
        s.sim.config().faults.blockFault = qmsim::BlockFault::None;
        QCOMPARE(SendGetResp(s.link, QStringLiteral("TRMD?"), 60.0f, 80), QStringLiteral("AUTO"));
        // A closed port reads nothing and leaves the buffer alone.
        s.port.SetPortOpen(false);
        QByteArray keep("keep");
        QCOMPARE(ReadBinFromComm(s.port, keep, kScreenBlockLimit), int32_t(0));
        QCOMPARE(keep, QByteArray("keep"));
    }
}

void TestLink::connectDso() {
    qmsim::SimInstrument sim;
    qmsim::SimTcpServer server(&sim);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    CommPort port;
    SockControl sock;
    int16_t mode = 1;
    ConnectSettings cs{QStringLiteral("127.0.0.1"), QStringLiteral("COM2"), QString::number(server.port())};
    ScriptedPrompter ask;
    // Cancel: -1, nothing shown, socket untouched.
    ask.answers = {false};
    QCOMPARE(ConnectDSO(mode, port, sock, cs, ask), int16_t(-1));
    QCOMPARE(ask.questions, QStringList(QStringLiteral("確認|インタフェースはTCP：127.0.0.1です｡接続OK?")));
    QVERIFY(ask.failures.isEmpty());
    QCOMPARE(sock.State(), int16_t(SockControl::sckClosed));
    // OK: connected.
    QCOMPARE(ConnectDSO(mode, port, sock, cs, ask), int16_t(0));
    QCOMPARE(sock.State(), int16_t(SockControl::sckConnected));
    // Nobody listening: the failure message.
    server.close();
    cs.tcpPort = QString::number(server.port() == 0 ? 1 : server.port());
    QCOMPARE(ConnectDSO(mode, port, sock, cs, ask), int16_t(-1));
    QCOMPARE(ask.failures, QStringList(QStringLiteral("確認|装置が正しく接続されていません！")));
    // USB with a text that names no port: port 0, refused.
    mode = 0;
    ask.failures.clear();
    ask.questions.clear();
    cs.comText = QStringLiteral("USB");
    QCOMPARE(ConnectDSO(mode, port, sock, cs, ask), int16_t(-1));
    QCOMPARE(ask.questions, QStringList(QStringLiteral("確認|インタフェースはUSB(USB)です｡接続OK?")));
    QCOMPARE(ask.failures.size(), 1);
    // USB over a pty mapped to COM11.
    qmsim::SimPty pty(&sim);
    QVERIFY(pty.open());
    qputenv("QUILLMETER_COM11", pty.slavePath().toLocal8Bit());
    cs.comText = QStringLiteral("COM11");
    QCOMPARE(ConnectDSO(mode, port, sock, cs, ask), int16_t(0));
    QVERIFY(port.PortOpen());
    QCOMPARE(port.Settings(), QStringLiteral("38400,n,8,1"));
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
