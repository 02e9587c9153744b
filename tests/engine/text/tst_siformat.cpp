// Engineering notation of the log cells.
#include "engine/text/SIFormat.h"

#include <QTest>
#include <cmath>
#include <limits>

using namespace qm;

class TestSIFormat : public QObject {
    Q_OBJECT
private slots:
    void cellText_data();
    void cellText();
    void scaledAndSuffix_data();
    void scaledAndSuffix();
    void roundingKeepsLowerRange();
};

void TestSIFormat::cellText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    // The log's table of stored values and cell texts.
    QTest::newRow("zero") << 0.0 << "0e-9";
    QTest::newRow("0.000123") << 0.000123 << "123e-6";
    QTest::newRow("1500") << 1500.0 << "1.5e3";
    QTest::newRow("-0.5") << -0.5 << "-500e-3";
    QTest::newRow("2.5") << 2.5 << "2.5";
    QTest::newRow("0.001") << 0.001 << "1e-3";
    QTest::newRow("0.000001") << 0.000001 << "1e-6";
    QTest::newRow("999.9999999") << 999.9999999 << "1000";
    // The CSV file's examples.
    QTest::newRow("0.0123456789123") << 0.0123456789123 << "12.3456789e-3";
    QTest::newRow("2.5e6") << 2.5e6 << "2500e3";
    // No value.
    QTest::newRow("9.9e37") << 9.9e37 << "";
    QTest::newRow("1e30") << 1e30 << "";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "";
    QTest::newRow("+inf") << std::numeric_limits<double>::infinity() << "";
    QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "";
    // Range boundaries, both sides, both signs.
    QTest::newRow("just below 1e-6") << 9.99999999e-7 << "999.999999e-9";
    QTest::newRow("1e-6") << 1e-6 << "1e-6";
    QTest::newRow("-1e-6") << -1e-6 << "-1e-6";
    QTest::newRow("-1e-7") << -1e-7 << "-100e-9";
    QTest::newRow("0.000999") << 0.000999 << "999e-6";
    QTest::newRow("1e-3") << 1e-3 << "1e-3";
    QTest::newRow("-1e-3") << -1e-3 << "-1e-3";
    QTest::newRow("0.9999") << 0.9999 << "999.9e-3";
    QTest::newRow("1") << 1.0 << "1";
    QTest::newRow("-1") << -1.0 << "-1";
    QTest::newRow("999.5") << 999.5 << "999.5";
    QTest::newRow("1000") << 1000.0 << "1e3";
    QTest::newRow("-1000") << -1000.0 << "-1e3";
    QTest::newRow("-2.5e6") << -2.5e6 << "-2500e3";
    // Nine significant digits.
    QTest::newRow("1/3") << 1.0 / 3.0 << "333.333333e-3";
    QTest::newRow("123456789.123") << 123456789.123 << "123456.789e3";
    QTest::newRow("1.23456789123") << 1.23456789123 << "1.23456789";
    // Tiny values stay in the e-9 range while the scaled number needs no
    // exponent; beyond that every cell is still a number a spreadsheet reads.
    QTest::newRow("1e-10") << 1e-10 << "0.1e-9";
    QTest::newRow("1e-13") << 1e-13 << "0.0001e-9";
    QTest::newRow("1e-14") << 1e-14 << "1e-14";
    QTest::newRow("1e-20") << 1e-20 << "1e-20";
    QTest::newRow("-5e-324") << -5e-324 << "-4.94065646e-324";
    QTest::newRow("negative zero") << -0.0 << "0e-9";
    // Large but still a value.
    QTest::newRow("9.99e17") << 9.99e17 << "999000000000000e3";
    QTest::newRow("9.99e29") << 9.99e29 << "9.99e+29";
    QTest::newRow("-1e31") << -1e31 << "-1e+31";
}

void TestSIFormat::cellText() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(SICellText(value), text);
}

void TestSIFormat::scaledAndSuffix_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("unitIn");
    QTest::addColumn<double>("scaled");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("e-9 V") << 5e-9 << "V" << 5.0 << "e-9V";
    QTest::newRow("e-6 s") << 0.000123 << "s" << 123.0 << "e-6s";
    QTest::newRow("e-3 Vs") << -0.5 << "Vs" << -500.0 << "e-3Vs";
    QTest::newRow("plain %") << 2.5 << "%" << 2.5 << "%";
    QTest::newRow("plain empty") << 2.5 << "" << 2.5 << "";
    QTest::newRow("e3 V") << 1500.0 << "V" << 1.5 << "e3V";
    QTest::newRow("e3 empty") << 2.5e6 << "" << 2500.0 << "e3";
}

void TestSIFormat::scaledAndSuffix() {
    QFETCH(double, value);
    QFETCH(QString, unitIn);
    QFETCH(double, scaled);
    QFETCH(QString, suffix);
    const SIValue si = FormatSIValue(value, unitIn);
    QCOMPARE(si.scaled, scaled);  // exact: the rounding gives the shortest double
    QCOMPARE(si.suffix, suffix);
}

void TestSIFormat::roundingKeepsLowerRange() {
    // Values that round up into the next range keep the lower range's suffix.
    SIValue si = FormatSIValue(0.0009999999999, QString());
    QCOMPARE(si.scaled, 1000.0);
    QCOMPARE(si.suffix, QStringLiteral("e-6"));
    si = FormatSIValue(-0.9999999999, QString());
    QCOMPARE(si.scaled, -1000.0);
    QCOMPARE(si.suffix, QStringLiteral("e-3"));
    QCOMPARE(SICellText(9.999999999e-7), QStringLiteral("1000e-9"));
    // NaN passes through unscaled and unrounded, without a crash.
    si = FormatSIValue(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("V"));
    QVERIFY(std::isnan(si.scaled));
    QCOMPARE(si.suffix, QStringLiteral("V"));
    si = FormatSIValue(std::numeric_limits<double>::infinity(), QString());
    QVERIFY(std::isinf(si.scaled));
    QCOMPARE(si.suffix, QStringLiteral("e3"));
}

QTEST_MAIN(TestSIFormat)
#include "tst_siformat.moc"
