// The waveform CSV file: header, title and rows byte for byte, the choice of
// row writer, the row blocks with their progress, and failures.
#include "engine/output/WaveCsv.h"

#include "engine/text/NumText.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <limits>

using namespace qm;

namespace {

InstrumentConfig TwoChannel() {
    InstrumentConfig c;
    c.modelName = QStringLiteral("DS-5552");
    c.channelCount = 2;
    c.fileVersion = QStringLiteral("2");
    c.acqTime = QStringLiteral("2024/01/02 03:04:05");
    c.acqMode = QStringLiteral("SAMPLE");
    c.timeDiv = 0.001;
    c.triggerDelay = 0;
    c.sampleInterval = 1e-5;
    c.triggerAddress = 1;
    c.recordLength = 3;
    c.display = {QStringLiteral("ON"), QStringLiteral("ON"), QStringLiteral("OFF"), QStringLiteral("OFF"),
                 QStringLiteral("OFF")};
    c.vUnit = {QStringLiteral("V"), QStringLiteral("V"), QString(), QString(), QString()};
    c.vDiv = {0.5f, 2.0f, 0, 0, 0, 0};
    c.offset = {0.0f, -0.25f, 0, 0, 0};
    c.coupling = {QStringLiteral("DC"), QStringLiteral("AC"), QString(), QString(), QString()};
    c.bandwidth = {QStringLiteral("OFF"), QStringLiteral("20MHZ"), QString(), QString(), QString()};
    return c;
}

InstrumentConfig FourChannel() {
    InstrumentConfig c = TwoChannel();
    c.modelName = QStringLiteral("DS-5554");
    c.channelCount = 4;
    c.display = {QStringLiteral("ON"), QStringLiteral("ON"), QStringLiteral("OFF"), QStringLiteral("ON"),
                 QStringLiteral("OFF")};
    c.vUnit = {QStringLiteral("V"), QStringLiteral("V"), QStringLiteral("A"), QStringLiteral("V"), QString()};
    c.vDiv = {0.5f, 2.0f, 1.0f, 0.1f, 0, 0};
    c.offset = {0.0f, -0.25f, 0.0f, 1.5f, 0};
    c.coupling = {QStringLiteral("DC"), QStringLiteral("AC"), QStringLiteral("GND"), QStringLiteral("DC"),
                  QString()};
    c.bandwidth = {QStringLiteral("OFF"), QStringLiteral("20MHZ"), QStringLiteral("OFF"), QStringLiteral("OFF"),
                   QString()};
    return c;
}

struct Run {
    bool ok = false;
    QString error;
    QList<int> progress;
    QByteArray bytes;
};

Run Write(const InstrumentConfig& c, const WaveArrays& w, const QString& path) {
    Run r;
    CsvProgress p{[&](int v) { r.progress << v; }};
    const qm::FileResult written = WriteWaveformCsv(path, c, w, p);
    r.ok = written.ok();
    r.error = written.message;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) r.bytes = f.readAll();
    return r;
}

QList<QByteArray> Lines(const QByteArray& b) {
    QList<QByteArray> l = b.split('\n');
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    for (QByteArray& x : l) {
        if (!x.endsWith('\r')) return {};  // every line must end with CR LF
        x.chop(1);
    }
    return l;
}

// The rows after the title line.
QList<QByteArray> Rows(const QByteArray& b) {
    QList<QByteArray> l = Lines(b);
    for (qsizetype t = 0; t < l.size(); ++t)
        if (l[t].startsWith("Time(s),")) return l.mid(t + 1);
    return {};
}

const QByteArray kTwoChannelHeader =
    "ModelName,DS-5552\r\n"
    "FileVersion,2\r\n"
    "Acquisition Time, 2024/01/02 03:04:05\r\n"
    "Time/div(second), 0.001 \r\n"
    "Delay (second), 0 \r\n"
    "Delta (second), 1E-05 \r\n"
    "Acquisition Mode,SAMPLE\r\n"
    "Trigger Address, 1 \r\n"
    "Math,OFF\r\n"
    "CH1 Display,ON\r\n"
    "CH2 Display,ON\r\n"
    "CH1 V/div, 0.5 \r\n"
    "CH2 V/div, 2 \r\n"
    "CH1 Offset, 0 \r\n"
    "CH2 Offset,-0.25 \r\n"
    "CH1 Coupling,DC\r\n"
    "CH2 Coupling,AC\r\n"
    "CH1 Bandwidth,OFF\r\n"
    "CH2 Bandwidth,20MHZ\r\n"
    "Points , 3 \r\n";

}  // namespace

