// The resume file Resume302.txt: its exact bytes, the line-by-line load and
// the save that never leaves a broken file.
#include "engine/settings/ResumeSettings.h"
#include "engine/text/AnsiText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace qm;

namespace {

// A check line as the file holds it: 0 clear, 1 ticked, 2 grey.
QString Check(const ResumeSettings& s, ResumeField field, bool on) {
    return on ? QStringLiteral("1") : s.greyed(field) ? QStringLiteral("2") : QStringLiteral("0");
}

QStringList State(const ResumeSettings& s) {
    return {s.ipAddress,
            Check(s, ResumeField::UsbCheck, s.usb),
            QString::number(s.comIndex),
            s.repeat,
            s.interval,
            s.folder,
            s.header,
            Check(s, ResumeField::WaveSave, s.waveSave),
            Check(s, ResumeField::ScreenShow, s.screenShow),
            Check(s, ResumeField::ScreenSave, s.screenSave),
            Check(s, ResumeField::InvCheck, s.invCheck),
            Check(s, ResumeField::Manual, s.manual),
            Check(s, ResumeField::LogOn, s.logOn)};
}

// A saved file's twelve lines, every value other than its default.
QStringList GoodLines() {
    return {"IPアドレス,10.1.2.3",       "USBチェック, 1 ",         "Comアドレス, 4 ",
            "回数,25",                   "インターバル,2.5",        "フォルダ,/data/測定",
            "ファイルヘッダ,試験",       "csv波形格納チェック, 0 ", "DS画面表示チェック, 0 ",
            "DS画面格納チェック, 1 ",    "INVコマンドチェック, 2 ", "Mnual継続チェック, 0 "};
}
const QStringList kGoodState{"10.1.2.3", "1", "4", "25", "2.5", "/data/測定", "試験", "0", "0", "1", "2", "0", "0"};

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

    // Loads `bytes` into `s`.
    ResumeLoad Load(const QByteArray& bytes, ResumeSettings& s) {
        const QString p = Path(QStringLiteral("load.txt"));
        if (!WriteFile(p, bytes)) return {-1, false};
        return LoadResumeFile(p, s);
    }

private slots:
    void savedBytesExact() {
        ResumeSettings s;
        s.usb = true;
        s.comIndex = -1;
        s.folder = QStringLiteral("C:\\D");
        s.invCheck = false;
        s.setGreyed(ResumeField::InvCheck, true);
        s.manual = false;
        s.logOn = true;  // never written
        const QByteArray expected = QByteArray::fromHex(
            "495083418368838c83582c" "3139322e3136382e312e310d0a"                // IPアドレス,192.168.1.1
            "555342836083468362834e2c" "2031200d0a"                              // USBチェック, 1
            "436f6d83418368838c83582c" "2d31200d0a"                              // Comアドレス,-1
            "89f190942c" "313030300d0a"                                          // 回数,1000
            "83438393835e815b836f838b2c" "302e310d0a"                            // インターバル,0.1
            "83748348838b835f2c" "433a5c440d0a"                                  // フォルダ,C:\D
            "837483408343838b83778362835f2c" "53616d706c650d0a"                  // ファイルヘッダ,Sample
            "63737694678c608a69945b836083468362834e2c" "2031200d0a"              // csv波形格納チェック, 1
            "445389e696ca955c8ea6836083468362834e2c" "2031200d0a"                // DS画面表示チェック, 1
            "445389e696ca8a69945b836083468362834e2c" "2030200d0a"                // DS画面格納チェック, 0
            "494e568352837d83938368836083468362834e2c" "2032200d0a"              // INVコマンドチェック, 2
            "4d6e75616c8c7091b1836083468362834e2c" "2030200d0a");                // Mnual継続チェック, 0
        QCOMPARE(SaveResumeFile(Path(), s), QString());
        QCOMPARE(ReadFile(Path()).toHex(' '), expected.toHex(' '));
        QCOMPARE(ResumeFileName(QStringLiteral("/d/Q")), QStringLiteral("/d/Q/Resume302.txt"));
    }

