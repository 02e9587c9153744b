// The simulated instrument: exact answers, trigger sequence, blocks, faults,
// and the TCP, pseudo-terminal and command-line front ends.
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace qmsim;

namespace {

const QString Date = QStringLiteral("2026/12/07 10:00:00");

SimConfig fixedConfig()
{
    SimConfig c;
    c.dateText = Date;
    c.measJitter = 0;
    return c;
}

// Feeds one command line and returns what the instrument answered at once.
QByteArray ask(SimInstrument& sim, const QByteArray& command)
{
    QByteArray out;
    const auto conn = QObject::connect(&sim, &SimInstrument::output, [&out](const QByteArray& b) { out += b; });
    sim.feed(command + '\n');
    QObject::disconnect(conn);
    return out;
}

// Splits "#8" + 8 digits + data + LF; false when the framing is wrong.
bool blockData(const QByteArray& block, QByteArray* data)
{
    if (block.size() < 11 || !block.startsWith("#8") || !block.endsWith('\n'))
        return false;
    bool ok = false;
    const int n = block.mid(2, 8).toInt(&ok);
    if (!ok || block.size() != 11 + n)
        return false;
    *data = block.mid(10, n);
    return true;
}

// Everything the instrument emits, piece by piece, and its drop requests.
struct Recorder {
    explicit Recorder(SimInstrument& sim)
    {
        QObject::connect(&sim, &SimInstrument::output, &ctx, [this](const QByteArray& b) {
            pieces << b;
            bytes += b;
            times << clock.elapsed();
        });
        QObject::connect(&sim, &SimInstrument::dropRequested, &ctx, [this] {
            ++drops;
            dropAt = bytes.size();
        });
        clock.start();
    }
    QObject ctx;
    QElapsedTimer clock;
    QList<QByteArray> pieces;
    QList<qint64> times;
    QByteArray bytes;
    int drops = 0;
    qsizetype dropAt = -1;
};

// A client of a pty device on a raw, non-blocking descriptor.
struct PtyClient {
    explicit PtyClient(const QString& path) { fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK); }
    ~PtyClient()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool send(const QByteArray& bytes) const { return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size(); }
    // Everything readable now, added to `got`.
    const QByteArray& take()
    {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            got.append(buf, n);
        return got;
    }
    int fd = -1;
    QByteArray got;
};

// Whether every byte is an 'A'.
bool allA(const QByteArray& b)
{
    return b.count('A') == b.size();
}

qint16 word(const QByteArray& d, int i, bool highFirst = true)
{
    const quint8 a = quint8(d[2 * i]), b = quint8(d[2 * i + 1]);
    return qint16(highFirst ? (a << 8 | b) : (b << 8 | a));
}

qint32 dword(const QByteArray& d, int i)
{
    quint32 v = 0;
    for (int k = 0; k < 4; ++k)
        v = v << 8 | quint8(d[4 * i + k]);
    return qint32(v);
}

}  // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    void dtinfLayout_data();
    void dtinfLayout();
    void configQueries_data();
    void configQueries();
    void commandFraming();
    void triggerSequence();
    void measurementSlots();
    void waveBlockLengths_data();
    void waveBlockLengths();
    void waveCodes();
    void screenImages();
    void faultDelayAndSplit();
    void faultSilentGarbageOverride();
    void faultDrops();
    void faultBlocks();
    void faultOverlong_data();
    void faultOverlong();
    void faultEndless();
    void faultTrickle();
    void endlessBackpressure();
    void receivedCount();
    void tcpRoundTrip();
    void tcpOutage();
    void ptyRoundTrip();
    void ptyOutage();
    void programFrontEnd();
    void programFaults();
    void programBaud_data();
    void programBaud();
    void programBadOptions_data();
    void programBadOptions();
};

void TestSim::dtinfLayout_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("rlItem");
    QTest::newRow("four channels") << "DS-5554" << "" << 23;
    QTest::newRow("two channels, maker prefix") << "DS-5552" << "ACME " << 15;
}

void TestSim::dtinfLayout()
{
    QFETCH(QString, model);
    QFETCH(QString, prefix);
    QFETCH(int, rlItem);
    SimConfig cfg = fixedConfig();
    cfg.modelName = model;
    cfg.modelPrefix = prefix;
    cfg.recordLength = 2600000;
    SimInstrument sim(cfg);
    const QByteArray reply = ask(sim, "DTINF?");
    QVERIFY(reply.endsWith('\n'));
    QVERIFY(reply.size() < 1000);  // fits the reader's 1000-character answer
    const QStringList items = QString::fromLatin1(reply.chopped(1)).split(',');
    QCOMPARE(items.size(), 31);
    QCOMPARE(items[0], prefix + model);
    QVERIFY(items[1].endsWith('1'));
    QCOMPARE(items[2].right(19), Date);
    QCOMPARE(items[rlItem].left(16), QStringLiteral("Record Length = "));
    QCOMPARE(items[rlItem].mid(16, 10), QStringLiteral("0002600000"));
    QCOMPARE(items[rlItem].size(), 26);
    QCOMPARE(items.filter(QStringLiteral("Record Length")).size(), 1);
}

