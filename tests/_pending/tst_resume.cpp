#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

#include "app/ResumeFile.h"
#include "engine/text/AnsiText.h"
#include "common/VbCheckBox.h"

namespace {

// The main window's controls with their design-time values.
struct Form {
    QLineEdit IPAdressText{QStringLiteral("192.168.1.1")};
    VbCheckBox IFCheck{QStringLiteral("USB")};
    QComboBox ComList;
    QLineEdit TRound{QStringLiteral("1000")};
    QLineEdit LoopInterval{QStringLiteral("0.1")};
    QLineEdit FFolder;
    QLineEdit FHeadder{QStringLiteral("Sample")};
    VbCheckBox WaveSaveCheck{QStringLiteral("CSV波形格納")};
    VbCheckBox DSScreenDispCheck{QStringLiteral("DS画面表示")};
    VbCheckBox DSScreenSaveCheck{QStringLiteral("DS画面格納")};
    VbCheckBox INVCheck{QStringLiteral("INVなし")};
    VbCheckBox ManualCheck{QStringLiteral("マニュアル継続")};
    VbCheckBox AMLogOn{QStringLiteral("自動測定ログ")};
    ResumeControls c{IPAdressText, IFCheck, ComList, TRound, LoopInterval, FFolder, FHeadder,
                     WaveSaveCheck, DSScreenDispCheck, DSScreenSaveCheck, INVCheck, ManualCheck, AMLogOn};