    void roundTrip() {
        ResumeSettings s;
        const ResumeLoad r = Load(FileBytes(GoodLines()), s);
        QCOMPARE(r.applied, 12);
        QVERIFY(!r.complete);  // a saved file has no thirteenth line
        QCOMPARE(State(s), kGoodState);
        QCOMPARE(ResumeFileBytes(s), FileBytes(GoodLines()));
        // Lone LFs and a last line without its ending read the same.
        ResumeSettings t;
        QCOMPARE(Load(FileBytes(GoodLines(), "\n").chopped(1), t).applied, 12);
        QCOMPARE(State(t), kGoodState);
        // A line break in a text would shift the lines after it: it is dropped.
        s.header = QStringLiteral("ab\r\ncd");
        QCOMPARE(SaveResumeFile(Path(), s), QString());
        ResumeSettings u;
        QCOMPARE(LoadResumeFile(Path(), u).applied, 12);
        QCOMPARE(u.header, QStringLiteral("abcd"));
        QVERIFY(!u.manual);
    }

    void missingEmptyOrShortFile() {
        const QStringList defaults = State(ResumeSettings{});
        ResumeSettings s;
        QCOMPARE(LoadResumeFile(Path(QStringLiteral("absent.txt")), s).applied, 0);
        QCOMPARE(Load(QByteArray(), s).applied, 0);
        QCOMPARE(State(s), defaults);
        QCOMPARE(Load(FileBytes(GoodLines().mid(0, 5)), s).applied, 5);
        QCOMPARE(State(s), kGoodState.mid(0, 5) + defaults.mid(5));
    }

    // A number line that is not a number in range stops the load there.
    void numberLine_data() {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("applied");
        QTest::addColumn<QString>("result");
        QTest::newRow("print text") << 1 << " 1 " << 12 << "1";
        QTest::newRow("bare digit") << 1 << "1" << 12 << "1";
        QTest::newRow("spaces around") << 1 << "   2   " << 12 << "2";
        QTest::newRow("half rounds to even") << 1 << "1.5" << 12 << "2";
        QTest::newRow("empty") << 1 << "" << 1 << "0";
        QTest::newRow("blank") << 1 << "   " << 1 << "0";
        QTest::newRow("trailing letter") << 1 << "1x" << 1 << "0";
        QTest::newRow("check 3") << 1 << " 3 " << 1 << "0";
        QTest::newRow("check -1") << 1 << "-1 " << 1 << "0";
        QTest::newRow("beyond 16 bits") << 1 << "70000" << 1 << "0";
        QTest::newRow("too many commas") << 1 << "1,2,3,4" << 1 << "0";
        QTest::newRow("first port") << 2 << " 0 " << 12 << "0";
        QTest::newRow("last port") << 2 << " 15 " << 12 << "15";
        QTest::newRow("typed port") << 2 << "-1 " << 12 << "-1";
        QTest::newRow("past the list") << 2 << " 16 " << 2 << "1";
        QTest::newRow("below -1") << 2 << "-2 " << 2 << "1";
    }
    void numberLine() {
        QFETCH(int, line);
        QFETCH(QString, value);
        QFETCH(int, applied);
        QFETCH(QString, result);
        QStringList lines = GoodLines();
        lines[line] = lines[line].section(QLatin1Char(','), 0, 0) + QLatin1Char(',') + value;
        ResumeSettings s;
        QCOMPARE(Load(FileBytes(lines), s).applied, applied);
        QCOMPARE(State(s)[line], result);
        QCOMPARE(s.repeat, applied == 12 ? QStringLiteral("25") : QStringLiteral("1000"));
    }