void TestSim::configQueries_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("DATE?") << QByteArray("DATE?") << QByteArray("2026/12/07 10:00:00\n");
    QTest::newRow("TDIV?") << QByteArray("TDIV?") << QByteArray("1.000E-03\n");
    QTest::newRow("ACQ?") << QByteArray("ACQ?") << QByteArray("SAMPLE\n");
    QTest::newRow("TSRC?") << QByteArray("TSRC?") << QByteArray("C1\n");
    QTest::newRow("TLVL?") << QByteArray("TLVL?") << QByteArray("5.000E-01\n");
    QTest::newRow("TRDL?") << QByteArray("TRDL?") << QByteArray("0.000E+00\n");
    QTest::newRow("TRMD?") << QByteArray("TRMD?") << QByteArray("AUTO\n");
    QTest::newRow("C2:VDIV?") << QByteArray("C2:VDIV?") << QByteArray("1.000E+00\n");
    QTest::newRow("C4:VDIV?") << QByteArray("C4:VDIV?") << QByteArray("5.000E+00\n");
    QTest::newRow("C1:OFST? blank") << QByteArray("C1:OFST? ") << QByteArray("0.000E+00\n");
    QTest::newRow("C1:OFST? bare") << QByteArray("C1:OFST?") << QByteArray("0.000E+00\n");
    QTest::newRow("C2:TRA? ") << QByteArray("C2:TRA? ") << QByteArray("ON\n");
    QTest::newRow("C3:TRA? ") << QByteArray("C3:TRA? ") << QByteArray("OFF\n");
    QTest::newRow("C1:CPL? ") << QByteArray("C1:CPL? ") << QByteArray("DC1M\n");
    QTest::newRow("C1:BWL? ") << QByteArray("C1:BWL? ") << QByteArray("OFF\n");
    QTest::newRow("C2:VUNI? ") << QByteArray("C2:VUNI? ") << QByteArray("V\n");
    QTest::newRow("C2:VUNI?") << QByteArray("C2:VUNI?") << QByteArray("V\n");
    QTest::newRow("C4:INV?") << QByteArray("C4:INV?") << QByteArray("OFF\n");
    QTest::newRow("M1:VDIV?") << QByteArray("M1:VDIV?") << QByteArray("1.000E+00\n");
    QTest::newRow("M1:OFST?") << QByteArray("M1:OFST?") << QByteArray("0.000E+00\n");
    QTest::newRow("M1:TRA?") << QByteArray("M1:TRA?") << QByteArray("OFF\n");
    QTest::newRow("MATH?") << QByteArray("MATH?") << QByteArray("ADD\n");
    QTest::newRow("MATHS?") << QByteArray("MATHS?") << QByteArray("CH1,CH2\n");
    QTest::newRow("FSRC?") << QByteArray("FSRC?") << QByteArray("CH1\n");
    QTest::newRow("FWINDOW?") << QByteArray("FWINDOW?") << QByteArray("HANNING\n");
    QTest::newRow("FDELTA?") << QByteArray("FDELTA?") << QByteArray("1.000E+03\n");
    QTest::newRow("no channel 5") << QByteArray("C5:VDIV?") << QByteArray();
    QTest::newRow("case matters") << QByteArray("tdiv?") << QByteArray();
    QTest::newRow("unknown") << QByteArray("FOO?") << QByteArray();
    QTest::newRow("settings answer nothing") << QByteArray("DISP OFF") << QByteArray();
}

void TestSim::configQueries()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    SimInstrument sim(fixedConfig());
    QCOMPARE(ask(sim, command), reply);
    QCOMPARE(sim.received(), QStringList{QString::fromLatin1(command)});
}

void TestSim::commandFraming()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    // Pieces that cut commands anywhere, CR LF and LF endings, blanks kept.
    for (const char* piece : {"C1:OF", "ST? \r", "\n*ESE 255\nGTL\nDISP O", "FF\nTRMD NORMAL\nTRMD?\nFOO BAR\n"})
        sim.feed(piece);
    QCOMPARE(sim.received(),
             (QStringList{"C1:OFST? ", "*ESE 255", "GTL", "DISP OFF", "TRMD NORMAL", "TRMD?", "FOO BAR"}));
    QCOMPARE(rec.bytes, QByteArray("0.000E+00\nNORMAL\n"));
    QCOMPARE(sim.eseValue(), 255);
    QVERIFY(!sim.displayOn());
    QVERIFY(!sim.isLocal());
    ask(sim, "GTL");
    QVERIFY(sim.isLocal());
    ask(sim, "DISP ON");
    QVERIFY(sim.displayOn());
    sim.clearReceived();
    QVERIFY(sim.received().isEmpty());
}

void TestSim::triggerSequence()
{
    SimInstrument sim(fixedConfig());
    QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));  // not armed
    QCOMPARE(ask(sim, "WSGL"), QByteArray());
    QVERIFY(sim.triggerArmed());
    QCOMPARE(ask(sim, "TRMD?"), QByteArray("SINGLE\n"));
    QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));
    QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));
    QCOMPARE(ask(sim, "TESR?"), QByteArray("1\n"));  // third poll after two
    QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));  // reading cleared it
    QCOMPARE(sim.triggerCount(), 1);
    QCOMPARE(ask(sim, "TRMD?"), QByteArray("STOP\n"));
    ask(sim, "TRMD AUTO");
    QCOMPARE(ask(sim, "TRMD?"), QByteArray("AUTO\n"));

    // Extra status bits, immediate trigger.
    sim.config().statusExtraBits = 2;
    sim.config().triggerPolls = 0;
    ask(sim, "WSGL");
    QCOMPARE(ask(sim, "TESR?"), QByteArray("3\n"));
    QCOMPARE(ask(sim, "TESR?"), QByteArray("2\n"));

    // Never fires.
    sim.config().statusExtraBits = 0;
    sim.config().triggerPolls = -1;
    ask(sim, "WSGL");
    for (int i = 0; i < 20; ++i)
        QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));

    // Fires only after the delay has passed.
    sim.config().triggerPolls = 0;
    sim.config().triggerDelayMs = 60;
    ask(sim, "WSGL");
    QCOMPARE(ask(sim, "TESR?"), QByteArray("0\n"));
    QTest::qWait(80);
    QCOMPARE(ask(sim, "TESR?"), QByteArray("1\n"));
    QCOMPARE(sim.triggerCount(), 3);
}

void TestSim::measurementSlots()
{
    SimInstrument sim(fixedConfig());
    QCOMPARE(ask(sim, "MSEL?"), QByteArray("C1,MAX\n"));  // slot A at power-on
    const QByteArray expected[4] = {"C1,MAX\n", "C1,P-P\n", "C2,DUTY\n", "C1,INTEGRAL\n"};
    for (int k = 0; k < 4; ++k) {
        QCOMPARE(ask(sim, QByteArray("DIRM ") + char('A' + k)), QByteArray());
        QCOMPARE(sim.measSlot(), QChar('A' + k));
        QCOMPARE(ask(sim, "MSEL?"), expected[k]);
    }
    QCOMPARE(ask(sim, "MSRA?"), QByteArray("1.5000E+00\n"));
    QCOMPARE(ask(sim, "MSRD?"), QByteArray("1.2500E-03\n"));
    sim.config().meas[1].fixed = "9.9E+37";
    QCOMPARE(ask(sim, "MSRB?"), QByteArray("9.9E+37\n"));

    // With jitter the values move a little from trigger to trigger.
    sim.config().measJitter = 0.01;
    sim.config().triggerPolls = 0;
    QSet<QByteArray> seen;
    for (int i = 0; i < 4; ++i) {
        ask(sim, "WSGL");
        ask(sim, "TESR?");
        const QByteArray r = ask(sim, "MSRC?");
        QVERIFY(qAbs(r.chopped(1).toDouble() - 50.0) <= 0.5);
        seen << r;
    }
    QVERIFY(seen.size() > 1);
}

