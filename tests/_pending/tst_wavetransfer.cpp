// Waveform transfer against the simulated instrument: exact command
// sequences, block sizes per format, the points count carried from source to
// source, undisplayed sources, surplus samples, both transports, failures.
#include "engine/waveform/SampleConvert.h"
#include "waveform/WaveTransfer.h"

#include "engine/text/Errors.h"
#include "link/CommPort.h"
#include "link/SockControl.h"
#include "link/TcpTransport.h"
#include "sim/SimInstrument.h"
#include "sim/SimPty.h"
#include "sim/SimTcpServer.h"

#include <QtTest>
#include <cmath>
#include <memory>

namespace {

const float kUntouched = 123.0f;

// The configuration snapshot that matches the simulated instrument.
InstrumentConfig ConfigOf(const qmsim::SimConfig& s) {
    InstrumentConfig c;
    c.AcqMode = s.acqMode;
    c.RecordLength = s.recordLength;
    c.ChannelCount = int16_t(s.channelCount());
    for (int k = 0; k < 4; ++k) {
        c.VDiv[k] = float(s.channels[k].vdiv);
        c.Offset[k] = float(s.channels[k].offset);
        c.Display[k] = s.channels[k].display;
        c.Invert[k] = s.channels[k].invert;
        c.VUnit[k] = s.channels[k].unit;
    }
    c.Display[4] = s.math.display;
    c.VDiv[4] = float(s.math.vdiv);
    c.MathType = s.math.type;
    c.MathSource = {s.math.source1, s.math.source2};
    return c;
}

QStringList Sequence(bool word, const QString& source, int points) {
    QStringList l;
    if (word)
        l << QStringLiteral("DTBORD H/L") << QStringLiteral("DTFORM WORD");
    else
        l << QStringLiteral("DTFORM BYTE");
    l << QStringLiteral("WAVESRC ") + source << QStringLiteral("DTPOINTS %1").arg(points) << QStringLiteral("DTSTART 0")
      << QStringLiteral("DTWAVE?");
    return l;
}

}  // namespace

class TestWaveTransfer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void channelFormats_data();
    void channelFormats();
    void mathTypes_data();
    void mathTypes();
    void shortSourceSetsNextPoints();
    void undisplayedSource();
    void surplusSamplesDropped();
    void serialLink();
    void tcpBlockRead();
    void linkFailuresPropagate();

private:
    Link& link() { return *link_; }
    std::unique_ptr<qmsim::SimInstrument> sim_;
    std::unique_ptr<qmsim::SimTcpServer> server_;
    std::unique_ptr<CommPort> port_;
    std::unique_ptr<SockControl> dso_;
    int16_t mode_ = 1;
    std::unique_ptr<Link> link_;
};

void TestWaveTransfer::init() {
    sim_ = std::make_unique<qmsim::SimInstrument>();
    server_ = std::make_unique<qmsim::SimTcpServer>(sim_.get());
    QVERIFY2(server_->listen(), qPrintable(server_->errorString()));
    port_ = std::make_unique<CommPort>();
    dso_ = std::make_unique<SockControl>();
    QCOMPARE(LinkToSLA(*dso_, QStringLiteral("127.0.0.1"), QString::number(server_->port())),
             int16_t(SockControl::sckConnected));
    mode_ = 1;
    link_ = std::make_unique<Link>(Link{mode_, *port_, *dso_});
}

void TestWaveTransfer::cleanup() {
    link_.reset();
    dso_.reset();
    port_.reset();
    server_.reset();
    sim_.reset();
}

void TestWaveTransfer::channelFormats_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("word");
    QTest::newRow("SAMPLE CH1") << "SAMPLE" << 1 << false;
    QTest::newRow("PEAK CH4") << "PEAK" << 4 << false;
    QTest::newRow("average lower case") << "average" << 2 << false;
    QTest::newRow("AVERAGE CH1") << "AVERAGE" << 1 << true;
    QTest::newRow("HIGH_RES CH3") << "HIGH_RES" << 3 << true;
}

