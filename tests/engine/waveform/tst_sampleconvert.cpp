// Converting the codes of a waveform block into sample values.
#include "engine/waveform/SampleConvert.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace qm;

namespace {

QByteArray Bytes(std::initializer_list<int> b) {
    QByteArray out;
    for (int x : b) out.append(char(x));
    return out;
}

InstrumentConfig Config() {
    InstrumentConfig c;
    for (int k = 0; k < 4; ++k) c.invert[k] = QStringLiteral("OFF");
    return c;
}

}  // namespace

class TestSampleConvert : public QObject {
    Q_OBJECT
private slots:
    void workedValues_data();
    void workedValues();
    void byteCodeBoundaries();
    void wordCodeBoundaries();
    void multCodes();
    void invertedChannelWithOffset();
    void addSubtractsBothOffsets();
    void fftIgnoresOperands();
    void badOperandGivesNaN();
    void bounds();
    void operandIndex();
};

// The worked values: converter, bytes, settings, expected value.
void TestSampleConvert::workedValues_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<float>("vdiv");
    QTest::addColumn<float>("offset");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<double>("expected");
    QTest::newRow("byte 0x20") << "BYTE" << Bytes({0x20}) << 0.5f << 0.0f << false << 0.5;
    QTest::newRow("byte 0xE0") << "BYTE" << Bytes({0xE0}) << 0.5f << 0.0f << false << -0.5;
    QTest::newRow("byte inverted") << "BYTE" << Bytes({0x20}) << 0.5f << 0.1f << true << double(float(-0.5 - double(0.1f)));
    QTest::newRow("word 0x2000") << "WORD" << Bytes({0x20, 0x00}) << 2.0f << 0.0f << false << 2.0;
    QTest::newRow("word 0xFFFF") << "WORD" << Bytes({0xFF, 0xFF}) << 2.0f << 0.0f << false << -0.000244140625;
    QTest::newRow("sub") << "SUB" << Bytes({0x10, 0x00}) << 0.0f << 0.0f << false << 2.0;
    QTest::newRow("mult") << "MULT" << Bytes({0x00, 0x00, 0x04, 0x00}) << 0.0f << 0.0f << false << 2.0;
    QTest::newRow("fft") << "FFT" << Bytes({0xFF, 0x38}) << 0.0f << 0.0f << false << -2.0;
}

void TestSampleConvert::workedValues() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, block);
    QFETCH(float, vdiv);
    QFETCH(float, offset);
    QFETCH(bool, inverted);
    QFETCH(double, expected);
    InstrumentConfig c = Config();
    c.vDiv[0] = vdiv;
    c.offset[0] = offset;
    if (inverted) c.invert[0] = QStringLiteral("ON");
    // Math operands: CH1 scale 1, CH2 scale 2.
    c.vDiv[0] = kind == "SUB" || kind == "MULT" ? 1.0f : c.vDiv[0];
    c.vDiv[1] = 2.0f;
    c.mathType = kind;
    c.mathSource = {QStringLiteral("CH1"), QStringLiteral("CH2")};
    std::vector<float> t(3, 99.0f);
    int32_t n = 0;
    if (kind == "BYTE")
        n = ConvertByteSamples(0, c, 1, block, t);
    else if (kind == "WORD")
        n = ConvertWordSamples(0, c, 1, block, t);
    else
        n = ConvertMathSamples(c, 1, block, t);
    QCOMPARE(n, 1);
    QCOMPARE(t[0], float(expected));
    QCOMPARE(t[1], 99.0f);  // nothing beyond the count
}

void TestSampleConvert::byteCodeBoundaries() {
    InstrumentConfig c = Config();
    c.vDiv[2] = 32.0f;  // one volt per code
    std::vector<float> t(4);
    QCOMPARE(ConvertByteSamples(2, c, 4, Bytes({0x7F, 0x80, 0xFF, 0x00}), t), 4);
    QCOMPARE(t, (std::vector<float>{127.0f, -128.0f, -1.0f, 0.0f}));
}

void TestSampleConvert::wordCodeBoundaries() {
    InstrumentConfig c = Config();
    c.vDiv[3] = 8192.0f;  // one unit per code
    std::vector<float> t(3);
    QCOMPARE(ConvertWordSamples(3, c, 3, Bytes({0x7F, 0xFF, 0x80, 0x00, 0x01, 0x02}), t), 3);
    QCOMPARE(t, (std::vector<float>{32767.0f, -32768.0f, 258.0f}));
}

void TestSampleConvert::multCodes() {
    InstrumentConfig c = Config();
    c.mathType = QStringLiteral("MULT");
    c.mathSource = {QStringLiteral("CH1"), QStringLiteral("CH2")};
    c.vDiv[0] = 32.0f;
    c.vDiv[1] = 32.0f;  // s1 * s2 / 1024 = 1: the value is the code as float
    std::vector<float> t(3);
    // 0x80000000, 0x7FFFFFFF, 0x01000001 (2^24 + 1 is not a float: it rounds to 2^24)
    const QByteArray b = Bytes({0x80, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x01});
    QCOMPARE(ConvertMathSamples(c, 3, b, t), 3);
    QCOMPARE(t[0], -2147483648.0f);
    QCOMPARE(t[1], 2147483648.0f);
    QCOMPARE(double(t[2]), 16777216.0);
    // The code passes through a 32-bit float before scaling: 2^24 + 1 times 3
    // gives 3 * 2^24, not the float nearest to 3 * (2^24 + 1) (50331652).
    c.vDiv[0] = 3.0f;
    c.vDiv[1] = 1024.0f;
    QCOMPARE(ConvertMathSamples(c, 1, Bytes({0x01, 0x00, 0x00, 0x01}), t), 1);
    QCOMPARE(double(t[0]), 50331648.0);
}