void TestSim::waveBlockLengths_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QString>("mathType");
    QTest::addColumn<int>("bytes");
    const QByteArrayList byteCh1{"DTFORM BYTE", "WAVESRC CH1", "DTPOINTS 10000", "DTSTART 0"};
    QTest::newRow("BYTE CH1") << byteCh1 << "ADD" << 10000;
    QTest::newRow("WORD CH2") << QByteArrayList{"DTBORD H/L", "DTFORM WORD", "WAVESRC CH2", "DTPOINTS 10000",
                                                "DTSTART 0"}
                              << "ADD" << 20000;
    QTest::newRow("MATH SUB, BYTE asked") << QByteArrayList{"DTFORM BYTE", "WAVESRC MATH", "DTPOINTS 10000"} << "SUB"
                                          << 20000;
    QTest::newRow("MATH MULT") << QByteArrayList{"DTFORM WORD", "WAVESRC MATH", "DTPOINTS 10000"} << "MULT" << 40000;
    QTest::newRow("MATH FFT") << QByteArrayList{"WAVESRC MATH"} << "FFT" << 20000;
    QTest::newRow("fewer points") << QByteArrayList{"WAVESRC CH3", "DTPOINTS 5000"} << "ADD" << 5000;
    QTest::newRow("start near the end") << QByteArrayList{"DTPOINTS 10000", "DTSTART 9000"} << "ADD" << 1000;
    QTest::newRow("start past the end") << QByteArrayList{"DTSTART 20000"} << "ADD" << 0;
    QTest::newRow("bad values ignored") << QByteArrayList{"DTPOINTS -5", "DTSTART abc", "WAVESRC CH9"} << "ADD"
                                        << 10000;
}

void TestSim::waveBlockLengths()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QString, mathType);
    QFETCH(int, bytes);
    SimInstrument sim(fixedConfig());
    sim.config().math.type = mathType;
    for (const QByteArray& c : setup)
        QCOMPARE(ask(sim, c), QByteArray());
    const QByteArray block = ask(sim, "DTWAVE?");
    QByteArray data;
    QVERIFY2(blockData(block, &data), block.left(12).constData());
    QCOMPARE(data.size(), bytes);
    QCOMPARE(block.left(10), QByteArray("#8") + QByteArray::number(bytes).rightJustified(8, '0'));
}

void TestSim::waveCodes()
{
    // Sample 500 of 10000 is the sine's crest (CH1: +3 div at 0.5 V/div) and
    // the square's high level (CH2: +2 div at 1 V/div).
    SimInstrument sim(fixedConfig());
    auto wave = [&sim](const QByteArrayList& cmds) {
        for (const QByteArray& c : cmds)
            ask(sim, c);
        QByteArray data;
        blockData(ask(sim, "DTWAVE?"), &data);
        return data;
    };
    QByteArray d = wave({"DTFORM BYTE", "WAVESRC CH1"});
    QCOMPARE(qint8(d[500]), qint8(96));      // 3 div * 32
    QCOMPARE(qint8(d[1500]), qint8(-96));
    d = wave({"DTFORM WORD", "DTBORD H/L", "WAVESRC CH2"});
    QCOMPARE(d.mid(1000, 2), QByteArray("\x40\x00", 2));  // 2 div * 8192, high byte first
    QCOMPARE(word(d, 1500), qint16(-16384));
    d = wave({"DTBORD L/H"});
    QCOMPARE(d.mid(1000, 2), QByteArray("\x00\x40", 2));
    ask(sim, "DTBORD H/L");

    sim.config().channels[0].invert = "ON";
    d = wave({"DTFORM BYTE", "WAVESRC CH1"});
    QCOMPARE(qint8(d[500]), qint8(-96));
    sim.config().channels[0].invert = "OFF";

    // Math codes read back with the logger's formulas give the math values.
    sim.config().math.type = "SUB";  // 1.5 V - 2 V, 4096 codes per larger scale (1 V)
    d = wave({"WAVESRC MATH"});
    QCOMPARE(word(d, 500), qint16(-2048));
    sim.config().math.type = "ADD";
    sim.config().channels[0].offset = 0.1;  // v1 = 1.4 V; the reader subtracts both offsets
    d = wave({});
    QCOMPARE(word(d, 500), qint16(qRound((3.4 + 0.1) * 4096)));
    sim.config().channels[0].offset = 0;
    sim.config().math.type = "MULT";  // 1.5 V * 2 V = 3 V^2, 1024 per 0.5 * 1
    d = wave({});
    QCOMPARE(d.size(), 40000);
    QCOMPARE(dword(d, 500), qint32(6144));
    QCOMPARE(d.mid(2000, 4), QByteArray("\x00\x00\x18\x00", 4));
    sim.config().math.type = "FFT";  // -20 dBm line at a tenth of the span, hundredths
    d = wave({});
    QCOMPARE(word(d, 1000), qint16(-2000));
}

void TestSim::screenImages()
{
    SimInstrument sim(fixedConfig());
    auto yellow = [](const QImage& img) {
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < 620; ++x) {  // the graticule, not the level marker
                const QColor c = img.pixelColor(x, y);
                n += c.red() > 200 && c.green() > 180 && c.blue() < 100;
            }
        return n;
    };
    for (const char* fmt : {"bmp", "png"}) {
        const QByteArray block = ask(sim, QByteArray("TSCRN? ") + fmt);
        QByteArray data;
        QVERIFY(blockData(block, &data));
        QVERIFY(data.size() <= 1000001);  // fits the serial reader's buffer
        const QImage img = QImage::fromData(data, QByteArray(fmt).toUpper().constData());
        QCOMPARE(img.size(), QSize(640, 480));
        QVERIFY(yellow(img) > 500);  // CH1's trace
    }
    QVERIFY(ask(sim, "TSCRN? bmp").mid(10, 2) == "BM");
    QCOMPARE(ask(sim, "TSCRN? jpg"), QByteArray());

    sim.config().channels[0].display = "OFF";
    QByteArray data;
    QVERIFY(blockData(ask(sim, "TSCRN? png"), &data));
    QCOMPARE(yellow(QImage::fromData(data, "PNG")), 0);
}