class TestWaveCsv : public QObject {
    Q_OBJECT
private slots:
    void init() { QVERIFY(dir_.isValid()); }
    void twoChannelMathOff();
    void averageFourDecimals();
    void fourChannelUndisplayedChannel();
    void mathHeaderLines_data();
    void mathHeaderLines();
    void fftHalfRule();
    void rowWriterChoice();
    void blockSize();
    void rowsAndProgress_data();
    void rowsAndProgress();
    void noRows();
    void timeZeroAtTriggerAddress();
    void missingSamplesLeaveEmptyFields();
    void unwritableFile();
    void writeFailure();

private:
    QString Path(const char* name) { return dir_.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir_;
};

void TestWaveCsv::twoChannelMathOff() {
    WaveArrays w;
    w[0] = {0.5f, -0.0042f, 12.5f, 77.0f};  // one element beyond the record: not written
    w[1] = {0.0f, 1.0f / 3.0f, -9.999f, 77.0f};
    const Run r = Write(TwoChannel(), w, Path("a.csv"));
    QVERIFY(r.ok);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.bytes, kTwoChannelHeader +
                          "Time(s),Ch1 V,Ch2 V\r\n"
                          "-1.000000e-5,5.00e-1,0.00e0\r\n"
                          "0.000000e0,-4.20e-3,3.33e-1\r\n"
                          "1.000000e-5,1.25e1,-1.00e1\r\n");
    QCOMPARE(r.progress, (QList<int>{10, 20, 30, 100}));  // block size 1: three blocks
}

void TestWaveCsv::averageFourDecimals() {
    for (const char* mode : {"AVERAGE", "HIGH_RES"}) {
        InstrumentConfig c = TwoChannel();
        c.acqMode = QString::fromLatin1(mode);
        c.recordLength = 1;
        c.triggerAddress = 0;
        WaveArrays w;
        w[0] = {-0.0042f};
        w[1] = {123456.0f};
        const Run r = Write(c, w, Path("avg.csv"));
        QVERIFY(r.ok);
        QCOMPARE(Rows(r.bytes), (QList<QByteArray>{"0.000000e0,-4.2000e-3,1.2346e5"}));
    }
    InstrumentConfig c = TwoChannel();
    c.acqMode = QStringLiteral("average");  // exact comparison: two decimals
    c.recordLength = 1;
    WaveArrays w;
    w[0] = {-0.0042f};
    w[1] = {1.0f};
    QCOMPARE(Rows(Write(c, w, Path("avg2.csv")).bytes), (QList<QByteArray>{"-1.000000e-5,-4.20e-3,1.00e0"}));
}

void TestWaveCsv::fourChannelUndisplayedChannel() {
    InstrumentConfig c = FourChannel();
    c.recordLength = 2;
    WaveArrays w;
    for (int k = 0; k < 4; ++k) w[k] = {1.0f + k, -2.0f - k};  // CH3 holds data but is not displayed
    const Run r = Write(c, w, Path("four.csv"));
    QVERIFY(r.ok);
    const QList<QByteArray> lines = Lines(r.bytes);
    // The channel groups, each for all four channels in turn.
    const QList<QByteArray> expectedHeader = {
        "ModelName,DS-5554", "FileVersion,2", "Acquisition Time, 2024/01/02 03:04:05", "Time/div(second), 0.001 ",
        "Delay (second), 0 ", "Delta (second), 1E-05 ", "Acquisition Mode,SAMPLE", "Trigger Address, 1 ",
        "Math,OFF", "CH1 Display,ON", "CH2 Display,ON", "CH3 Display,OFF", "CH4 Display,ON", "CH1 V/div, 0.5 ",
        "CH2 V/div, 2 ", "CH3 A/div, 1 ", "CH4 V/div, 0.1 ", "CH1 Offset, 0 ", "CH2 Offset,-0.25 ",
        "CH3 Offset, 0 ", "CH4 Offset, 1.5 ", "CH1 Coupling,DC", "CH2 Coupling,AC", "CH3 Coupling,GND",
        "CH4 Coupling,DC", "CH1 Bandwidth,OFF", "CH2 Bandwidth,20MHZ", "CH3 Bandwidth,OFF", "CH4 Bandwidth,OFF",
        "Points , 2 ", "Time(s),Ch1 V,Ch2 V,Ch3 A,Ch4 V", "-1.000000e-5,1.00e0,2.00e0,,4.00e0",
        "0.000000e0,-2.00e0,-3.00e0,,-5.00e0"};
    QCOMPARE(lines, expectedHeader);
}

