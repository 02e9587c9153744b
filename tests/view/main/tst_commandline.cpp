// The program as a user starts it from the command line (QUILLMETER_APP):
// a demo run that ends by itself, a connection that fails, SIGTERM during a
// run, the headless logger on a machine without a display, and the options
// that are refused or only print something.
#include "engine/settings/ResumeSettings.h"
#include "engine/text/AnsiText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace qm;

namespace {

const QString kDone = QStringLiteral("動作完了しました");
const QString kTrigger = QStringLiteral("トリガ待ちです");

QString App() { return QString::fromLocal8Bit(qgetenv("QUILLMETER_APP")); }

// The window without a screen; or, for the headless logger, no display at
// all and a platform that does not exist, so that any window would fail.
// A closed loopback port: nobody listens there.
quint16 ClosedPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 1;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A resume file whose instrument is `address` (TCP, or USB ticked).
bool WriteResume(const QString& dir, const QString& address, bool usb) {
    ResumeSettings s;
    s.ipAddress = address;
    s.usb = usb;
    return SaveResumeFile(QDir(dir).filePath("Resume302.txt"), s).isEmpty();
}

QProcessEnvironment Env(bool headless) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (headless) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nonexistent"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    return env;
}

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void init() {
        if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
    }

    void demoRunExitsAfterTheRun() {
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(false));
        p.start(App(), {"--demo", "--data-dir", dir.path(), "--repeat", "2", "--autostart", "--assume-yes",
                        "--exit-after-run", "--echo-status"});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.startsWith(QStringLiteral("模擬装置: 127.0.0.1:")), qPrintable(out));
        QCOMPARE(out.count(kTrigger + QLatin1Char('\n')), 2);
        QVERIFY2(out.endsWith(kDone + QLatin1Char('\n')), qPrintable(out));
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("Resume302.txt")));
    }

    // The failure names the address once, the reason and what to check; a
    // headless run says it on stderr only (no statistics: it never started).
    void connectionFailure_data() {
        QTest::addColumn<bool>("headless");
        QTest::newRow("window") << false;
        QTest::newRow("headless") << true;
    }
    void connectionFailure() {
        QFETCH(bool, headless);
        QTemporaryDir dir;
        QVERIFY(WriteResume(dir.path(), QStringLiteral("127.0.0.1"), false));
        const QString port = QString::number(ClosedPort());
        QStringList args{"--data-dir", dir.path(), "--port", port, "--log"};
        args << (headless ? QStringList{"--headless"} : QStringList{"--autostart", "--assume-yes", "--exit-after-run"});
        QProcess p;
        p.setProcessEnvironment(Env(headless));
        p.start(App(), args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QRegularExpression said(QStringLiteral("装置が正しく接続されていません！\n127\\.0\\.0\\.1:%1: 接続を拒否されました "
                                                     "\\([^\n]+\\)\n装置の電源と IP アドレスを確認してください\n").arg(port));
        QVERIFY2(said.match(err).hasMatch(), qPrintable(err));
        if (headless) QCOMPARE(p.readAllStandardOutput(), QByteArray());
    }

    void sigtermStopsTheRun() {
#ifndef Q_OS_UNIX
        QSKIP("SIGTERM exists only on Unix systems (Windows: Ctrl+C reaches only the console's own processes)");
#else
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(false));
        p.start(App(), {"--demo", "--data-dir", dir.path(), "--repeat", "100", "--autostart", "--assume-yes",
                        "--exit-after-run", "--echo-status"});
        QVERIFY(p.waitForStarted());
        // Once the run is under way, stop it as Ctrl+C would.
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())).contains(kTrigger), 30000);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(30000));
        out += QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.endsWith(kDone + QLatin1Char('\n')) || out.endsWith(QStringLiteral("トリガ中断です\n")), qPrintable(out));
        QVERIFY(out.count(kTrigger) < 100);
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("Resume302.txt")));
#endif
    }

    // The window says in its status that the web view asked for is not there.
    void windowSaysServeFailed() {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(false));
        p.start(App(), {"--demo", "--data-dir", dir.path(), "--repeat", "1", "--autostart", "--assume-yes",
                        "--exit-after-run", "--echo-status", "--serve", QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(out.startsWith(QStringLiteral("--serve: ")) || out.contains(QStringLiteral("\n--serve: ")), qPrintable(out));
        QVERIFY2(out.contains(kDone), qPrintable(out));
    }

    // Two presses at once (the second ends without waiting): the run's end
    // still decides the exit code, and its statistics are printed.
    void secondSigtermStillEndsTheRun() {
#ifndef Q_OS_UNIX
        QSKIP("SIGTERM exists only on Unix systems");
#else
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), {"--headless", "--demo", "--data-dir", dir.path(), "--repeat", "100", "--log", "--interval", "1"});
        QString out;
        QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())).count(kTrigger) >= 2, 30000);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(30000));
        out += QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(out.contains(QStringLiteral("\nSlot,Source,Type,Unit,Count")), qPrintable(out));