    Form() {
        ComList.setEditable(true);
        for (int i = 1; i <= 16; ++i) ComList.addItem(QStringLiteral("COM%1").arg(i));
        ComList.setCurrentIndex(1);
        IFCheck.SetValue(0);
        WaveSaveCheck.SetValue(1);
        DSScreenDispCheck.SetValue(1);
        DSScreenSaveCheck.SetValue(0);
        INVCheck.SetValue(1);
        ManualCheck.SetValue(1);
        AMLogOn.SetValue(0);
    }
    // Every setting as one text, to compare two forms.
    QStringList State() const {
        return {IPAdressText.text(),
                QString::number(IFCheck.Value()),
                QString::number(ComList.currentIndex()) + QLatin1Char('/') + ComList.currentText(),
                TRound.text(),
                LoopInterval.text(),
                FFolder.text(),
                FHeadder.text(),
                QString::number(WaveSaveCheck.Value()),
                QString::number(DSScreenDispCheck.Value()),
                QString::number(DSScreenSaveCheck.Value()),
                QString::number(INVCheck.Value()),
                QString::number(ManualCheck.Value()),
                QString::number(AMLogOn.Value())};
    }
};

// The lines of a resume file as a saved file holds them.
QStringList GoodLines() {
    return {QStringLiteral("IPアドレス,10.1.2.3"),   QStringLiteral("USBチェック, 1 "),
            QStringLiteral("Comアドレス, 4 "),       QStringLiteral("回数,25"),
            QStringLiteral("インターバル,2.5"),      QStringLiteral("フォルダ,/data/測定"),
            QStringLiteral("ファイルヘッダ,試験"),   QStringLiteral("csv波形格納チェック, 0 "),
            QStringLiteral("DS画面表示チェック, 0 "), QStringLiteral("DS画面格納チェック, 1 "),
            QStringLiteral("INVコマンドチェック, 2 "), QStringLiteral("Mnual継続チェック, 0 ")};
}

QByteArray FileBytes(const QStringList& lines, const char* eol = "\r\n") {
    QByteArray out;
    for (const QString& l : lines) out += qm::ToAnsi(l) + eol;
    return out;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TstResume : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QString Path(const QString& name = QStringLiteral("Resume302.txt")) const { return tmp_.filePath(name); }

    // Loads `bytes` into a fresh form; returns the result.
    int16_t LoadBytes(Form& f, const QByteArray& bytes) {
        const QString p = Path(QStringLiteral("load.txt"));
        if (!WriteFile(p, bytes)) return 99;
        return LoadResumeParam(p, f.c);
    }

private slots:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    void roundTripKeepsEverySetting() {
        Form a;
        a.IPAdressText.setText(QStringLiteral("10.0.0.7"));
        a.IFCheck.SetValue(1);
        a.ComList.setCurrentIndex(15);
        a.TRound.setText(QStringLiteral("25"));
        a.LoopInterval.setText(QStringLiteral("2.5"));
        a.FFolder.setText(QStringLiteral("/tmp/データ/測定 1"));
        a.FHeadder.setText(QStringLiteral("試験_A"));
        a.WaveSaveCheck.SetValue(0);
        a.DSScreenDispCheck.SetValue(0);
        a.DSScreenSaveCheck.SetValue(1);
        a.INVCheck.SetValue(2);
        a.ManualCheck.SetValue(0);
        a.AMLogOn.SetValue(1);  // not saved
        QCOMPARE(SaveResumeParam(Path(), a.c), int16_t(0));

        Form b;
        QSignalSpy logClicks(&b.AMLogOn, &VbCheckBox::Click);
        QSignalSpy dispClicks(&b.DSScreenDispCheck, &VbCheckBox::Click);
        // A saved file has no thirteenth line: every setting applied, result -1.
        QCOMPARE(LoadResumeParam(Path(), b.c), int16_t(-1));
        QStringList expected = a.State();
        expected.last() = QStringLiteral("0");  // AMLogOn keeps its design-time state
        QCOMPARE(b.State(), expected);
        QCOMPARE(logClicks.count(), 0);
        QCOMPARE(dispClicks.count(), 1);  // a changed value acts like a click
    }

    void typedComTextSavedAsMinusOne() {
        Form a;
        a.ComList.setEditText(QStringLiteral("COM99"));
        QCOMPARE(SaveResumeParam(Path(), a.c), int16_t(0));
        QVERIFY(ReadFile(Path()).contains(qm::ToAnsi(QStringLiteral("Comアドレス,-1 \r\n"))));
        Form b;
        QCOMPARE(LoadResumeParam(Path(), b.c), int16_t(-1));
        QCOMPARE(b.ComList.currentIndex(), -1);
        QCOMPARE(b.ComList.currentText(), QString());
        QCOMPARE(b.FHeadder.text(), QStringLiteral("Sample"));  // later lines still applied
        QCOMPARE(b.ManualCheck.Value(), 1);

        // A typed text that matches an entry counts as that entry.
        a.ComList.setEditText(QStringLiteral("COM3"));
        QCOMPARE(SaveResumeParam(Path(), a.c), int16_t(0));
        QVERIFY(ReadFile(Path()).contains(qm::ToAnsi(QStringLiteral("Comアドレス, 2 \r\n"))));
    }

    void savedBytesExact() {
        Form a;
        a.IFCheck.SetValue(1);
        a.ComList.setEditText(QStringLiteral("x"));
        a.FFolder.setText(QStringLiteral("C:\\D"));
        a.INVCheck.SetValue(2);
        a.ManualCheck.SetValue(0);
        QCOMPARE(SaveResumeParam(Path(), a.c), int16_t(0));
        const QByteArray expected = QByteArray::fromHex(
            // IPアドレス,192.168.1.1
            "495083418368838c83582c" "3139322e3136382e312e310d0a"
            // USBチェック, 1
            "555342836083468362834e2c" "2031200d0a"
            // Comアドレス,-1
            "436f6d83418368838c83582c" "2d31200d0a"
            // 回数,1000
            "89f190942c" "313030300d0a"
            // インターバル,0.1
            "83438393835e815b836f838b2c" "302e310d0a"
            // フォルダ,C:\D
            "83748348838b835f2c" "433a5c440d0a"
            // ファイルヘッダ,Sample
            "837483408343838b83778362835f2c" "53616d706c650d0a"
            // csv波形格納チェック, 1
            "63737694678c608a69945b836083468362834e2c" "2031200d0a"
            // DS画面表示チェック, 1
            "445389e696ca955c8ea6836083468362834e2c" "2031200d0a"
            // DS画面格納チェック, 0
            "445389e696ca8a69945b836083468362834e2c" "2030200d0a"
            // INVコマンドチェック, 2
            "494e568352837d83938368836083468362834e2c" "2032200d0a"
            // Mnual継続チェック, 0
            "4d6e75616c8c7091b1836083468362834e2c" "2030200d0a");
        QCOMPARE(ReadFile(Path()).toHex(' '), expected.toHex(' '));
    }

    void lineBreakInTextKeepsLinesInPlace() {
        Form a;
        a.FHeadder.setText(QStringLiteral("ab\r\ncd"));
        QCOMPARE(SaveResumeParam(Path(), a.c), int16_t(0));
        QVERIFY(ReadFile(Path()).contains(qm::ToAnsi(QStringLiteral("ファイルヘッダ,abcd\r\ncsv"))));
        Form b;
        QCOMPARE(LoadResumeParam(Path(), b.c), int16_t(-1));
        a.FHeadder.setText(QStringLiteral("abcd"));
        QCOMPARE(b.State(), a.State());
    }

    void missingOrEmptyFileChangesNothing() {
        Form f;
        const QStringList before = f.State();
        QCOMPARE(LoadResumeParam(Path(QStringLiteral("absent.txt")), f.c), int16_t(-1));
        QCOMPARE(f.State(), before);
        QCOMPARE(LoadBytes(f, QByteArray()), int16_t(-1));
        QCOMPARE(f.State(), before);
    }

    void missingLinesStopAfterEarlierApplied() {
        Form f;
        QCOMPARE(LoadBytes(f, FileBytes(GoodLines().mid(0, 5))), int16_t(-1));
        QCOMPARE(f.IPAdressText.text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(f.IFCheck.Value(), 1);
        QCOMPARE(f.ComList.currentText(), QStringLiteral("COM5"));
        QCOMPARE(f.TRound.text(), QStringLiteral("25"));
        QCOMPARE(f.LoopInterval.text(), QStringLiteral("2.5"));
        QCOMPARE(f.FFolder.text(), QString());
        QCOMPARE(f.FHeadder.text(), QStringLiteral("Sample"));
        QCOMPARE(f.WaveSaveCheck.Value(), 1);
    }

    void lastLineWithoutEndingAndLoneLf() {
        Form f;
        QByteArray bytes = FileBytes(GoodLines(), "\n");
        bytes.chop(1);  // last line without its line ending
        QCOMPARE(LoadBytes(f, bytes), int16_t(-1));
        QCOMPARE(f.ManualCheck.Value(), 0);
        QCOMPARE(f.INVCheck.Value(), 2);
        QCOMPARE(f.FFolder.text(), QStringLiteral("/data/測定"));
    }

    void numberLines_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("result");     // load result
        QTest::addColumn<int>("ifcheck");    // IFCheck afterwards
        QTest::addColumn<QString>("round");  // TRound afterwards (line 4: applied only when line 2 passed)
        QTest::newRow("print text") << " 1 " << -1 << 1 << "25";
        QTest::newRow("bare digit") << "1" << -1 << 1 << "25";
        QTest::newRow("spaces around") << "   2   " << -1 << 2 << "25";
        QTest::newRow("half rounds to even") << "1.5" << -1 << 2 << "25";
        QTest::newRow("empty") << "" << -1 << 0 << "1000";
        QTest::newRow("blank") << "   " << -1 << 0 << "1000";
        QTest::newRow("trailing letter") << "1x" << -1 << 0 << "1000";
        QTest::newRow("value 3") << " 3 " << -1 << 0 << "1000";
        QTest::newRow("value -1") << "-1 " << -1 << 0 << "1000";
        QTest::newRow("beyond 16 bits") << "70000" << -1 << 0 << "1000";
        QTest::newRow("three commas") << "1,2,3,4" << -1 << 0 << "1000";
    }
    void numberLines() {
        QFETCH(QString, value);
        QFETCH(int, result);
        QFETCH(int, ifcheck);
        QFETCH(QString, round);
        QStringList lines = GoodLines();
        lines[1] = QStringLiteral("USBチェック,") + value;
        Form f;
        QSignalSpy clicks(&f.IFCheck, &VbCheckBox::Click);
        QCOMPARE(int(LoadBytes(f, FileBytes(lines))), result);
        QCOMPARE(f.IPAdressText.text(), QStringLiteral("10.1.2.3"));
        QCOMPARE(f.IFCheck.Value(), ifcheck);
        QCOMPARE(clicks.count(), ifcheck == 0 ? 0 : 1);
        QCOMPARE(f.TRound.text(), round);
    }

    void listIndexLines_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("index");    // ComList afterwards
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("goesOn");  // later lines applied
        QTest::newRow("first") << " 0 " << 0 << "COM1" << true;
        QTest::newRow("last") << " 15 " << 15 << "COM16" << true;
        QTest::newRow("none") << "-1 " << -1 << "" << true;
        QTest::newRow("past the list") << " 16 " << 1 << "COM2" << false;
        QTest::newRow("below -1") << "-2 " << 1 << "COM2" << false;
    }
    void listIndexLines() {
        QFETCH(QString, value);
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(bool, goesOn);
        QStringList lines = GoodLines();
        lines[2] = QStringLiteral("Comアドレス,") + value;
        Form f;
        QCOMPARE(LoadBytes(f, FileBytes(lines)), int16_t(-1));
        QCOMPARE(f.ComList.currentIndex(), index);
        QCOMPARE(f.ComList.currentText(), text);
        QCOMPARE(f.TRound.text(), goesOn ? QStringLiteral("25") : QStringLiteral("1000"));
        QCOMPARE(f.ManualCheck.Value(), goesOn ? 0 : 1);
    }