    void textLine_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("folder");
        QTest::newRow("one comma in value") << "フォルダ,/a,b" << "/a";
        QTest::newRow("two commas in value") << "フォルダ,/a,b,c" << "/a";
        QTest::newRow("three commas in value") << "フォルダ,/a,b,c,d" << "";
        QTest::newRow("empty value") << "フォルダ," << "";
        QTest::newRow("spaces kept") << "フォルダ, /x y " << " /x y ";
        QTest::newRow("overlong line") << QStringLiteral("フォルダ,") + QString(40000, QLatin1Char('z')) << "";
        QTest::newRow("no comma: the previous line's value") << "フォルダ /x" << "2.5";
    }
    void textLine() {
        QFETCH(QString, line);
        QFETCH(QString, folder);
        QStringList lines = GoodLines();
        lines[5] = line;
        ResumeSettings s;
        QCOMPARE(Load(FileBytes(lines), s).applied, 12);  // a text never stops the load
        QCOMPARE(s.folder, folder);
        QCOMPARE(s.header, QStringLiteral("試験"));
    }

    void lineWithoutComma() {
        QStringList lines = GoodLines();
        lines[0] = QStringLiteral("IPアドレス");           // nothing before: empty
        lines[8] = QStringLiteral("DS画面表示チェック");   // line 8's " 0 " again
        lines[9] = QStringLiteral("DS画面格納チェック");   // and again
        ResumeSettings s;
        QCOMPARE(Load(FileBytes(lines), s).applied, 12);
        QCOMPARE(s.ipAddress, QString());
        QVERIFY(!s.screenShow);
        QVERIFY(!s.screenSave);
    }

    void thirteenthLineSetsLogBox() {
        ResumeSettings s;
        ResumeLoad r = Load(FileBytes(GoodLines() << QStringLiteral("自動測定ログ, 1 ")), s);
        QCOMPARE(r.applied, 13);
        QVERIFY(r.complete);
        QVERIFY(s.logOn);
        // An empty thirteenth line takes line 12's value again.
        QStringList lines = GoodLines();
        lines[11] = QStringLiteral("Mnual継続チェック, 1 ");
        ResumeSettings t;
        QVERIFY(Load(FileBytes(lines << QString()), t).complete);
        QVERIFY(t.logOn);
        ResumeSettings u;
        r = Load(FileBytes(GoodLines() << QStringLiteral("x, 5 ")), u);
        QCOMPARE(r.applied, 12);
        QVERIFY(!u.logOn);
    }

    void startDefaults() {
        ResumeSettings s;  // empty folder
        s.invCheck = false;
        s.waveSave = false;
        s.setGreyed(ResumeField::WaveSave, true);  // set by the start: no longer grey
        ApplyStartDefaults(s, QStringLiteral("/app"), false);
        QCOMPARE(s.folder, QStringLiteral("/app") + qm::PathSep() + QStringLiteral("Data"));
        QVERIFY(s.invCheck);
        QCOMPARE(Check(s, ResumeField::WaveSave, s.waveSave), QStringLiteral("0"));
        s.folder = QStringLiteral("/mine");
        ApplyStartDefaults(s, QStringLiteral("/app"), true);  // with the waveform export
        QCOMPARE(s.folder, QStringLiteral("/mine"));
        QVERIFY(s.waveSave);
    }

    // A grey check line (2, from an older file) reads as clear and is written
    // back as 2 while it stays clear; a ticked one is written as 1, and a flag
    // given for one start leaves the 2 in the file.
    void greyCheckLines_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("written");  // DS画面表示's value as written
        QTest::newRow("untouched") << "" << QByteArray(" 2 ");
        QTest::newRow("ticked") << "tick" << QByteArray(" 1 ");
        QTest::newRow("--screen-show for one start") << "flag" << QByteArray(" 2 ");
    }
    void greyCheckLines() {
        QFETCH(QString, change);
        QFETCH(QByteArray, written);
        QStringList lines = GoodLines();
        lines[8] = QStringLiteral("DS画面表示チェック, 2 ");
        ResumeSettings s;
        QCOMPARE(Load(FileBytes(lines), s).applied, 12);
        QVERIFY(!s.screenShow);
        QCOMPARE(ResumeFileBytes(s), FileBytes(lines));
        ResumeSettings now = s;
        SettingOverrides flags;
        for (const QString& step : change.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (step == QLatin1String("flag")) {
                flags.screenShow = true;
                flags.applyTo(now);
                QVERIFY(now.screenShow);
                continue;
            }
            now.screenShow = true;  // ticked
        }
        flags.revert(now, s);
        lines[8] = QStringLiteral("DS画面表示チェック,") + QString::fromLatin1(written);
        QCOMPARE(ResumeFileBytes(now), FileBytes(lines));
    }

    void failedWriteKeepsOldFile() {
        // The write fails (file size limit): the old file stays whole and no
        // temporary file is left beside it.
        QTemporaryDir dir;
        const QString p = dir.filePath(QStringLiteral("Resume302.txt"));
        QVERIFY(WriteFile(p, "old\r\n"));
#ifndef Q_OS_UNIX
        QSKIP("a file size limit exists only on Unix systems");
#else
        auto prev = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit small = old;
        small.rlim_cur = 40;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString error = SaveResumeFile(p, ResumeSettings{});
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, prev);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadFile(p), QByteArray("old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Resume302.txt")});
        // Nowhere to write at all.
        QVERIFY(!SaveResumeFile(p + QStringLiteral("/x.txt"), ResumeSettings{}).isEmpty());