void TestSim::faultDelayAndSplit()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    sim.config().faults.replyDelayMs = 100;
    sim.feed("TDIV?\nACQ?\nGTL\nTESR?\n");
    QVERIFY(rec.bytes.isEmpty());  // nothing yet: the answers wait in the queue
    QVERIFY(sim.hasPendingOutput());
    QTRY_COMPARE(rec.bytes, QByteArray("1.000E-03\nSAMPLE\n0\n"));
    QVERIFY(rec.times.first() >= 90);

    sim.config().faults.replyDelayMs = 0;
    sim.config().faults.splitAnswers = true;
    rec.pieces.clear();
    rec.bytes.clear();
    rec.times.clear();
    rec.clock.restart();
    sim.feed("TDIV?\n");
    QCOMPARE(rec.pieces.size(), 1);  // the first half at once
    QTRY_COMPARE(rec.pieces.size(), 2);
    QCOMPARE(rec.bytes, QByteArray("1.000E-03\n"));
    QVERIFY(!rec.pieces[0].endsWith('\n'));
    QVERIFY(rec.times[1] - rec.times[0] >= 25);

    // A link that changes hands drops the old link's pending answers.
    sim.config().faults.replyDelayMs = 50;
    sim.config().faults.splitAnswers = false;
    QObject other;
    sim.feed("TDIV?\n");
    sim.feed("ACQ?\n", &other);
    QCOMPARE(sim.client(), &other);
    rec.bytes.clear();
    QTRY_COMPARE(rec.bytes, QByteArray("SAMPLE\n"));
    QTest::qWait(80);
    QCOMPARE(rec.bytes, QByteArray("SAMPLE\n"));
}

void TestSim::faultSilentGarbageOverride()
{
    SimInstrument sim(fixedConfig());
    SimFaults& f = sim.config().faults;
    f.silent = {"TDIV?", "C1:OFST?"};
    QCOMPARE(ask(sim, "TDIV?"), QByteArray());
    QCOMPARE(ask(sim, "C1:OFST? "), QByteArray());  // matches without its trailing blank
    QCOMPARE(ask(sim, "ACQ?"), QByteArray("SAMPLE\n"));
    f.silent = {"*"};
    QCOMPARE(ask(sim, "ACQ?"), QByteArray());
    QCOMPARE(ask(sim, "DTWAVE?"), QByteArray());
    ask(sim, "TRMD NORMAL");  // silent commands still act
    f.silent.clear();
    QCOMPARE(ask(sim, "TRMD?"), QByteArray("NORMAL\n"));

    f.garbage = {"TESR?"};
    const QByteArray g1 = ask(sim, "TESR?");
    const QByteArray g2 = ask(sim, "TESR?");
    QCOMPARE(g1.size(), 17);
    QVERIFY(g1.endsWith('\n'));
    QVERIFY(g1 != g2);
    for (char c : g1.chopped(1) + g2.chopped(1))
        QVERIFY2(!QByteArray("0123456789+-. \t\r\n").contains(c), "garbage must not read as a number");
    f.garbage.clear();

    sim.config().replies.insert("MSEL?", "C1,MAX,EXTRA,MORE,ITEMS");
    sim.config().replies.insert("C1:VUNI?", "abc");
    sim.config().replies.insert("GTL", "stray");
    QCOMPARE(ask(sim, "MSEL?"), QByteArray("C1,MAX,EXTRA,MORE,ITEMS\n"));
    QCOMPARE(ask(sim, "C1:VUNI? "), QByteArray("abc\n"));
    QCOMPARE(ask(sim, "GTL"), QByteArray("stray\n"));
}

void TestSim::faultDrops()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    sim.config().faults.dropAfter = 3;
    sim.feed("GTL\nTDIV?\nACQ?\nTSRC?\n");
    QCOMPARE(rec.drops, 1);
    QCOMPARE(rec.bytes, QByteArray("1.000E-03\nSAMPLE\n"));  // answers first, then the drop
    QCOMPARE(rec.dropAt, rec.bytes.size());
    QCOMPARE(sim.received().size(), 3);  // what followed went with the link
    QCOMPARE(sim.config().faults.dropAfter, 0);  // once only
    QCOMPARE(ask(sim, "TSRC?"), QByteArray("C1\n"));

    sim.config().faults.dropOn = {"MSRA?"};
    QCOMPARE(ask(sim, "MSRA?"), QByteArray());
    QCOMPARE(rec.drops, 2);
    QCOMPARE(ask(sim, "MSRA?"), QByteArray("1.5000E+00\n"));
    QCOMPARE(rec.drops, 2);

    // A delayed drop: input that arrives before it is lost.
    sim.config().faults.replyDelayMs = 40;
    const int before = int(sim.received().size());
    sim.config().faults.dropAfter = before + 1;
    sim.feed("TDIV?\n");
    sim.feed("ACQ?\n");
    QTRY_COMPARE(rec.drops, 3);
    QVERIFY(rec.bytes.endsWith("1.5000E+00\n1.000E-03\n"));
    QCOMPARE(sim.received().size(), before + 1);
    QCOMPARE(sim.received().last(), QStringLiteral("TDIV?"));
}

void TestSim::faultBlocks()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    SimFaults& f = sim.config().faults;
    QByteArray good;
    QVERIFY(blockData(ask(sim, "DTWAVE?"), &good));

    f.blockFault = BlockFault::BadLength;
    const QByteArray bad = ask(sim, "DTWAVE?");
    QCOMPARE(bad, QByteArray("#8abcdefgh") + good + '\n');

    f.blockFault = BlockFault::Truncated;
    rec.bytes.clear();
    sim.feed("DTWAVE?\n");
    QTest::qWait(60);
    QCOMPARE(rec.bytes, QByteArray("#800010000") + good.left(5000));

    f.blockFault = BlockFault::Chunked;
    f.chunkBytes = 1000;
    rec.bytes.clear();
    rec.pieces.clear();
    rec.times.clear();
    sim.feed("DTWAVE?\n");
    QTRY_VERIFY(rec.bytes.endsWith('\n'));
    QCOMPARE(rec.bytes, makeBlock(good));
    QCOMPARE(rec.pieces.size(), 12);  // 10010 bytes in pieces of 1000, then the LF alone
    QCOMPARE(rec.pieces.last(), QByteArray("\n"));
    QVERIFY(rec.times.last() - rec.times[rec.times.size() - 2] >= 40);
}