void TestWaveCsv::mathHeaderLines_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<QByteArray>>("mathLines");
    QTest::addColumn<QByteArray>("title");
    const QList<QByteArray> arith = {"Math,ON", "Math Type,%T", "Math Source1,CH1", "Math Source2,CH2",
                                     "Math VV/div, 0.25 ", "Math Offset,-1.5 "};
    for (const char* t : {"ADD", "SUB", "MULT", "DIV"}) {
        QList<QByteArray> l = arith;
        l[1].replace("%T", t);
        QTest::newRow(t) << QString::fromLatin1(t) << l << QByteArray("Time(s),Ch1 V,Ch2 V,Math VV");
    }
    QTest::newRow("FFT") << QStringLiteral("FFT")
                         << QList<QByteArray>{"Math,ON",          "Math Type,FFT",       "FFT Source,CH1",
                                              "FFT Window,HANNING", "FFT VV/div, 0.25 ", "FFT Offset,-1.5 ",
                                              "FFT Delta(Hz), 12.5 "}
                         << QByteArray("Time(s),Ch1 V,Ch2 V,Math VV");
}

void TestWaveCsv::mathHeaderLines() {
    QFETCH(QString, type);
    QFETCH(QList<QByteArray>, mathLines);
    QFETCH(QByteArray, title);
    InstrumentConfig c = TwoChannel();
    c.display[4] = QStringLiteral("ON");
    c.mathType = type;
    c.mathSource = {QStringLiteral("CH1"), QStringLiteral("CH2")};
    c.vUnit[4] = QStringLiteral("VV");
    c.vDiv[4] = 0.25f;
    c.offset[4] = -1.5f;
    c.fftWindow = QStringLiteral("HANNING");
    c.fftDelta = 12.5;
    const QByteArray header = WaveCsvHeader(c);
    QList<QByteArray> lines = Lines(header);
    QCOMPARE(lines.mid(8, mathLines.size()), mathLines);
    QCOMPARE(lines.value(8 + mathLines.size()), QByteArray("CH1 Display,ON"));
    QCOMPARE(Lines(WaveCsvTitle(c, true)), QList<QByteArray>{title});
    QCOMPARE(Lines(WaveCsvTitle(c, false)), QList<QByteArray>{"Time(s),Ch1 V,Ch2 V"});
}

void TestWaveCsv::fftHalfRule() {
    InstrumentConfig c = TwoChannel();
    c.display[4] = QStringLiteral("ON");
    c.mathType = QStringLiteral("FFT");
    c.vUnit[4] = QStringLiteral("dBm");
    c.recordLength = 1000;
    c.triggerAddress = 500;
    WaveArrays w;
    w[0].assign(1001, 1.0f);
    w[1].assign(1001, 2.0f);
    w[4].assign(1001, -2.0f);
    const Run r = Write(c, w, Path("fft.csv"));
    QVERIFY(r.ok);
    QVERIFY(r.bytes.contains("\r\nTime(s),Ch1 V,Ch2 V,Math dBm\r\n"));
    const QList<QByteArray> rows = Rows(r.bytes);
    QCOMPARE(rows.size(), 1000);
    QCOMPARE(rows[0], QByteArray("-5.000000e-3,1.00e0,2.00e0,-2.0000e0"));
    QCOMPARE(rows[499], QByteArray("-1.000000e-5,1.00e0,2.00e0,-2.0000e0"));
    QCOMPARE(rows[500], QByteArray("0.000000e0,1.00e0,2.00e0"));
    QCOMPARE(rows[999], QByteArray("4.990000e-3,1.00e0,2.00e0"));
    for (int i = 0; i < 1000; ++i) QCOMPARE(rows[i].count(','), i < 500 ? 3 : 2);
    // Not an FFT: every row has the math field.
    c.mathType = QStringLiteral("ADD");
    const QList<QByteArray> add = Rows(Write(c, w, Path("add.csv")).bytes);
    QCOMPARE(add.size(), 1000);
    QCOMPARE(add[999], QByteArray("4.990000e-3,1.00e0,2.00e0,-2.0000e0"));
    // An odd record: Half = 2.5 rounded to even = 2.
    c.mathType = QStringLiteral("FFT");
    c.recordLength = 5;
    const QList<QByteArray> odd = Rows(Write(c, w, Path("odd.csv")).bytes);
    QCOMPARE(odd.size(), 5);
    QCOMPARE(odd[1].count(','), 3);
    QCOMPARE(odd[2].count(','), 2);
}