// BYTE: 10000 data bytes give 10000 samples; WORD: 20000 give 10000.
void TestWaveTransfer::channelFormats() {
    QFETCH(QString, mode);
    QFETCH(int, channel);
    QFETCH(bool, word);
    qmsim::SimConfig& s = sim_->config();
    s.acqMode = mode;
    for (auto& ch : s.channels) ch.display = QStringLiteral("ON");
    s.channels[size_t(channel - 1)].vdiv = 0.2;
    s.channels[size_t(channel - 1)].offset = 0.05;
    const InstrumentConfig c = ConfigOf(s);
    std::vector<float> samples(10001, kUntouched);
    int32_t points = 10000;
    QString warning = QStringLiteral("old");
    TransferSource(link(), int16_t(channel - 1), samples, c, points, &warning);

    QCOMPARE(sim_->received(), Sequence(word, QStringLiteral("CH%1").arg(channel), 10000));
    QCOMPARE(points, 10000);
    QVERIFY(warning.isEmpty());
    QCOMPARE(samples[10000], kUntouched);
    // The samples are the block's codes scaled: compare with the simulated
    // signal (within one code) and exactly with the block converted here.
    const QByteArray block = qmsim::waveData(s, QStringLiteral("CH%1").arg(channel), word, true, 0, 10000);
    QCOMPARE(block.size(), word ? 20000 : 10000);
    std::vector<float> expected(10000);
    if (word)
        ConvertWordSamples(int16_t(channel - 1), c, 10000, block, expected);
    else
        ConvertByteSamples(int16_t(channel - 1), c, 10000, block, expected);
    const double tolerance = 0.2 / (word ? 8192 : 32);
    for (int i = 0; i < 10000; ++i) {
        QCOMPARE(samples[size_t(i)], expected[size_t(i)]);
        const double volts = qmsim::channelPosition(channel - 1, i / 10000.0) * 0.2 - 0.05;
        if (channel != 2 && channel != 4) QVERIFY(std::fabs(samples[size_t(i)] - volts) <= tolerance);
    }
}

void TestWaveTransfer::mathTypes_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("bytes");
    for (const char* mode : {"SAMPLE", "AVERAGE"}) {
        QTest::addRow("MULT %s", mode) << "MULT" << mode << 40000;
        QTest::addRow("SUB %s", mode) << "SUB" << mode << 20000;
        QTest::addRow("ADD %s", mode) << "ADD" << mode << 20000;
        QTest::addRow("FFT %s", mode) << "FFT" << mode << 20000;
    }
}

// MATH always arrives as 16-bit codes (32-bit for MULT), whatever format.
void TestWaveTransfer::mathTypes() {
    QFETCH(QString, type);
    QFETCH(QString, mode);
    QFETCH(int, bytes);
    qmsim::SimConfig& s = sim_->config();
    s.acqMode = mode;
    s.math.display = QStringLiteral("ON");
    s.math.type = type;
    s.math.source1 = QStringLiteral("CH1");
    s.math.source2 = QStringLiteral("CH2");
    const InstrumentConfig c = ConfigOf(s);
    std::vector<float> samples(10001, kUntouched);
    int32_t points = 10000;
    TransferSource(link(), 4, samples, c, points);
    QCOMPARE(sim_->received(), Sequence(mode == "AVERAGE", QStringLiteral("MATH"), 10000));
    QCOMPARE(points, 10000);
    const QByteArray block = qmsim::waveData(s, QStringLiteral("MATH"), mode == "AVERAGE", true, 0, 10000);
    QCOMPARE(block.size(), bytes);
    std::vector<float> expected(10000);
    QCOMPARE(ConvertMathSamples(c, 10000, block, expected), 10000);
    for (int i = 0; i < 10000; ++i) QCOMPARE(samples[size_t(i)], expected[size_t(i)]);
    QCOMPARE(samples[10000], kUntouched);
    // A sample of the simulated math signal, as the instrument computed it.
    const double want = qmsim::mathValue(s, 0.013);
    QVERIFY2(std::fabs(samples[130] - want) < 0.01 + std::fabs(want) * 1e-3, qPrintable(QString::number(samples[130])));
}

// CH1 delivers 5000 samples although 10000 were asked for: CH2 asks for 5000.
void TestWaveTransfer::shortSourceSetsNextPoints() {
    sim_->config().recordLength = 5000;
    const InstrumentConfig c = ConfigOf(sim_->config());
    WaveArrays w;
    w[0].assign(10001, kUntouched);
    w[1].assign(10001, kUntouched);
    int32_t points = 10000;
    TransferSource(link(), 0, w[0], c, points);
    QCOMPARE(points, 5000);
    QCOMPARE(w[0][4999] == kUntouched, false);
    QCOMPARE(w[0][5000], kUntouched);
    TransferSource(link(), 1, w[1], c, points);
    QCOMPARE(sim_->received(), Sequence(false, QStringLiteral("CH1"), 10000) + Sequence(false, QStringLiteral("CH2"), 5000));
    QCOMPARE(points, 5000);
}

void TestWaveTransfer::undisplayedSource() {
    qmsim::SimConfig& s = sim_->config();
    InstrumentConfig c = ConfigOf(s);  // CH3, CH4 and MATH "OFF"
    c.Display[3] = QStringLiteral("on");  // anything but "ON" is not displayed
    std::vector<float> samples(12, kUntouched);
    int32_t points = 10;
    for (int16_t src : {int16_t(2), int16_t(3), int16_t(4), int16_t(7)}) {
        std::fill(samples.begin(), samples.end(), kUntouched);
        TransferSource(link(), src, samples, c, points);
        QCOMPARE(points, 10);
        for (int i = 0; i < 10; ++i) QCOMPARE(samples[size_t(i)], 0.0f);
        QCOMPARE(samples[10], kUntouched);
    }
    // The array is shorter than points, or absent: filled only as far as it reaches.
    std::vector<float> small(3, kUntouched);
    points = 2999999;
    TransferSource(link(), 2, small, c, points);
    QCOMPARE(small, (std::vector<float>{0.0f, 0.0f, 0.0f}));
    std::vector<float> none;
    TransferSource(link(), 2, none, c, points);
    QVERIFY(none.empty());
    // From 3,000,000 points on the array is left as it is.
    for (int32_t p : {3000000, 3000001}) {
        points = p;
        std::fill(small.begin(), small.end(), kUntouched);
        TransferSource(link(), 2, small, c, points);
        QCOMPARE(points, p);
        QCOMPARE(small, std::vector<float>(3, kUntouched));
    }
    // Nothing at all went to the instrument: the next displayed source's
    // commands are the first it sees.
    points = 100;
    TransferSource(link(), 0, samples, c, points);
    QCOMPARE(sim_->received(), Sequence(false, QStringLiteral("CH1"), 100));
}