void TestSim::faultOverlong_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("number padded") << "MSRD?" << 20 << QByteArray("MSRD?") << QByteArray("1.2500E-03,X,X,X,X,X\n");
    QTest::newRow("300 characters") << "MSRD?" << 300 << QByteArray("MSRD?")
                                    << QByteArray("1.2500E-03") + QByteArray(",X").repeated(145) + '\n';
    QTest::newRow("odd length") << "TDIV?" << 12 << QByteArray("TDIV?") << QByteArray("1.000E-03,X,\n");
    QTest::newRow("trailing blank") << "C1:OFST?" << 11 << QByteArray("C1:OFST? ") << QByteArray("0.000E+00,X\n");
    QTest::newRow("already long") << "TDIV?" << 5 << QByteArray("TDIV?") << QByteArray("1.000E-03\n");
    QTest::newRow("others untouched") << "MSRD?" << 50 << QByteArray("TDIV?") << QByteArray("1.000E-03\n");
    QTest::newRow("every answer") << "*" << 12 << QByteArray("ACQ?") << QByteArray("SAMPLE,X,X,X\n");
    QTest::newRow("no answer stays none") << "*" << 12 << QByteArray("GTL") << QByteArray();
}

void TestSim::faultOverlong()
{
    QFETCH(QString, key);
    QFETCH(int, length);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    SimInstrument sim(fixedConfig());
    sim.config().faults.overlong.insert(key, length);
    QCOMPARE(ask(sim, command), reply);
    QByteArray data;
    QVERIFY(blockData(ask(sim, "DTWAVE?"), &data));  // blocks are never padded
    QCOMPARE(data.size(), 10000);
}

void TestSim::faultEndless()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    SimFaults& f = sim.config().faults;
    f.endless = {"MSRA?"};
    f.endlessRate = 100000;  // 1000 bytes every 10 ms

    // 'A' after 'A', no LF, at about the rate, until the next command.
    sim.feed("MSRA?\n");
    QVERIFY(sim.isStreaming());
    QCOMPARE(rec.bytes, QByteArray(1000, 'A'));  // the first chunk at once
    QTest::qWait(200);
    QVERIFY(allA(rec.bytes));
    QVERIFY2(rec.bytes.size() >= 10000 && rec.bytes.size() <= 30000, QByteArray::number(rec.bytes.size()));
    sim.feed("TDIV?\n");
    QVERIFY(!sim.isStreaming());
    QVERIFY(rec.bytes.endsWith("A1.000E-03\n"));
    QVERIFY(allA(rec.bytes.chopped(10)));
    const qsizetype total = rec.bytes.size();
    QTest::qWait(50);
    QCOMPARE(rec.bytes.size(), total);

    // A chunk leaves only when the transport has written the previous one.
    qint64 backlog = 0;
    QObject::connect(&sim, &SimInstrument::backlogRequested, &rec.ctx,
                     [&backlog](const QObject*, qint64* bytes) { *bytes += backlog; });
    rec.bytes.clear();
    sim.feed("MSRA? \n");  // matches with its trailing blank too
    QCOMPARE(rec.bytes.size(), 1000);
    backlog = 1;
    QTest::qWait(60);
    QCOMPARE(rec.bytes.size(), 1000);
    backlog = 0;
    QTRY_VERIFY(rec.bytes.size() > 1000);
    QVERIFY(rec.bytes.size() <= 1000 + 65536);  // what was owed, in one chunk at most
    QVERIFY(allA(rec.bytes));

    // The client goes: the stream ends.
    sim.detach(nullptr);
    QVERIFY(!sim.isStreaming());
    rec.bytes.clear();
    QTest::qWait(40);
    QVERIFY(rec.bytes.isEmpty());

    // A stream still waiting behind a delay is cancelled by the next command.
    f.replyDelayMs = 40;
    sim.feed("MSRA?\nTDIV?\n");
    QTest::qWait(100);
    QCOMPARE(rec.bytes, QByteArray("1.000E-03\n"));
    QVERIFY(!sim.isStreaming());
}

void TestSim::faultTrickle()
{
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    SimFaults& f = sim.config().faults;
    ask(sim, "DTPOINTS 5");
    const QByteArray block = ask(sim, "DTWAVE?");
    QCOMPARE(block.size(), 16);

    f.blockFault = BlockFault::Trickle;
    f.trickleMs = 20;
    rec.pieces.clear();
    rec.bytes.clear();
    rec.times.clear();
    rec.clock.restart();
    sim.feed("DTWAVE?\n");
    QCOMPARE(rec.pieces, QList<QByteArray>{block.left(1)});  // the first byte at once
    sim.feed("TDIV?\n");  // its answer waits for the whole block
    QTRY_VERIFY_WITH_TIMEOUT(rec.bytes.endsWith('\n') && rec.bytes.size() > 16, 5000);
    QCOMPARE(rec.bytes, block + "1.000E-03\n");
    QCOMPARE(rec.pieces.size(), 17);
    for (int i = 0; i < 16; ++i)
        QCOMPARE(rec.pieces[i].size(), 1);
    // Never a long silence, and no faster than one byte per step overall.
    for (int i = 1; i < 16; ++i) {
        const qint64 gap = rec.times[i] - rec.times[i - 1];
        QVERIFY2(gap <= 200, QByteArray::number(gap));
    }
    QVERIFY2(rec.times[15] - rec.times[0] >= 290, QByteArray::number(rec.times[15] - rec.times[0]));
    QCOMPARE(SimFaults{}.trickleMs, 1000);
}