void TestWaveCsv::rowWriterChoice() {
    InstrumentConfig c = TwoChannel();
    c.display[4] = QStringLiteral("ON");
    c.recordLength = 2999999;
    QVERIFY(WaveCsvHasMathColumn(c));
    c.recordLength = 3000000;
    QVERIFY(!WaveCsvHasMathColumn(c));
    // The header still carries the math lines then.
    QVERIFY(WaveCsvHeader(c).contains("\r\nMath,ON\r\nMath Type,"));
    c.recordLength = 1000;
    for (const char* state : {"ON", "", "off", "OFF "}) {
        c.display[4] = QString::fromLatin1(state);
        QVERIFY2(WaveCsvHasMathColumn(c), state);
    }
    c.display[4] = QStringLiteral("OFF");
    QVERIFY(!WaveCsvHasMathColumn(c));
}

void TestWaveCsv::blockSize() {
    QCOMPARE(WaveCsvBlockSize(105), 10);
    QCOMPARE(WaveCsvBlockSize(14), 2);
    QCOMPARE(WaveCsvBlockSize(5), 1);
    QCOMPARE(WaveCsvBlockSize(1), 1);
    QCOMPARE(WaveCsvBlockSize(0), 0);
    QCOMPARE(WaveCsvBlockSize(-3), 0);
    QCOMPARE(WaveCsvBlockSize(25), 3);      // 2.5 would leave rows over; ceil(25/11) = 3
    QCOMPARE(WaveCsvBlockSize(1000000), 100000);
    QCOMPARE(WaveCsvBlockSize(2147483647), 214748365);
    for (int32_t n = 1; n <= 5000; ++n) {
        const int32_t b = WaveCsvBlockSize(n);
        QVERIFY(int64_t(b) * 11 >= n);                         // eleven blocks hold every row
        // From 46 rows up this is the record length / 10, rounded ties to even.
        if (n >= 46) QCOMPARE(b, int32_t(qm::RoundHalfEven(n / 10.0)));
    }
}

void TestWaveCsv::rowsAndProgress_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("progress");
    QTest::newRow("105") << 105 << QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100, 100};
    QTest::newRow("14") << 14 << QList<int>{10, 20, 30, 40, 50, 60, 70, 100};
    QTest::newRow("5") << 5 << QList<int>{10, 20, 30, 40, 50, 100};
    QTest::newRow("46") << 46 << QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100};
    QTest::newRow("54") << 54 << QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 100, 100};
}

void TestWaveCsv::rowsAndProgress() {
    QFETCH(int, length);
    QFETCH(QList<int>, progress);
    InstrumentConfig c = TwoChannel();
    c.recordLength = length;
    c.triggerAddress = 0;
    c.sampleInterval = 1;
    WaveArrays w;
    w[0].resize(size_t(length));
    for (int i = 0; i < length; ++i) w[0][size_t(i)] = float(i + 1);
    const Run r = Write(c, w, Path("n.csv"));
    QVERIFY(r.ok);
    const QList<QByteArray> rows = Rows(r.bytes);
    QCOMPARE(rows.size(), length);
    for (int i = 0; i < length; ++i) {
        QCOMPARE(rows[i].left(rows[i].indexOf(',')), QByteArray(qm::FormatPicture(i, 6).toLatin1()));
        QCOMPARE(rows[i].split(',').value(1), QByteArray(qm::FormatPicture(i + 1, 2).toLatin1()));
    }
    QCOMPARE(r.progress, progress);
}