void TestSampleConvert::invertedChannelWithOffset() {
    InstrumentConfig c = Config();
    c.vDiv[1] = 1.0f;
    c.offset[1] = 0.25f;
    c.invert[1] = QStringLiteral("ON");
    std::vector<float> t(2);
    ConvertByteSamples(1, c, 2, Bytes({0x00, 0x10}), t);
    QCOMPARE(t[0], -0.25f);       // code 0: -o, as for a channel that is not inverted
    QCOMPARE(t[1], -0.75f);       // -(16/32) * 1 - 0.25
    c.invert[1] = QString();      // anything but "OFF" inverts
    ConvertWordSamples(1, c, 1, Bytes({0x20, 0x00}), t);
    QCOMPARE(t[0], -1.25f);
}

void TestSampleConvert::addSubtractsBothOffsets() {
    InstrumentConfig c = Config();
    c.mathType = QStringLiteral("ADD");
    c.mathSource = {QStringLiteral("CH3"), QStringLiteral("CH1")};
    c.vDiv[2] = 0.5f;
    c.vDiv[0] = 0.25f;  // larger scale is 0.5
    c.offset[2] = 0.125f;
    c.offset[0] = 0.0625f;
    std::vector<float> t(1);
    ConvertMathSamples(c, 1, Bytes({0x20, 0x00}), t);  // 8192 codes = 2 divisions
    QCOMPARE(t[0], float(1.0 - 0.125 - 0.0625));
}

void TestSampleConvert::fftIgnoresOperands() {
    InstrumentConfig c = Config();
    for (const char* op : {"FFT", "DIV", ""}) {
        c.mathType = QString::fromLatin1(op);
        c.mathSource = {QStringLiteral("junk"), QString()};
        std::vector<float> t(2);
        QCOMPARE(ConvertMathSamples(c, 2, Bytes({0x00, 0x64, 0x80, 0x00}), t), 2);
        QCOMPARE(t[0], 1.0f);
        QCOMPARE(t[1], -327.68f);
    }
}

void TestSampleConvert::badOperandGivesNaN() {
    InstrumentConfig c = Config();
    for (const char* op : {"ADD", "SUB", "MULT"}) {
        c.mathType = QString::fromLatin1(op);
        for (const char* src : {"CH0", "CH6", "CHX", ""}) {
            c.mathSource = {QStringLiteral("CH1"), QString::fromLatin1(src)};
            std::vector<float> t(3, 5.0f);
            QCOMPARE(ConvertMathSamples(c, 2, QByteArray(8, '\0'), t), 2);
            QVERIFY(std::isnan(t[0]) && std::isnan(t[1]));
            QCOMPARE(t[2], 5.0f);
        }
    }
    // "M1"-style fifth trace is a valid operand.
    c.mathType = QStringLiteral("SUB");
    c.mathSource = {QStringLiteral("X5"), QStringLiteral("CH1")};
    c.vDiv[4] = 4.0f;
    std::vector<float> t(1);
    ConvertMathSamples(c, 1, Bytes({0x10, 0x00}), t);
    QCOMPARE(t[0], 4.0f);
}

// Never read past the block nor write past the target.
void TestSampleConvert::bounds() {
    InstrumentConfig c = Config();
    c.vDiv[0] = 32.0f;
    std::vector<float> t(2, 7.0f);
    QCOMPARE(ConvertByteSamples(0, c, 10, Bytes({1, 2, 3, 4}), t), 2);  // target holds 2
    QCOMPARE(t, (std::vector<float>{1.0f, 2.0f}));
    std::vector<float> big(10, 7.0f);
    QCOMPARE(ConvertByteSamples(0, c, 10, Bytes({1, 2, 3}), big), 3);  // block holds 3
    QCOMPARE(big[3], 7.0f);
    QCOMPARE(ConvertWordSamples(0, c, 5, Bytes({0, 1, 0}), big), 1);  // odd byte count: one whole sample
    QCOMPARE(ConvertByteSamples(0, c, -1, Bytes({1}), big), 0);
    std::vector<float> none;
    QCOMPARE(ConvertByteSamples(0, c, 3, Bytes({1, 2, 3}), none), 0);
    for (int16_t bad : {int16_t(-1), int16_t(4), int16_t(5)}) {
        QCOMPARE(ConvertByteSamples(bad, c, 1, Bytes({1}), big), 0);
        QCOMPARE(ConvertWordSamples(bad, c, 1, Bytes({1, 1}), big), 0);
    }
    c.mathType = QStringLiteral("MULT");
    c.mathSource = {QStringLiteral("CH1"), QStringLiteral("CH1")};
    QCOMPARE(ConvertMathSamples(c, 3, QByteArray(11, '\0'), big), 2);  // two whole 32-bit codes
    std::vector<float> two(2);
    c.mathType = QStringLiteral("FFT");
    QCOMPARE(ConvertMathSamples(c, 2999999, QByteArray(6000000, '\1'), two), 2);
}

void TestSampleConvert::operandIndex() {
    QCOMPARE(MathOperandIndex(QStringLiteral("CH1")), 0);
    QCOMPARE(MathOperandIndex(QStringLiteral("CH4")), 3);
    QCOMPARE(MathOperandIndex(QStringLiteral("M5")), 4);
    QCOMPARE(MathOperandIndex(QStringLiteral("CH0")), -1);
    QCOMPARE(MathOperandIndex(QStringLiteral("CH9")), -1);
    QCOMPARE(MathOperandIndex(QStringLiteral("CH1 ")), -1);
    QCOMPARE(MathOperandIndex(QString()), -1);
}

QTEST_MAIN(TestSampleConvert)
#include "tst_sampleconvert.moc"
