#include <QLocale>
#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>

#include "engine/text/NumText.h"

using namespace qm;

class TstNumText : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("unit after") << "  12.5V" << 12.5;
        QTest::newRow("exponent") << "-3e2x" << -300.0;
        QTest::newRow("word") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("point first") << ".5" << 0.5;
        QTest::newRow("bare exponent letter") << "1e" << 1.0;
        QTest::newRow("exponent sign only") << "1e+" << 1.0;
        QTest::newRow("plus") << "+7" << 7.0;
        QTest::newRow("tabs CR LF") << "\t\r\n 4.25\r\n" << 4.25;
        QTest::newRow("instrument answer") << "9.9E+37" << 9.9e37;
        QTest::newRow("small answer") << "-1.234E-05,ON" << -1.234e-05;
        QTest::newRow("trailing point") << "5.x" << 5.0;
        QTest::newRow("point before exponent") << "5.e3" << 5000.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("point alone") << ".e5" << 0.0;
        QTest::newRow("two points") << "1.2.3" << 1.2;
        QTest::newRow("space after sign") << "- 5" << 0.0;
        QTest::newRow("D is no exponent") << "1D3" << 1.0;
        QTest::newRow("hex is not read") << "&H10" << 0.0;
        QTest::newRow("fullwidth digit stops") << QString::fromUtf8("1\xEF\xBC\x92") << 1.0;
        QTest::newRow("underflow") << "1e-400" << 0.0;
        QTest::newRow("long zeros") << "0.000000000000000000000000000001e30" << 1.0;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(LeadingNumber(text), value);
    }
    void leadingNumberOverflow() {
        QCOMPARE(LeadingNumber(u"1e400"), std::numeric_limits<double>::infinity());
        QCOMPARE(LeadingNumber(u"-0.01e99999999999999999999"), -std::numeric_limits<double>::infinity());
        QCOMPARE(LeadingNumber(u"0e99999999"), 0.0);
    }

    void strictNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("printed positive") << " 1 " << true << 1.0;
        QTest::newRow("printed negative") << "-1 " << true << -1.0;
        QTest::newRow("spaces") << " 12 " << true << 12.0;
        QTest::newRow("tabs") << "\t12\t" << true << 12.0;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("plus") << "+5" << true << 5.0;
        QTest::newRow("leading zeros") << "00000123" << true << 123.0;
        QTest::newRow("block length") << "00012345" << true << 12345.0;
        QTest::newRow("fraction") << " 0.5 " << true << 0.5;
        QTest::newRow("trailing point") << "5." << true << 5.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blank") << " " << false << 0.0;
        QTest::newRow("junk after") << "12x" << false << 0.0;
        QTest::newRow("junk after blank") << "1 x" << false << 0.0;
        QTest::newRow("minus alone") << "-" << false << 0.0;
        QTest::newRow("incomplete exponent") << "1e" << false << 0.0;
        QTest::newRow("inner blank") << "1 2" << false << 0.0;
        QTest::newRow("line feed") << "1\n" << false << 0.0;
        QTest::newRow("comma decimal") << "1,5" << false << 0.0;
        QTest::newRow("nan word") << "nan" << false << 0.0;
        QTest::newRow("inf word") << "inf" << false << 0.0;
        QTest::newRow("too large") << "1e400" << false << 0.0;
    }
    void strictNumber() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        const auto r = StrictNumber(text);
        QCOMPARE(r.has_value(), ok);
        if (ok) QCOMPARE(*r, value);
    }

    void rounding() {
        const double cases[][2] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2},
                                   {-0.5, 0}, {2.4999999, 2}, {2.5000001, 3}, {-1.6, -2}, {1e300, 1e300},
                                   {4503599627370497.0, 4503599627370497.0}};
        for (const auto& c : cases) QCOMPARE(RoundHalfEven(c[0]), c[1]);
        QVERIFY(std::isnan(RoundHalfEven(std::nan(""))));
    }

    void toInt() {
        QCOMPARE(ToInt16(2.5), int16_t(2));
        QCOMPARE(ToInt16(-2.5), int16_t(-2));
        QCOMPARE(ToInt16(32767.0), int16_t(32767));
        QCOMPARE(ToInt16(32766.5), int16_t(32766));
        QCOMPARE(ToInt16(32767.4), int16_t(32767));
        QCOMPARE(ToInt16(-32768.5), int16_t(-32768));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(32767.5));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(32768.0));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(-32768.6));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(-32769.5));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(std::nan("")));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt16(std::numeric_limits<double>::infinity()));
        QCOMPARE(ToInt32(2147483647.0), int32_t(2147483647));
        QCOMPARE(ToInt32(2147483646.5), int32_t(2147483646));
        QCOMPARE(ToInt32(-2147483648.5), int32_t(-2147483647 - 1));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt32(2147483647.5));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt32(-2147483649.0));
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, ToInt32(-std::numeric_limits<double>::infinity()));
    }

    void generalDouble_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("123") << 123.0 << "123";
        QTest::newRow("1.5") << 1.5 << "1.5";
        QTest::newRow("-500") << -500.0 << "-500";
        QTest::newRow("0.0001") << 0.0001 << "0.0001";
        QTest::newRow("0.00001") << 0.00001 << "1E-05";
        QTest::newRow("below 1e-4") << 0.00009999999 << "9.999999E-05";
        QTest::newRow("rounds up to 1e-4") << 0.00009999999999999999 << "0.0001";
        QTest::newRow("1e15") << 1e15 << "1E+15";
        QTest::newRow("1.5e15") << 1.5e15 << "1.5E+15";
        QTest::newRow("15 nines") << 999999999999999.0 << "999999999999999";
        QTest::newRow("rounds to 1e15") << 999999999999999.9 << "1E+15";
        QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0.3";
        QTest::newRow("123.00000000000001") << 123.00000000000001 << "123";
        QTest::newRow("negative exponent form") << -2.5e-07 << "-2.5E-07";
        QTest::newRow("three-digit exponent") << 1e100 << "1E+100";
        QTest::newRow("tiny") << 1e-300 << "1E-300";
        QTest::newRow("subnormal") << 5e-324 << "4.94065645841247E-324";
        QTest::newRow("pi") << 3.14159265358979323 << "3.14159265358979";
        QTest::newRow("fixed small") << -0.00012345 << "-0.00012345";
        QTest::newRow("zeros in integer") << 1200000.0 << "1200000";
        QTest::newRow("sample interval") << 4e-9 << "4E-09";
        QTest::newRow("9.9e37") << 9.9e37 << "9.9E+37";
        QTest::newRow("NaN") << std::nan("") << "NaN";
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity() << "-Inf";
    }
    void generalDouble() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(GeneralNumberText(value), text);
    }

    void generalFloat() {
        QCOMPARE(GeneralNumberText(0.1f), QStringLiteral("0.1"));
        QCOMPARE(GeneralNumberText(1e-5f), QStringLiteral("1E-05"));
        QCOMPARE(GeneralNumberText(16777216.f), QStringLiteral("1.677722E+07"));
        QCOMPARE(GeneralNumberText(-0.0f), QStringLiteral("0"));
        QCOMPARE(GeneralNumberText(1234567.f), QStringLiteral("1234567"));
        QCOMPARE(GeneralNumberText(0.3f), QStringLiteral("0.3"));
        QCOMPARE(GeneralNumberText(-1.0f / 3.0f), QStringLiteral("-0.3333333"));
        QCOMPARE(GeneralNumberText(1e15f), QStringLiteral("1E+15"));
        QCOMPARE(GeneralNumberText(9999999.f), QStringLiteral("9999999"));
        QCOMPARE(GeneralNumberText(1e7f), QStringLiteral("1E+07"));
        QCOMPARE(GeneralNumberText(1e-4f), QStringLiteral("0.0001"));
    }

    void printNumber() {
        QCOMPARE(PrintNumber(1.0), QStringLiteral(" 1 "));
        QCOMPARE(PrintNumber(-1.0), QStringLiteral("-1 "));
        QCOMPARE(PrintNumber(0.5), QStringLiteral(" 0.5 "));
        QCOMPARE(PrintNumber(0.00001), QStringLiteral(" 1E-05 "));
        QCOMPARE(PrintNumber(-2.5e-07), QStringLiteral("-2.5E-07 "));
        QCOMPARE(PrintNumber(-0.0), QStringLiteral(" 0 "));
        QCOMPARE(PrintNumber(0.1f), QStringLiteral(" 0.1 "));
        QCOMPARE(PrintNumber(-16777216.f), QStringLiteral("-1.677722E+07 "));
        QCOMPARE(PrintNumber(int64_t(50000)), QStringLiteral(" 50000 "));
        QCOMPARE(PrintNumber(int32_t(-1)), QStringLiteral("-1 "));
        QCOMPARE(PrintNumber(int16_t(0)), QStringLiteral(" 0 "));
        QCOMPARE(PrintNumber(std::numeric_limits<int64_t>::min()), QStringLiteral("-9223372036854775808 "));
        // What the resume file reads back.
        QCOMPARE(StrictNumber(PrintNumber(int16_t(-1))), std::optional<double>(-1.0));
    }

    void formatPicture_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("6 decimals") << 0.000123456 << 6 << "1.234560e-4";
        QTest::newRow("2 decimals") << 12.5 << 2 << "1.25e1";
        QTest::newRow("negative") << -0.0042 << 4 << "-4.2000e-3";
        QTest::newRow("rounds into next decade") << 9.999 << 2 << "1.00e1";
        QTest::newRow("zero 2") << 0.0 << 2 << "0.00e0";
        QTest::newRow("zero 8") << 0.0 << 8 << "0.00000000e0";
        QTest::newRow("negative zero") << -0.0 << 4 << "0.0000e0";
        QTest::newRow("one") << 1.0 << 2 << "1.00e0";
        QTest::newRow("large exponent") << 1.5e300 << 2 << "1.50e300";
        QTest::newRow("small exponent") << -2.5e-120 << 2 << "-2.50e-120";
        QTest::newRow("exact binary value") << 1.005 << 2 << "1.00e0";   // 1.00499999999999989...
        QTest::newRow("exact tie is even") << 1.125 << 2 << "1.12e0";
        QTest::newRow("9 digits") << 0.000123 * 1e6 << 8 << "1.23000000e2";
        QTest::newRow("rounds to 1000") << 999.9999999 << 8 << "1.00000000e3";
        QTest::newRow("time column") << -50000 * 4e-9 << 6 << "-2.000000e-4";
        QTest::newRow("no decimals") << 12.5 << 0 << "1e1";
        QTest::newRow("NaN") << std::nan("") << 2 << "NaN";
        QTest::newRow("inf") << std::numeric_limits<double>::infinity() << 2 << "Inf";
    }
    void formatPicture() {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QCOMPARE(FormatPicture(value, decimals), text);
        char buf[kPictureTextMax];
        QCOMPARE(QString::fromLatin1(buf, FormatPictureChars(buf, value, decimals)), text);
    }
    void formatShortcuts() {
        QCOMPARE(FormatPicture(-1.0, 2), QStringLiteral("-1.00e0"));
        QCOMPARE(FormatPicture(0.5, 4), QStringLiteral("5.0000e-1"));
        QCOMPARE(FormatPicture(1e-9, 6), QStringLiteral("1.000000e-9"));
        QCOMPARE(Format8(-1.7976931348623157e308), QStringLiteral("-1.79769313e308"));
        // The picture text read back as a number (nine significant digits).
        QCOMPARE(LeadingNumber(Format8(0.000123 * 1e6)), 123.0);
    }

    // A comma-decimal locale must not change any text.
    void localeIndependent() {
        const QLocale old;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        std::setlocale(LC_ALL, "de_DE.UTF-8");  // may be absent; the Qt default still changes
        QCOMPARE(GeneralNumberText(1.5), QStringLiteral("1.5"));
        QCOMPARE(FormatPicture(12.5, 2), QStringLiteral("1.25e1"));
        QCOMPARE(LeadingNumber(u"1.5"), 1.5);
        QCOMPARE(StrictNumber(u"1,5"), std::nullopt);
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(old);
    }
};

QTEST_MAIN(TstNumText)
#include "tst_numtext.moc"