void TestSim::endlessBackpressure()
{
    // A pty client that reads nothing: the instrument stops after what the
    // terminal holds, far below what the rate would have sent.
    SimInstrument sim(fixedConfig());
    Recorder rec(sim);
    sim.config().faults.endless = {"MSRA?"};
    sim.config().faults.endlessRate = 50000000;
    SimPty pty(&sim);
    QVERIFY2(pty.open(), qPrintable(pty.errorString()));
    PtyClient client(pty.slavePath());
    QVERIFY(client.fd >= 0);
    QVERIFY(client.send("MSRA?\n"));
    QTRY_VERIFY(sim.isStreaming());
    QTest::qWait(300);  // ~2 MB at the largest chunks, without the brake
    QVERIFY2(rec.bytes.size() < 300000, QByteArray::number(rec.bytes.size()));

    // Reading lets it go on; the bytes are the stream's.
    QTRY_VERIFY(client.take().size() > rec.bytes.size() / 2 && client.got.size() > 200000);
    QVERIFY(allA(client.got));
    QVERIFY(client.send("TDIV?\n"));
    QTRY_VERIFY(client.take().endsWith("A1.000E-03\n"));
    QVERIFY(!sim.isStreaming());
}

void TestSim::receivedCount()
{
    SimInstrument sim(fixedConfig());
    sim.feed("TDIV?\nC1:OFST? \nTDIV?\nC1:OFST?\nGTL\n");
    QCOMPARE(sim.receivedCount("TDIV?"), 2);
    QCOMPARE(sim.receivedCount("C1:OFST?"), 2);
    QCOMPARE(sim.receivedCount("C1:OFST? "), 2);
    QCOMPARE(sim.receivedCount("ACQ?"), 0);
    sim.clearReceived();
    QCOMPARE(sim.receivedCount("TDIV?"), 0);
}

void TestSim::tcpRoundTrip()
{
    SimInstrument sim(fixedConfig());
    SimTcpServer server(&sim);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QVERIFY(server.port() != 0);

    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE(a.state(), QAbstractSocket::ConnectedState);
    a.write("DATE?\nWSGL\nTESR?\n");
    QTRY_COMPARE(a.bytesAvailable(), qint64(22));
    QCOMPARE(a.readAll(), QByteArray("2026/12/07 10:00:00\n0\n"));
    a.write("TSCRN? bmp\n");
    QByteArray got;
    QTRY_VERIFY((got += a.readAll()).size() >= 11 && got.size() >= 11 + got.mid(2, 8).toInt());
    QByteArray data;
    QVERIFY(blockData(got, &data));
    QCOMPARE(QImage::fromData(data, "BMP").size(), QSize(640, 480));

    // A second connection while the first is open: answers follow the sender.
    QTcpSocket b;
    b.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE(server.connectionCount(), 2);
    b.write("TDIV?\n");
    QByteArray gotB;
    QTRY_COMPARE((gotB += b.readAll()), QByteArray("1.000E-03\n"));
    QCOMPARE(a.bytesAvailable(), qint64(0));

    // A drop closes the sender's connection after its answer.
    sim.config().faults.dropAfter = sim.received().size() + 1;
    b.write("ACQ?\n");
    QTRY_COMPARE(b.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(b.readAll(), QByteArray("SAMPLE\n"));
    QTRY_COMPARE(server.connectionCount(), 1);
    a.write("TSRC?\n");
    got.clear();
    QTRY_COMPARE((got += a.readAll()), QByteArray("C1\n"));
    QCOMPARE(sim.received().last(), QStringLiteral("TSRC?"));
}

void TestSim::tcpOutage()
{
    SimInstrument sim(fixedConfig());
    SimTcpServer server(&sim);
    QSignalSpy listening(&server, &SimTcpServer::listeningChanged);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.port();
    auto refused = [port] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(2000) ? QAbstractSocket::UnknownSocketError : s.error();
    };
    auto roundTrip = [port] {  // the server answers from this thread's event loop
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (!QTest::qWaitFor([&s] { return s.state() == QAbstractSocket::ConnectedState; }, 2000))
            return QByteArray("not connected");
        s.write("TDIV?\n");
        QByteArray got;
        (void)QTest::qWaitFor([&] { return (got += s.readAll()).endsWith('\n'); }, 2000);
        return got;
    };

    // By hand: refused while paused, the same port afterwards.
    server.pause();
    QVERIFY(server.isPaused() && !server.isListening());
    QCOMPARE(server.port(), port);
    QCOMPARE(refused(), QAbstractSocket::ConnectionRefusedError);
    QVERIFY(server.resume());
    QVERIFY(server.isListening());
    QCOMPARE(server.port(), port);
    QCOMPARE(roundTrip(), QByteArray("1.000E-03\n"));
    QCOMPARE(listening.size(), 2);

    // From the faults: answers first, then the link goes, then refusals.
    sim.config().faults.outageAfter = sim.receivedCount("TDIV?") + 2;
    sim.config().faults.outageMs = 400;
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(a.waitForConnected(2000));
    QElapsedTimer clock;
    clock.start();
    a.write("TDIV?\nACQ?\nTSRC?\n");
    QByteArray got;
    QTRY_COMPARE(a.state(), QAbstractSocket::UnconnectedState);
    got += a.readAll();
    QCOMPARE(got, QByteArray("1.000E-03\nSAMPLE\n"));
    QCOMPARE(sim.received().last(), QStringLiteral("ACQ?"));  // TSRC? went with the link
    QVERIFY(!server.isListening());
    QCOMPARE(refused(), QAbstractSocket::ConnectionRefusedError);
    QTRY_VERIFY_WITH_TIMEOUT(server.isListening(), 3000);
    QVERIFY(clock.elapsed() >= 350);
    QCOMPARE(server.port(), port);
    QCOMPARE(roundTrip(), QByteArray("1.000E-03\n"));
    QCOMPARE(sim.config().faults.outageAfter, 0);  // once only
    QCOMPARE(roundTrip(), QByteArray("1.000E-03\n"));
    QCOMPARE(listening.size(), 4);
}

