// The fast exponent-picture writer must give exactly the bytes of the exact
// one, for every value the waveform file meets.
#include "engine/output/PictureFormat.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace qm;

namespace {
QByteArray Fast(double v, int d) {
    char buf[qm::kPictureTextMax];
    return QByteArray(buf, qm::FastPictureChars(buf, v, d));
}
QByteArray Exact(double v, int d) {
    char buf[qm::kPictureTextMax];
    return QByteArray(buf, qm::FormatPictureChars(buf, v, d));
}
}  // namespace

class TestPictureFormat : public QObject {
    Q_OBJECT
private slots:
    void knownTexts();
    void specialValues();
    void boundariesAndTies();
    void randomFloats();
    void timeAxisValues();
};

void TestPictureFormat::knownTexts() {
    QCOMPARE(Fast(0.000123456, 6), QByteArray("1.234560e-4"));
    QCOMPARE(Fast(12.5, 2), QByteArray("1.25e1"));
    QCOMPARE(Fast(-0.0042, 4), QByteArray("-4.2000e-3"));
    QCOMPARE(Fast(9.999, 2), QByteArray("1.00e1"));
    QCOMPARE(Fast(1e-100, 2), QByteArray("1.00e-100"));
    QCOMPARE(Fast(-3.0e38, 4), QByteArray("-3.0000e38"));
    QCOMPARE(Fast(0.0, 2), QByteArray("0.00e0"));
    QCOMPARE(Fast(-0.0, 4), QByteArray("0.0000e0"));
    QCOMPARE(Fast(0.0, 6), QByteArray("0.000000e0"));
}

void TestPictureFormat::specialValues() {
    const double vals[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min(),
                           double(std::numeric_limits<float>::denorm_min()), std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::min(), 1e-320};
    for (double v : vals)
        for (int d : {0, 1, 2, 4, 6, 8, 9, 20}) QCOMPARE(Fast(v, d), Exact(v, d));
}

// Powers of ten and their neighbours, and exact halves.
void TestPictureFormat::boundariesAndTies() {
    for (int d : {1, 2, 4, 6, 8}) {
        for (int p = -40; p <= 40; ++p) {
            const double base = std::pow(10.0, p);
            for (double v : {base, std::nextafter(base, 0.0), std::nextafter(base, 1e300), base * 9.995,
                             base * 9.9949999, base * 9.9950001, base * 1.25, base * 1.125, base * 2.5, base * 0.5}) {
                QCOMPARE(Fast(v, d), Exact(v, d));
                QCOMPARE(Fast(-v, d), Exact(-v, d));
                const float f = float(v);
                QCOMPARE(Fast(double(f), d), Exact(double(f), d));
            }
        }
    }
    QCOMPARE(Fast(0.125, 1), QByteArray("1.2e-1"));  // an exact tie goes to even
    QCOMPARE(Fast(0.375, 1), QByteArray("3.8e-1"));
}

void TestPictureFormat::randomFloats() {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<uint32_t> bits(0, 0xFFFFFFFFu);
    std::uniform_real_distribution<double> volts(-50.0, 50.0);
    int checked = 0;
    for (int k = 0; k < 200000; ++k) {
        uint32_t b = bits(rng);
        float f;
        std::memcpy(&f, &b, sizeof f);
        const float g = float(volts(rng));
        for (int d : {2, 4}) {
            QCOMPARE(Fast(double(f), d), Exact(double(f), d));
            QCOMPARE(Fast(double(g), d), Exact(double(g), d));
            checked += 2;
        }
    }
    // Every value a BYTE or WORD channel can give at a common scale.
    for (float s : {0.002f, 0.05f, 0.5f, 1.0f, 5.0f}) {
        for (int c = -32768; c <= 32767; c += 7) {
            const double v = double(float((double(float(c)) / 8192) * s - 0.01));
            QCOMPARE(Fast(v, 4), Exact(v, 4));
            QCOMPARE(Fast(v, 2), Exact(v, 2));
        }
    }
    QVERIFY(checked > 0);
}

void TestPictureFormat::timeAxisValues() {
    for (double dt : {1e-5, 4e-9, 2e-10, 1.0 / 3.0, 0.001, 5e-7}) {
        for (int64_t i = -600000; i <= 600000; i += 97) {
            const double t = double(i) * dt;
            QCOMPARE(Fast(t, 6), Exact(t, 6));
        }
    }
}

QTEST_MAIN(TestPictureFormat)
#include "tst_pictureformat.moc"
