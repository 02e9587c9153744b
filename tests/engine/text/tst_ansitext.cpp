// Code page 932 both ways, as Windows has it: the program's own texts, the
// characters where Shift-JIS tables disagree, what the code page cannot hold,
// and bytes that are no text. The same on every build.
#include "engine/text/AnsiText.h"

#include <QtTest>

using namespace qm;

namespace {
QString U(const char16_t* s) { return QString::fromUtf16(s); }
QString Cp(char32_t c) { return QString::fromUcs4(&c, 1); }
}  // namespace

class TstAnsiText : public QObject {
    Q_OBJECT
private slots:
    void encode_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("ascii, CR LF") << U(u"Time,A,B\r\n") << QByteArray("54696d652c412c420d0a");
        QTest::newRow("NUL and control bytes") << U(u"A") + QChar(0) + U(u"\x1A\x1C\x7F") << QByteArray("41001a1c7f");
        QTest::newRow("backslash and tilde") << U(u"C:\\~") << QByteArray("433a5c7e");
        QTest::newRow("resume label") << U(u"IPアドレス,") << QByteArray("495083418368838c83582c");
        QTest::newRow("resume label kanji") << U(u"csv波形格納チェック,") << QByteArray("63737694678c608a69945b836083468362834e2c");
        QTest::newRow("trail byte 0x5C") << U(u"DS画面表示チェック,") << QByteArray("445389e696ca955c8ea6836083468362834e2c");
        QTest::newRow("continue check") << U(u"Mnual継続チェック,") << QByteArray("4d6e75616c8c7091b1836083468362834e2c");
        QTest::newRow("folder") << U(u"フォルダ,D:\\測定\\ログ") << QByteArray("83748348838b835f2c443a5c91aa92e85c838d834f");
        QTest::newRow("hiragana") << U(u"あいう") << QByteArray("82a082a282a4");
        QTest::newRow("half-width kana") << U(u"ｱｲｳ･ﾟ") << QByteArray("b1b2b3a5df");
        QTest::newRow("fullwidth tilde") << U(u"\uFF5E") << QByteArray("8160");
        QTest::newRow("wave dash") << U(u"\u301C") << QByteArray("3f");
        QTest::newRow("fullwidth minus") << U(u"\uFF0D") << QByteArray("817c");
        QTest::newRow("minus sign") << U(u"\u2212") << QByteArray("3f");
        QTest::newRow("yen, overline") << U(u"\u00A5\u203E") << QByteArray("3f3f");
        QTest::newRow("parallel to") << U(u"\u2225") << QByteArray("8161");
        QTest::newRow("double vertical line") << U(u"\u2016") << QByteArray("3f");
        QTest::newRow("horizontal bar, em dash") << U(u"\u2015\u2014") << QByteArray("815c3f");
        QTest::newRow("fullwidth cent pound not") << U(u"\uFFE0\uFFE1\uFFE2") << QByteArray("8191819281ca");
        QTest::newRow("cent pound not") << U(u"\u00A2\u00A3\u00AC") << QByteArray("3f3f3f");
        QTest::newRow("greek mu, micro sign") << U(u"\u03BCs \u00B5s") << QByteArray("83ca73203f73");
        QTest::newRow("omega, ohm sign") << U(u"\u03A9\u2126") << QByteArray("83b63f");
        QTest::newRow("degrees") << U(u"℃ °") << QByteArray("818e20818b");
        QTest::newRow("NEC specials") << U(u"①㎜№㈱Ⅰ") << QByteArray("8740876f8782878a8754");
        QTest::newRow("IBM extensions") << U(u"ⅰ纊￤") << QByteArray("fa40fa5cfa55");
        QTest::newRow("both in JIS and NEC rows") << U(u"≒∵") << QByteArray("81e081e6");
        QTest::newRow("single bytes of the code page") << U(u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3") << QByteArray("80a0fdfeff");
        QTest::newRow("user-defined area") << U(u"\uE000\uE757") << QByteArray("f040f9fc");
        QTest::newRow("euro") << U(u"1€") << QByteArray("313f");
        QTest::newRow("beyond the BMP") << U(u"a😀b") << QByteArray("613f62");
        QTest::newRow("two beyond the BMP") << Cp(0x1F600) + Cp(0x20B9F) << QByteArray("3f3f");
        QTest::newRow("lone high surrogate") << U(u"A") + QChar(0xD800) + U(u"B") << QByteArray("413f42");
        QTest::newRow("lone low surrogate") << QChar(0xDC00) + U(u"あ") << QByteArray("3f82a0");
        QTest::newRow("high surrogate at the end") << U(u"A") + QChar(0xD83D) << QByteArray("413f");
        QTest::newRow("soft hyphen, BOM") << U(u"a\u00ADb\uFEFF") << QByteArray("613f623f");
        QTest::newRow("private use not in the table") << U(u"\uF86F") << QByteArray("3f");
        QTest::newRow("unmappable amid kanji") << U(u"測€定") << QByteArray("91aa3f92e8");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void encode() {
        QFETCH(QString, text);
        QFETCH(QByteArray, hex);
        QCOMPARE(qm::ToAnsi(text).toHex(), hex);
    }

    void decode_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii, CR LF") << QByteArray("41420d0a") << U(u"AB\r\n");
        QTest::newRow("control bytes") << QByteArray("1a1c7f") << U(u"\x1A\x1C\x7F");
        QTest::newRow("resume label") << QByteArray("445389e696ca955c8ea6836083468362834e2c") << U(u"DS画面表示チェック,");
        QTest::newRow("fullwidth tilde, minus") << QByteArray("8160817c") << U(u"\uFF5E\uFF0D");
        QTest::newRow("bar, parallel, backslash") << QByteArray("815c81615c") << U(u"\u2015\u2225\\");
        QTest::newRow("fullwidth cent pound not") << QByteArray("8191819281ca") << U(u"\uFFE0\uFFE1\uFFE2");
        QTest::newRow("duplicates of JIS row 2") << QByteArray("8790879a") << U(u"≒∵");
        QTest::newRow("NEC selected and IBM") << QByteArray("ed40fa5ceeeffa40eef9fa54") << U(u"纊纊ⅰⅰ\uFFE2\uFFE2");
        QTest::newRow("NEC specials") << QByteArray("8740876f") << U(u"①㎜");
        QTest::newRow("mu, celsius") << QByteArray("83ca818e") << U(u"μ℃");
        QTest::newRow("half-width kana") << QByteArray("b1df") << U(u"ｱﾟ");
        QTest::newRow("user-defined area") << QByteArray("f040") << U(u"\uE000");
        QTest::newRow("0x80, 0xA0, 0xFD-0xFF") << QByteArray("80a0fdfeff") << U(u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3");
        QTest::newRow("lead byte as trail byte") << QByteArray("818141") << U(u"\uFF1DA");
        QTest::newRow("lone lead byte at the end") << QByteArray("4181") << U(u"A\uFFFD");
        QTest::newRow("only a lead byte") << QByteArray("e0") << U(u"\uFFFD");
        QTest::newRow("lead byte before a digit") << QByteArray("813932") << U(u"\uFFFD92");
        QTest::newRow("lead byte before CR LF") << QByteArray("820d0a") << U(u"\uFFFD\r\n");
        QTest::newRow("lead byte before 0x7F") << QByteArray("817f") << U(u"\uFFFD\x7F");
        QTest::newRow("lead byte before 0xFD") << QByteArray("81fd41") << U(u"\uFFFD\uF8F1A");
        QTest::newRow("codes without a character") << QByteArray("8540869fef40fc4c81ad") << U(u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
        QTest::newRow("code without a character amid kana") << QByteArray("82a0854082a2") << U(u"あ\uFFFDい");
        QTest::newRow("katakana middle dot") << QByteArray("8145") << U(u"・");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void decode() {
        QFETCH(QByteArray, hex);
        QFETCH(QString, text);
        QCOMPARE(qm::FromAnsi(QByteArray::fromHex(hex)), text);
    }

    // Every double-byte code reads as one character; one that has a
    // character is written back as a code that reads as the same character.
    void everyCodeReadsBack() {
        int defined = 0;
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (lead >= 0xA0 && lead < 0xE0) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (trail == 0x7F) continue;
                QByteArray code;
                code.append(char(lead)).append(char(trail));
                const QString c = qm::FromAnsi(code);
                QCOMPARE(c.size(), 1);
                if (c == QChar(0xFFFD)) continue;
                ++defined;
                const QByteArray back = qm::ToAnsi(c);
                if (back.size() != 2 || qm::FromAnsi(back) != c)
                    QFAIL(qPrintable(QStringLiteral("%1 -> U+%2 -> %3")
                                         .arg(QString::fromLatin1(code.toHex()))
                                         .arg(c[0].unicode(), 4, 16, QLatin1Char('0'))
                                         .arg(QString::fromLatin1(back.toHex()))));
            }
        }
        // JIS X 0208, NEC row 13, both IBM extension blocks and the user-defined area.
        QCOMPARE(defined, 9604);
    }

    void roundTrip_data() {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<int>("repeat");
        QTest::newRow("log line") << U(u"12,2024/05/01 12:00:00,1.234E-3,,-5,0.5\r\n") << 20000;
        QTest::newRow("mixed") << U(u"フォルダ,D:\\測定\\ｱｲｳ①㎜μ℃～－￤ⅰ\uE000\u0080\uF8F0\r\n") << 20000;
        QTest::newRow("kanji only, one long run") << U(u"波形格納継続表示") << 40000;
    }
    void roundTrip() {
        QFETCH(QString, piece);
        QFETCH(int, repeat);
        const QString text = piece.repeated(repeat);
        const QByteArray bytes = qm::ToAnsi(text);
        QCOMPARE(bytes, qm::ToAnsi(piece).repeated(repeat));
        QCOMPARE(qm::FromAnsi(bytes), text);
    }

    // A long text of what the code page cannot hold gives one "?" each.
    void longUnmappable() {
        const QString text = U(u"€\u2212😀").repeated(50000);
        QCOMPARE(qm::ToAnsi(text), QByteArray(150000, '?'));
    }
};

QTEST_GUILESS_MAIN(TstAnsiText)
#include "tst_ansitext.moc"