void TestSim::ptyOutage()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("scope");
    SimInstrument sim(fixedConfig());
    SimPty pty(&sim);
    QSignalSpy opened(&pty, &SimPty::opened);
    QSignalSpy closed(&pty, &SimPty::closed);
    QVERIFY(pty.setLinkPath(link));
    QVERIFY(!QFileInfo(link).isSymLink());  // made when the pty opens
    QVERIFY2(pty.open(), qPrintable(pty.errorString()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());

    auto check = [](PtyClient& c) {
        c.got.clear();
        if (!c.send("TDIV?\n"))
            return false;
        QElapsedTimer t;
        t.start();
        while (c.take() != "1.000E-03\n" && t.elapsed() < 3000)
            QTest::qWait(5);
        return c.got == "1.000E-03\n";
    };
    // The old device has hung up: poll says so, writing fails.
    auto hungUp = [](const PtyClient& c) {
        pollfd p{c.fd, POLLOUT, 0};
        const bool hup = ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
        errno = 0;
        return hup && ::write(c.fd, "X", 1) < 0 && errno == EIO;
    };

    // By hand.
    PtyClient first(link);
    QVERIFY(first.fd >= 0);
    QVERIFY(check(first));
    const int slaveFirst = first.fd;
    QVERIFY(pty.reopen());
    QVERIFY(hungUp(first));
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());
    PtyClient second(link);
    QVERIFY(second.fd >= 0 && second.fd != slaveFirst);
    QVERIFY(check(second));

    // From the faults: the answer, then the device is gone, then a new one.
    sim.config().faults.outageAfter = sim.received().size() + 1;
    sim.config().faults.outageMs = 300;
    const int closedBefore = int(closed.size());
    QVERIFY(check(second));
    QTRY_COMPARE(closed.size(), closedBefore + 1);
    QVERIFY(!pty.isOpen());
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) < 0 && errno == ENOENT);
    QVERIFY(hungUp(second));
    QTRY_VERIFY_WITH_TIMEOUT(pty.isOpen(), 3000);
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty.slavePath());
    PtyClient third(link);
    QVERIFY(third.fd >= 0);
    QVERIFY(check(third));
    QCOMPARE(opened.size(), 3);

    // The link is removed with the pty; a file that is no link is never replaced.
    pty.close();
    QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    QFile plain(link);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(!pty.open());
    QVERIFY(pty.errorString().contains("no symbolic link"));
    QVERIFY(!pty.isOpen());
    QVERIFY(QFileInfo(link).isFile());
    QVERIFY(pty.setLinkPath(QString()));
    QVERIFY(pty.open());
    QVERIFY(QFileInfo(link).isFile());
}