#endif
    }

    // A file that cannot be read whole: the first bad line and why, a copy
    // kept as .bad before anything may replace it, and a warning that names
    // both whole (a NUL shows as \0).
    void damagedFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");  // 0: not damaged
        QTest::addColumn<QString>("why");
        QTest::addColumn<int>("applied");
        const auto with = [](int line, const QByteArray& bytes) {
            QByteArray out;
            const QStringList good = GoodLines();
            for (int k = 0; k < good.size(); ++k) out += (k == line - 1 ? bytes : qm::ToAnsi(good[k])) + "\r\n";
            return out;
        };
        QTest::newRow("saved file, twelve lines") << FileBytes(GoodLines()) << 0 << "" << 12;
        QTest::newRow("with a thirteenth line") << FileBytes(GoodLines() << QStringLiteral("自動測定ログ, 1 ")) << 0 << "" << 13;
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << 2 << "制御文字 (\\x1a)" << 1;
        QTest::newRow("10 MB line") << with(1, QByteArray(10 << 20, 'z')) << 1 << "行が長すぎます" << 12;
        QTest::newRow("missing lines") << FileBytes(GoodLines().mid(0, 5)) << 6 << "行がありません" << 5;
        QTest::newRow("empty file") << QByteArray() << 1 << "行がありません" << 0;
        QTest::newRow("nan") << with(2, "USB\x83\x60\x83\x46\x83\x62\x83\x4e,nan") << 2 << "値 \"nan\" が数値ではありません" << 1;
        QTest::newRow("NUL in the folder") << with(6, QByteArray("x,/a\0b", 6)) << 6 << "制御文字 (\\0) を含みます: \"x,/a\\0b\"" << 12;
        QByteArray taken = with(5, QByteArray("x,0\0.1", 7));
        taken.replace(qm::ToAnsi(QStringLiteral("フォルダ,/data/測定")), "no comma");  // would take line 5's value
        QTest::newRow("NUL, and a line without comma after it") << taken << 5 << "制御文字 (\\0)" << 12;
        QTest::newRow("not Shift-JIS") << with(7, "x,\x81\x20") << 7 << "Shift-JIS" << 12;
        QTest::newRow("bad thirteenth line") << FileBytes(GoodLines() << QStringLiteral("x, 5 ")) << 13 << "範囲外" << 12;
    }
    void damagedFile() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, why);
        QFETCH(int, applied);
        QTemporaryDir dir;
        const QString p = dir.filePath(QStringLiteral("Resume302.txt"));
        QVERIFY(WriteFile(p, bytes));
        ResumeSettings s;
        const ResumeLoad load = LoadResumeFile(p, s);
        QCOMPARE(load.applied, applied);
        QCOMPARE(load.badLine, line);
        QVERIFY2(load.badReason.contains(why), qPrintable(load.badReason));
        // A text value that could not be read is not taken; the rest is.
        for (const QString& value : State(s))
            for (const QChar c : value) QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0xFFFD, qPrintable(value));
        if (applied == 12 && line < 12) QVERIFY(!s.manual);
        const DamagedResume kept = KeepDamagedResumeFile(p, load);
        QVERIFY(kept.mayReplace);
        if (line == 0) {
            QCOMPARE(kept.warning, QString());
            QVERIFY(!QFile::exists(p + QStringLiteral(".bad")));
            return;
        }
        QVERIFY(ReadFile(p + QStringLiteral(".bad")) == bytes);
        const QString shown = QDir::toNativeSeparators(p);
        QVERIFY2(kept.warning.contains(shown) && kept.warning.contains(QStringLiteral(" %1 行目").arg(line)) &&
                     kept.warning.contains(why) && kept.warning.contains(shown + QStringLiteral(".bad")),
                 qPrintable(kept.warning));
        for (const QChar c : kept.warning) QVERIFY2(c.unicode() >= 0x20, qPrintable(kept.warning));
    }

    // Every damaged start keeps its copy; the three newest are kept. A file
    // that cannot be copied aside must not be replaced.
    void damagedCopiesRotate() {
        QTemporaryDir dir;
        const QString p = dir.filePath(QStringLiteral("Resume302.txt"));
        for (int n = 1; n <= 5; ++n) {
            QVERIFY(WriteFile(p, "damaged " + QByteArray::number(n)));
            ResumeSettings s;
            QVERIFY(KeepDamagedResumeFile(p, LoadResumeFile(p, s)).mayReplace);
        }
        QCOMPARE(ReadFile(p + QStringLiteral(".bad")), QByteArray("damaged 5"));
        QCOMPARE(ReadFile(p + QStringLiteral(".bad.1")), QByteArray("damaged 4"));
        QCOMPARE(ReadFile(p + QStringLiteral(".bad.2")), QByteArray("damaged 3"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
        // A folder where the file should be: it cannot be read or copied.
        const QString folder = dir.filePath(QStringLiteral("Folder302.txt"));
        QVERIFY(QDir().mkpath(folder));
        ResumeSettings s;
        const ResumeLoad load = LoadResumeFile(folder, s);
        QVERIFY(load.damaged());
        const DamagedResume kept = KeepDamagedResumeFile(folder, load);
        QVERIFY(!kept.mayReplace);
        QVERIFY2(kept.warning.contains(QDir::toNativeSeparators(folder)), qPrintable(kept.warning));
    }

    // A headless start whose header from the resume file would write outside
    // the output folder: refused before anything is made or connected, the
    // value named, and the resume file kept as it was (or, when damaged,
    // copied aside first and the bad line named).
    void headlessStartRefused_data() {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("whole file") << false;
        QTest::newRow("damaged file") << true;
    }
    void headlessStartRefused() {
        QFETCH(bool, damaged);
        const QString app = QString::fromLocal8Bit(qgetenv("QUILLMETER_APP"));
        if (app.isEmpty()) QSKIP("QUILLMETER_APP not set");
        QTemporaryDir dir;
        const QString outer = dir.filePath(QStringLiteral("a"));
        ResumeSettings s;
        s.ipAddress = QStringLiteral("127.0.0.1");
        s.folder = QDir::toNativeSeparators(outer + QStringLiteral("/b/c/d"));
        s.header = QStringLiteral("../../../escape");
        s.waveSave = false;  // as every start sets it
        s.screenSave = true;
        s.manual = false;
        QByteArray bytes = ResumeFileBytes(s);
        if (damaged) bytes = bytes.chopped(5) + "nan\r\n";  // line 12 is no number
        const QString resume = dir.filePath(QStringLiteral("Resume302.txt"));
        QVERIFY(WriteFile(resume, bytes));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nonexistent"));
        p.setProcessEnvironment(env);
        p.start(app, {"--headless", "--data-dir", dir.path(), "--port", "9", "--log"});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(err.contains(QStringLiteral("名称ヘッダ \"../../../escape\" は使えません")), qPrintable(err));
        QVERIFY(!QFileInfo::exists(outer));  // nothing made, nothing written
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("escape_AM_LOG.csv"))));
        if (!damaged) {
            QCOMPARE(ReadFile(resume), bytes);
            QVERIFY(!QFileInfo::exists(resume + QStringLiteral(".bad")));
            return;
        }
        QCOMPARE(ReadFile(resume + QStringLiteral(".bad")), bytes);
        QVERIFY2(err.contains(QDir::toNativeSeparators(resume)) && err.contains(QStringLiteral(" 12 行目")), qPrintable(err));
        ResumeSettings again;
        const ResumeLoad load = LoadResumeFile(resume, again);
        QVERIFY2(!load.damaged(), qPrintable(load.badReason));  // written anew, whole
        QCOMPARE(again.header, s.header);
    }

    void readOnlyFileNotReplaced() {
        const QString p = Path(QStringLiteral("ro.txt"));
        QVERIFY(WriteFile(p, "old\r\n"));
        QVERIFY(QFile::setPermissions(p, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(SaveResumeFile(p, ResumeSettings{}), QStringLiteral("読み取り専用です"));
        QCOMPARE(ReadFile(p), QByteArray("old\r\n"));
    }
};

QTEST_MAIN(TstResume)
#include "tst_resume.moc"