#endif
    }

    void headlessWithoutDisplay() {
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), {"--headless", "--demo", "--data-dir", dir.path(), "--repeat", "3", "--log"});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == 0, qPrintable(err));
        QVERIFY2(out.startsWith(QStringLiteral("模擬装置: 127.0.0.1:")), qPrintable(out));
        QCOMPARE(out.count(kTrigger + QLatin1Char('\n')), 3);
        QVERIFY2(out.contains(kDone + QLatin1Char('\n')), qPrintable(out));
        // Then the run's statistics, as --stats prints them.
        QVERIFY2(out.section(kDone + QLatin1Char('\n'), 1).startsWith(QStringLiteral("Slot,Source,Type,Unit,Count")), qPrintable(out));
        // The settings kept for the next start: a whole resume file.
        ResumeSettings s;
        QCOMPARE(LoadResumeFile(QDir(dir.path()).filePath("Resume302.txt"), s).applied, 12);
        // No window: the screen is never fetched for display (DS画面表示 is
        // ticked in a new resume file).
        QVERIFY(s.screenShow);
        QVERIFY(!out.contains(QStringLiteral("DS画面を転送中です")));
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath("BufferFile.bmp")));
    }

    // --demo points at the simulator for that start only: the instrument in
    // the resume file stays.
    void demoKeepsTheSavedInstrument_data() {
        QTest::addColumn<bool>("headless");
        QTest::newRow("window") << false;
        QTest::newRow("headless") << true;
    }
    void demoKeepsTheSavedInstrument() {
        QFETCH(bool, headless);
        QTemporaryDir dir;
        QVERIFY(WriteResume(dir.path(), QStringLiteral("192.168.1.20"), true));
        QStringList args{"--demo", "--data-dir", dir.path(), "--repeat", "1", "--log"};
        args << (headless ? QStringList{"--headless"} : QStringList{"--autostart", "--assume-yes", "--exit-after-run"});
        QProcess p;
        p.setProcessEnvironment(Env(headless));
        p.start(App(), args);
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        ResumeSettings after;
        QVERIFY(LoadResumeFile(QDir(dir.path()).filePath("Resume302.txt"), after).applied >= 12);
        QCOMPARE(after.ipAddress, QStringLiteral("192.168.1.20"));
        QVERIFY(after.usb);
    }

    // Headless runs as a shell sees them: stdout holds the status texts,
    // stderr the messages and, with --progress, a line per cycle. The saved
    // マニュアル継続 (ticked in a new resume file) does not hold a headless run
    // up: the interval is kept.
    void headlessRuns_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");  // patterns stdout and stderr must match
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("minMs");  // the run takes at least this long
        const QString status = QStringLiteral("^模擬装置: 127.0.0.1:\\d+\n(トリガ待ちです\n){3}動作完了しました\nSlot,Source");
        QTest::newRow("interval kept") << QStringList{"--demo", "--log", "--repeat", "3", "--interval", "0.6"} << 0
                                       << status << QStringLiteral("^マニュアル継続は --headless では使いません[^\n]*\n$") << 1200;
        QTest::newRow("progress lines")
            << QStringList{"--demo", "--log", "--repeat", "3", "--interval", "0", "--no-manual", "--progress"} << 0 << status
            << QStringLiteral("^(サイクル [123]/3  経過 \\d+:\\d\\d  残り [-0-9:]+  A [^ ]+ V  B [^ ]+ V  C [^ ]+ %  D [^ ]+ Vs\n){3}$") << 0;
        QTest::newRow("without --progress") << QStringList{"--demo", "--log", "--repeat", "2", "--interval", "0", "--no-manual"} << 0
                                            << QStringLiteral("^模擬装置") << QStringLiteral("^$") << 0;
        QTest::newRow("connection failed")
            << QStringList{"--log", "--port", QString::number(ClosedPort()), "--address", "127.0.0.1", "--no-manual"} << 1
            << QStringLiteral("^$") << QStringLiteral("^装置が正しく接続されていません！\n127.0.0.1:\\d+: 接続を拒否されました") << 0;
    }
    void headlessRuns() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(int, minMs);
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(true));
        QElapsedTimer took;
        took.start();
        p.start(App(), QStringList{"--headless", "--data-dir", dir.path(), "--folder", dir.filePath("out")} + args);
        QVERIFY(p.waitForFinished(60000));
        const qint64 ms = took.elapsed();
        const QString printed = QString::fromUtf8(p.readAllStandardOutput());
        const QString said = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(p.exitCode() == exitCode, qPrintable(said));
        QVERIFY2(QRegularExpression(out).match(printed).hasMatch(), qPrintable(printed));
        QVERIFY2(QRegularExpression(err).match(said).hasMatch(), qPrintable(said));
        if (minMs == 0) return;
        QVERIFY2(ms >= minMs, qPrintable(QString::number(ms)));
        // The log's lines carry the PC's time: the first and the last differ.
        QFile log(dir.filePath("out/Sample_AM_LOG.csv"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 4 + 3);
        QVERIFY2(lines[4].split(',')[1] != lines[6].split(',')[1], lines[4] + lines[6]);
    }

    void versionAndHelp_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("out");
        QTest::newRow("--version") << "--version" << "^Quillmeter 3\\.02\nQt 6\\.\\d+\\.\\d+[^\n]*\n(commit [0-9a-f]+\n)?$";
        QTest::newRow("--help") << "--help" << "^Usage: quillmeter .*--progress .*--version .*-h";
        QTest::newRow("-h") << "-h" << "^Usage: quillmeter ";
    }
    void versionAndHelp() {
        QFETCH(QString, flag);
        QFETCH(QString, out);
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), {flag});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString printed = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(QRegularExpression(out, QRegularExpression::DotMatchesEverythingOption).match(printed).hasMatch(),
                 qPrintable(printed));
    }

    // Settings given for one start produce the files a user expects and are
    // not written to the resume file; --stats reads the log back.
    void settingsForOneStartAndStatistics() {
        QTemporaryDir dir;
        ResumeSettings before;
        before.folder = dir.filePath(QStringLiteral("kept"));
        before.header = QStringLiteral("Kept");
        before.interval = QStringLiteral("5");
        QVERIFY(SaveResumeFile(QDir(dir.path()).filePath("Resume302.txt"), before).isEmpty());
        const QString out = dir.filePath(QStringLiteral("out/deeper"));
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), {"--headless", "--demo", "--data-dir", dir.path(), "--log", "--no-screen-show", "--folder", out,
                        "--name", "run", "--repeat", "2", "--interval", "0"});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QString log = QDir(out).filePath(QStringLiteral("run_AM_LOG.csv"));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 6);
        const QString printed = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(printed.contains(QStringLiteral("\nA,C1,MAX,V,2,0,")), qPrintable(printed));
        ResumeSettings after;
        LoadResumeFile(QDir(dir.path()).filePath("Resume302.txt"), after);
        QCOMPARE(after.folder, before.folder);
        QCOMPARE(after.header, before.header);
        QCOMPARE(after.interval, before.interval);
        QCOMPARE(after.repeat, before.repeat);

        QProcess stats;
        stats.start(App(), {"--stats", log});
        QVERIFY(stats.waitForFinished(30000));
        QCOMPARE(stats.exitCode(), 0);
        QVERIFY(QString::fromUtf8(stats.readAllStandardOutput()).contains(QStringLiteral("\nA,C1,MAX,V,2,0,")));
        stats.start(App(), {"--stats", QDir(dir.path()).filePath("Resume302.txt")});
        QVERIFY(stats.waitForFinished(30000));
        QCOMPARE(stats.exitCode(), 1);
        QVERIFY(stats.readAllStandardError().contains("Resume302.txt"));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("flag");
        QTest::newRow("--com 0") << QStringList{"--com", "0"} << "--com";
        QTest::newRow("--com 17") << QStringList{"--com", "17"} << "--com";
        QTest::newRow("--interval abc") << QStringList{"--interval", "abc"} << "--interval";
        QTest::newRow("unknown") << QStringList{"--bogus"} << "--bogus";
        QTest::newRow("missing value") << QStringList{"--reconnect"} << "--reconnect";
        QTest::newRow("--port x") << QStringList{"--port", "x"} << "--port";
        QTest::newRow("Qt's option without its value") << QStringList{"-platform", "offscreen", "-style"} << "-style";
        QTest::newRow("not one of Qt's options") << QStringList{"-bogus"} << "-bogus";
        // --stats reads a file and starts nothing: a run's flag is refused.
        QTest::newRow("--stats with --headless") << QStringList{"--stats", "x.csv"} << "--stats";
        QTest::newRow("--stats with --log") << QStringList{"--log", "--stats", "x.csv"} << "--stats";
        QTest::newRow("--stats with --demo") << QStringList{"--stats", "x.csv", "--demo"} << "--stats";
        QTest::newRow("--stats with --serve") << QStringList{"--stats", "x.csv", "--serve", "0"} << "--stats";
        // Nobody answers a headless run and it has no window.
        QTest::newRow("--manual") << QStringList{"--manual", "--log"} << "--manual";
        QTest::newRow("--screen-show") << QStringList{"--screen-show", "--log"} << "--screen-show";
        QTest::newRow("--screen-png") << QStringList{"--screen-png", "--log"} << "--screen-png";
        QTest::newRow("--serve-token without --serve") << QStringList{"--log", "--serve-token", "abc"} << "--serve-token";
        QTest::newRow("--data-dir empty") << QStringList{"--log", "--data-dir", ""} << "--data-dir";
        // Nothing to record (the log switch is not saved; neither is set in
        // a new resume file): the three ways to record are named.
        QTest::newRow("nothing to record") << QStringList{"--demo", "--no-screen-save"} << "--headless";
    }

    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, flag);
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), QStringList{"--headless", "--data-dir", dir.path()} + args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 64);
        const QString first = QString::fromUtf8(p.readAllStandardError()).section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(first.startsWith(flag + QLatin1Char(':')), qPrintable(first));
        if (flag == QLatin1String("--headless"))
            QVERIFY2(first.contains("--log") && first.contains("--screen-save") && first.contains("--waveform"), qPrintable(first));
        // Nothing was started: no output, no resume file written.
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath("Resume302.txt")));
    }
    // Flags of the window's start that mean something only with another.
    void needsAnotherFlag_data() {
        QTest::addColumn<QString>("flag");
        QTest::newRow("--progress") << "--progress";
        QTest::newRow("--overwrite") << "--overwrite";
        QTest::newRow("--transfer-only") << "--transfer-only";
    }
    void needsAnotherFlag() {
        QFETCH(QString, flag);
        QProcess p;
        p.setProcessEnvironment(Env(false));
        p.start(App(), {flag});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 64);
        QVERIFY(p.readAllStandardError().startsWith((flag + u':').toUtf8()));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