void TestWaveCsv::noRows() {
    for (int len : {0, -5}) {
        InstrumentConfig c = TwoChannel();
        c.recordLength = len;
        const Run r = Write(c, WaveArrays{}, Path("none.csv"));
        QVERIFY(r.ok);
        QVERIFY(r.bytes.endsWith(" \r\nTime(s),Ch1 V,Ch2 V\r\n"));
        QVERIFY(r.bytes.startsWith("ModelName,DS-5552\r\n"));
        QCOMPARE(r.progress, QList<int>{100});
    }
}

void TestWaveCsv::timeZeroAtTriggerAddress() {
    InstrumentConfig c = TwoChannel();
    c.recordLength = 7;
    c.triggerAddress = 4;
    c.sampleInterval = 2.5e-9;
    const QList<QByteArray> rows = Rows(Write(c, WaveArrays{}, Path("t.csv")).bytes);
    QCOMPARE(rows.size(), 7);
    QCOMPARE(rows[4], QByteArray("0.000000e0,,"));
    QCOMPARE(rows[0], QByteArray("-1.000000e-8,,"));
    QCOMPARE(rows[6], QByteArray("5.000000e-9,,"));
    // A trigger address outside the record still gives the formula's times.
    c.triggerAddress = -2;
    c.sampleInterval = 0.5;
    QCOMPARE(Rows(Write(c, WaveArrays{}, Path("t2.csv")).bytes).value(0), QByteArray("1.000000e0,,"));
}

// NaN samples and samples beyond an array's end give empty fields; nothing
// is read outside an array (the sanitizer build checks that).
void TestWaveCsv::missingSamplesLeaveEmptyFields() {
    InstrumentConfig c = FourChannel();
    c.display[4] = QStringLiteral("ON");
    c.mathType = QStringLiteral("SUB");
    c.recordLength = 4;
    c.triggerAddress = 0;
    WaveArrays w;
    w[0] = {1.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f};
    w[1] = {2.0f};                                   // shorter than the record
    w[3] = {4.0f, 4.0f, std::numeric_limits<float>::infinity(), 4.0f};  // CH4 shown
    w[4] = {5.0f, 5.0f};                             // the two-element math array of a long record
    const QList<QByteArray> rows = Rows(Write(c, w, Path("gaps.csv")).bytes);
    QCOMPARE(rows, (QList<QByteArray>{"0.000000e0,1.00e0,2.00e0,,4.00e0,5.0000e0",
                                      "1.000000e-5,,,,4.00e0,5.0000e0",
                                      "2.000000e-5,1.00e0,,,,",
                                      "3.000000e-5,1.00e0,,,4.00e0,"}));
}

void TestWaveCsv::unwritableFile() {
    const QString path = Path("no-such-folder/x_00001.csv");
    const Run r = Write(TwoChannel(), WaveArrays{}, path);
    QVERIFY(!r.ok);
    QVERIFY(!QFile::exists(path));
    QVERIFY2(r.error.contains(QStringLiteral("x_00001.csv")), qPrintable(r.error));
    QVERIFY(r.error.contains(QStringLiteral("作成できません")));
    QCOMPARE(r.progress, QList<int>{100});
    // No progress wanted, or no name at all: still no crash, still a failure.
    QVERIFY(!WriteWaveformCsv(path, TwoChannel(), WaveArrays{}, CsvProgress{}).ok());
    QVERIFY(!WriteWaveformCsv(QString(), TwoChannel(), WaveArrays{}, CsvProgress{}).ok());
}

void TestWaveCsv::writeFailure() {
    // A folder that is a file: the file cannot be made, nothing is left
    // behind, and the message names the file.
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("notafolder"));
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QString path = blocker + QStringLiteral("/w.csv");
    InstrumentConfig c = TwoChannel();
    c.recordLength = 2000;
    QList<int> progress;
    CsvProgress p{[&](int v) { progress << v; }};
    const qm::FileResult r = WriteWaveformCsv(path, c, WaveArrays{}, p);
    QVERIFY(!r.ok());
    QCOMPARE(r.file, path);
    QVERIFY2(r.message.contains(QStringLiteral("w.csv")) && r.message.contains(r.reason), qPrintable(r.message));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(progress.value(progress.size() - 1), 100);
}

QTEST_MAIN(TestWaveCsv)
#include "tst_wavecsv.moc"