    void textLineCommas_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("folder");
        QTest::newRow("one comma in value") << "フォルダ,/a,b" << "/a";
        QTest::newRow("two commas in value") << "フォルダ,/a,b,c" << "/a";
        QTest::newRow("three commas in value") << "フォルダ,/a,b,c,d" << "";
        QTest::newRow("empty value") << "フォルダ," << "";
        QTest::newRow("spaces kept") << "フォルダ, /x y " << " /x y ";
        QTest::newRow("overlong line") << QStringLiteral("フォルダ,") + QString(40000, QLatin1Char('z')) << "";
    }
    void textLineCommas() {
        QFETCH(QString, line);
        QFETCH(QString, folder);
        QStringList lines = GoodLines();
        lines[5] = line;
        Form f;
        QCOMPARE(LoadBytes(f, FileBytes(lines)), int16_t(-1));
        QCOMPARE(f.FFolder.text(), folder);
        QCOMPARE(f.FHeadder.text(), QStringLiteral("試験"));  // the load goes on
        QCOMPARE(f.ManualCheck.Value(), 0);
    }

    void lineWithoutCommaReappliesPreviousItem() {
        QStringList lines = GoodLines();
        lines[4] = QStringLiteral("インターバル 7");  // no comma: item(1) is still line 4's "25"
        lines[8] = QStringLiteral("DS画面表示チェック");  // no comma: line 8's " 0 " again
        Form f;
        QCOMPARE(LoadBytes(f, FileBytes(lines)), int16_t(-1));
        QCOMPARE(f.LoopInterval.text(), QStringLiteral("25"));
        QCOMPARE(f.DSScreenDispCheck.Value(), 0);
        QCOMPARE(f.ManualCheck.Value(), 0);

        // A first line without a comma gives an empty text.
        lines = GoodLines();
        lines[0] = QStringLiteral("IPアドレス");
        Form g;
        QCOMPARE(LoadBytes(g, FileBytes(lines)), int16_t(-1));
        QCOMPARE(g.IPAdressText.text(), QString());
        QCOMPARE(g.IFCheck.Value(), 1);
    }

    void thirteenthLineSetsAMLogOn() {
        Form f;
        QSignalSpy clicks(&f.AMLogOn, &VbCheckBox::Click);
        QCOMPARE(LoadBytes(f, FileBytes(GoodLines() << QStringLiteral("自動測定ログ, 1 "))), int16_t(0));
        QCOMPARE(f.AMLogOn.Value(), 1);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(f.ManualCheck.Value(), 0);

        // An empty thirteenth line re-applies line 12's value; a bad one stops.
        Form g;
        QCOMPARE(LoadBytes(g, FileBytes(GoodLines() << QString())), int16_t(0));
        QCOMPARE(g.AMLogOn.Value(), 0);
        Form h;
        QCOMPARE(LoadBytes(h, FileBytes(GoodLines() << QStringLiteral("x, 5 "))), int16_t(-1));
        QCOMPARE(h.AMLogOn.Value(), 0);
        QCOMPARE(h.ManualCheck.Value(), 0);
    }

    void failedSaveLeavesNothingBehind() {
        // A folder path whose parent is a regular file cannot be created.
        const QString blocker = Path(QStringLiteral("plainfile"));
        QVERIFY(WriteFile(blocker, "x"));
        Form a;
        QCOMPARE(SaveResumeParam(blocker + QStringLiteral("/Resume302.txt"), a.c), int16_t(-1));
        QCOMPARE(ReadFile(blocker), QByteArray("x"));
        // A directory where the file should be.
        QVERIFY(QDir(tmp_.path()).mkpath(QStringLiteral("isdir")));
        QCOMPARE(SaveResumeParam(Path(QStringLiteral("isdir")), a.c), int16_t(-1));
        QVERIFY(QFileInfo(Path(QStringLiteral("isdir"))).isDir());
    }

    void failedWriteKeepsOldFile() {
        // The write itself fails (file size limit): the old file stays whole
        // and no temporary file is left beside it.
        QTemporaryDir dir;
        const QString p = dir.filePath(QStringLiteral("Resume302.txt"));
        QVERIFY(WriteFile(p, "old\r\n"));
        Form a;
        auto prev = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 40;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int16_t r = SaveResumeParam(p, a.c);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, prev);
        QCOMPARE(r, int16_t(-1));
        QCOMPARE(ReadFile(p), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Resume302.txt")});
    }

    void readOnlyFileNotReplaced() {
        if (geteuid() == 0) QSKIP("root may write any file");
        const QString p = Path(QStringLiteral("ro.txt"));
        QVERIFY(WriteFile(p, "old\r\n"));
        QVERIFY(QFile::setPermissions(p, QFile::ReadOwner));
        Form a;
        QCOMPARE(SaveResumeParam(p, a.c), int16_t(-1));
        QCOMPARE(ReadFile(p), QByteArray("old\r\n"));
    }
};

QTEST_MAIN(TstResume)
#include "tst_resume.moc"