void TestSim::ptyRoundTrip()
{
    SimInstrument sim(fixedConfig());
    SimPty pty(&sim);
    QVERIFY2(pty.open(), qPrintable(pty.errorString()));
    QVERIFY(pty.slavePath().startsWith("/dev/"));

    for (int round = 0; round < 2; ++round) {  // the port can be closed and opened again
        QSerialPort port;
        port.setPortName(pty.slavePath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        QVERIFY(port.setBaudRate(38400));
        QVERIFY(port.setDataBits(QSerialPort::Data8));
        QVERIFY(port.setParity(QSerialPort::NoParity));
        QVERIFY(port.setStopBits(QSerialPort::OneStop));
        QVERIFY(port.setFlowControl(QSerialPort::NoFlowControl));
        port.write("TDIV?\nC1:OFST? \n");
        QByteArray got;
        QTRY_COMPARE((got += port.readAll()), QByteArray("1.000E-03\n0.000E+00\n"));
        QCOMPARE(sim.received().last(), QStringLiteral("C1:OFST? "));

        // A large block passes the terminal's small queue intact.
        port.write("TSCRN? bmp\n");
        got.clear();
        QTRY_VERIFY_WITH_TIMEOUT((got += port.readAll()).size() >= 11 && got.size() >= 11 + got.mid(2, 8).toInt(),
                                 20000);
        QByteArray data;
        QVERIFY(blockData(got, &data));
        QCOMPARE(QImage::fromData(data, "BMP").size(), QSize(640, 480));
        port.close();
    }

    QSignalSpy closed(&pty, &SimPty::closed);
    sim.config().faults.dropOn = {"GTL"};
    QSerialPort port;
    port.setPortName(pty.slavePath());
    QVERIFY(port.open(QIODevice::ReadWrite));
    port.write("GTL\n");
    QTRY_COMPARE(closed.size(), 1);
    QVERIFY(!pty.isOpen());
}

void TestSim::programFrontEnd()
{
    const QString program = qEnvironmentVariable("QUILLMETER_SIM");
    if (program.isEmpty())
        QSKIP("QUILLMETER_SIM names no program");
    QProcess proc;
    // A reply with an escaped LF is sent as written, no LF added.
    proc.start(program, {"--listen", "127.0.0.1:0", "--log", "--date", Date, "--reply", "MSRA?=abc", "--model",
                         "DS-5552", "--reply", "TDIV?=1.25\\nX\\\\\\r"});
    QVERIFY(proc.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(proc.canReadLine(), 10000);
    const QByteArray first = proc.readLine();
    QVERIFY2(first.startsWith("TCP 127.0.0.1:") && first.endsWith('\n'), first.constData());
    const quint16 port = quint16(first.mid(14).trimmed().toUInt());

    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE(s.state(), QAbstractSocket::ConnectedState);
    s.write("MSRA?\nDATE?\nC1:OFST? \nTDIV?\n");
    QByteArray got;
    QTRY_COMPARE((got += s.readAll()), QByteArray("abc\n2026/12/07 10:00:00\n0.000E+00\n1.25\nX\\\r"));
    QByteArray log;
    QTRY_VERIFY((log += proc.readAllStandardOutput()).count('\n') >= 4);
    QCOMPARE(log, QByteArray("< MSRA?\n< DATE?\n< C1:OFST? \n< TDIV?\n"));

    proc.terminate();  // SIGTERM ends it cleanly
    QVERIFY(proc.waitForFinished(10000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);

    QProcess bad;
    bad.start(program, {"--record-length", "zero"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);

    QProcess pty;
    pty.start(program, {"--pty"});
    QTRY_VERIFY_WITH_TIMEOUT(pty.canReadLine(), 10000);
    QVERIFY(pty.readLine().startsWith("PTY /dev/"));
    pty.terminate();
    QVERIFY(pty.waitForFinished(10000));
    QCOMPARE(pty.exitCode(), 0);
}

void TestSim::programFaults()
{
    const QString program = qEnvironmentVariable("QUILLMETER_SIM");
    if (program.isEmpty())
        QSKIP("QUILLMETER_SIM names no program");

    QProcess help;
    help.start(program, {"--help"});
    QVERIFY(help.waitForFinished(10000));
    const QByteArray usage = help.readAllStandardOutput();
    for (const char* opt : {"--overlong", "--endless ", "--endless-rate", "trickle", "--trickle-ms", "--outage-after",
                            "--outage-ms", "--pty-link", "--baud"})
        QVERIFY2(usage.contains(opt), opt);

    QProcess proc;
    proc.start(program, {"--listen", "127.0.0.1:0", "--overlong", "MSRA?=30", "--block-fault", "trickle",
                         "--trickle-ms", "20", "--endless", "TSRC?", "--outage-after", "3", "--outage-ms", "300"});
    QTRY_VERIFY_WITH_TIMEOUT(proc.canReadLine(), 10000);
    const quint16 port = quint16(proc.readLine().mid(14).trimmed().toUInt());

    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(s.waitForConnected(5000));
    s.write("MSRA?\nDTPOINTS 2\nDTWAVE?\n");
    QByteArray got;
    QTRY_COMPARE_WITH_TIMEOUT(s.state(), QAbstractSocket::UnconnectedState, 5000);
    got += s.readAll();
    QCOMPARE(got.left(31), QByteArray("1.5000E+00,X,X,X,X,X,X,X,X,X,X\n"));
    QCOMPARE(got.mid(31, 10), QByteArray("#800000002"));
    QCOMPARE(got.size(), 31 + 13);

    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!refused.waitForConnected(2000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);

    QTcpSocket again;
    QElapsedTimer t;
    t.start();
    do {
        again.abort();
        again.connectToHost(QHostAddress::LocalHost, port);
    } while (!again.waitForConnected(1000) && t.elapsed() < 5000);
    QCOMPARE(again.state(), QAbstractSocket::ConnectedState);
    again.write("TSRC?\n");
    got.clear();
    QTRY_VERIFY((got += again.readAll()).size() >= 20000);
    QVERIFY(allA(got));
    again.abort();
    proc.terminate();
    QVERIFY(proc.waitForFinished(10000));
    QCOMPARE(proc.exitCode(), 0);

    // The pty behind a link; a new device line after the outage.
    QTemporaryDir dir;
    const QString link = dir.filePath("scope");
    QProcess pty;
    pty.start(program, {"--pty-link", link, "--outage-after", "1", "--outage-ms", "100"});
    QTRY_VERIFY_WITH_TIMEOUT(pty.canReadLine(), 10000);
    const QString first = QString::fromLocal8Bit(pty.readLine().trimmed());
    QVERIFY(first.startsWith("PTY /dev/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), first.mid(4));
    {
        PtyClient c(link);
        QVERIFY(c.send("TDIV?\n"));
        QTRY_VERIFY_WITH_TIMEOUT(pty.canReadLine(), 10000);
    }
    const QString second = QString::fromLocal8Bit(pty.readLine().trimmed());
    QVERIFY(second.startsWith("PTY /dev/"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), second.mid(4));
    pty.terminate();
    QVERIFY(pty.waitForFinished(10000));
    QCOMPARE(pty.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

// --baud: the output crosses the line at baud / 10 bytes a second, in many
// small pieces, on TCP and on the pty alike; answers queue behind each other.
void TestSim::programBaud_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp") << false;
    QTest::newRow("pty") << true;
}

void TestSim::programBaud()
{
    QFETCH(bool, serial);
    const QString program = qEnvironmentVariable("QUILLMETER_SIM");
    if (program.isEmpty())
        QSKIP("QUILLMETER_SIM names no program");
    const QByteArray answer(3839, 'X');  // with its LF 3840 bytes: 1 s at 38400 baud
    QProcess proc;
    const QStringList link = serial ? QStringList{"--pty"} : QStringList{"--listen", "127.0.0.1:0"};
    proc.start(program, link + QStringList{"--baud", "38400", "--reply", "MSRA?=" + QString::fromLatin1(answer)});
    QTRY_VERIFY_WITH_TIMEOUT(proc.canReadLine(), 10000);
    const QByteArray first = proc.readLine().trimmed();

    QTcpSocket s;
    std::unique_ptr<PtyClient> pty;
    if (serial) {
        QVERIFY2(first.startsWith("PTY /dev/"), first.constData());
        pty = std::make_unique<PtyClient>(QString::fromLocal8Bit(first.mid(4)));
        QVERIFY(pty->fd >= 0);
    } else {
        s.connectToHost(QHostAddress::LocalHost, quint16(first.mid(first.lastIndexOf(':') + 1).toUInt()));
        QVERIFY(s.waitForConnected(5000));
    }
    const QByteArray expected = answer + "\n1.000E-03\n";
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    if (serial)
        QVERIFY(pty->send("MSRA?\nTDIV?\n"));
    else
        s.write("MSRA?\nTDIV?\n");
    bool partSeen = false;  // some bytes there, not all: a stream, not one late burst
    while (got.size() < expected.size() && clock.elapsed() < 20000) {
        QTest::qWait(20);
        got = serial ? pty->take() : got + s.readAll();
        partSeen = partSeen || (!got.isEmpty() && got.size() < expected.size() / 2);
    }
    const qint64 took = clock.elapsed();
    QCOMPARE(got, expected);
    QVERIFY(partSeen);
    QVERIFY2(took >= 800, QByteArray::number(took));
    proc.terminate();
    QVERIFY(proc.waitForFinished(10000));
    QCOMPARE(proc.exitCode(), 0);
}

void TestSim::programBadOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("overlong without length") << QStringList{"--overlong", "MSRA?"};
    QTest::newRow("overlong zero") << QStringList{"--overlong", "MSRA?=0"};
    QTest::newRow("endless rate zero") << QStringList{"--endless-rate", "0"};
    QTest::newRow("trickle zero") << QStringList{"--trickle-ms", "0"};
    QTest::newRow("unknown block fault") << QStringList{"--block-fault", "drip"};
    QTest::newRow("outage after zero") << QStringList{"--outage-after", "0"};
    QTest::newRow("outage negative") << QStringList{"--outage-ms", "-1"};
    QTest::newRow("empty link") << QStringList{"--pty-link", ""};
    QTest::newRow("baud zero") << QStringList{"--baud", "0"};
    QTest::newRow("baud not a number") << QStringList{"--baud", "fast"};
}

void TestSim::programBadOptions()
{
    QFETCH(QStringList, args);
    const QString program = qEnvironmentVariable("QUILLMETER_SIM");
    if (program.isEmpty())
        QSKIP("QUILLMETER_SIM names no program");
    QProcess bad;
    bad.start(program, args);
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bad.exitCode(), 2);
}

QTEST_MAIN(TestSim)
#include "tst_sim.moc"