// A record longer than the array: what fits is converted, the rest is
// reported, and the points count is what the instrument delivered.
void TestWaveTransfer::surplusSamplesDropped() {
    qmsim::SimConfig& s = sim_->config();
    s.math.display = QStringLiteral("ON");
    s.math.type = QStringLiteral("SUB");
    const InstrumentConfig c = ConfigOf(s);
    std::vector<float> math(2, kUntouched);
    int32_t points = 10000;
    QString warning;
    TransferSource(link(), 4, math, c, points, &warning);
    QCOMPARE(points, 10000);
    QCOMPARE(warning, QStringLiteral("MATH: 9998 サンプルを格納できませんでした"));
    QVERIFY(math[0] != kUntouched && math[1] != kUntouched);
    std::vector<float> ch(100, kUntouched);
    QCOMPARE(ReadWaveform(link(), QStringLiteral("CH1"), 10000, ch, c, &warning), 10000);
    QCOMPARE(warning, QStringLiteral("CH1: 9900 サンプルを格納できませんでした"));
    // Without a warning string the surplus is dropped all the same.
    QCOMPARE(ReadWaveform(link(), QStringLiteral("CH2"), 10000, ch, c), 10000);
}

// Link selector 0: commands and the block go over the serial port.
void TestWaveTransfer::serialLink() {
    qmsim::SimPty pty(sim_.get());
    if (!pty.open()) QSKIP(qPrintable(QStringLiteral("no pseudo-terminal: ") + pty.errorString()));
    qputenv("QUILLMETER_COM7", pty.slavePath().toLocal8Bit());
    port_->SetCommPort(7);
    port_->SetSettings(QStringLiteral("38400,n,8,1"));
    port_->SetPortOpen(true);
    qmsim::SimConfig& s = sim_->config();
    s.acqMode = QStringLiteral("AVERAGE");
    const InstrumentConfig c = ConfigOf(s);
    mode_ = 0;
    std::vector<float> samples(10001, kUntouched);
    int32_t points = 10000;
    TransferSource(link(), 1, samples, c, points);
    QCOMPARE(sim_->received(), Sequence(true, QStringLiteral("CH2"), 10000));
    QCOMPARE(points, 10000);
    QCOMPARE(samples[0], 2.0f);  // CH2 is a square wave of +2 divisions at 1 V/div
    QCOMPARE(samples[9999], -2.0f);
    QCOMPARE(samples[10000], kUntouched);
    QCOMPARE(dso_->BytesReceived(), qint64(0));  // nothing came over TCP
    port_->SetPortOpen(false);
    qunsetenv("QUILLMETER_COM7");
}

// The record's data bytes, without header and terminator.
void TestWaveTransfer::tcpBlockRead() {
    for (const char* cmd : {"DTFORM BYTE", "WAVESRC CH1", "DTPOINTS 1000", "DTSTART 0", "DTWAVE?"})
        SendToDSO(link(), QString::fromLatin1(cmd));
    QByteArray raw("old contents");
    QCOMPARE(ReadWaveBlockTcp(*dso_, raw), 1000);
    QCOMPARE(raw, qmsim::waveData(sim_->config(), QStringLiteral("CH1"), false, true, 0, 1000));
    QCOMPARE(dso_->BytesReceived(), qint64(0));  // the terminator was taken too
}

void TestWaveTransfer::linkFailuresPropagate() {
    const InstrumentConfig c = ConfigOf(sim_->config());
    std::vector<float> samples(100, kUntouched);
    int32_t points = 100;
    sim_->config().faults.blockFault = qmsim::BlockFault::BadLength;
    QVERIFY_THROWS_EXCEPTION(LinkError, TransferSource(link(), 0, samples, c, points));
    QCOMPARE(points, 100);
    QCOMPARE(samples[0], kUntouched);
    sim_->config().faults.blockFault = qmsim::BlockFault::None;
    sim_->config().faults.dropOn = {QStringLiteral("DTWAVE?")};
    QVERIFY_THROWS_EXCEPTION(LinkError, TransferSource(link(), 0, samples, c, points));
    QCOMPARE(points, 100);
}

QTEST_MAIN(TestWaveTransfer)
#include "tst_wavetransfer.moc"
