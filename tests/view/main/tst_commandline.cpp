// The program as a user starts it from the command line (QUILLMETER_APP):
// a demo run that ends by itself, a connection that fails, SIGTERM during a
// run, and the headless logger on a machine without a display.
#include "engine/settings/ResumeSettings.h"
#include "engine/text/AnsiText.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

const QString kDone = QStringLiteral("動作完了しました");
const QString kTrigger = QStringLiteral("トリガ待ちです");

QString App() { return QString::fromLocal8Bit(qgetenv("QUILLMETER_APP")); }

// The window without a screen; or, for the headless logger, no display at
// all and a platform that does not exist, so that any window would fail.
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

    void connectionFailure_data() {
        QTest::addColumn<bool>("headless");
        QTest::newRow("window") << false;
        QTest::newRow("headless") << true;
    }
    void connectionFailure() {
        QFETCH(bool, headless);
        QTemporaryDir dir;
        // A loopback port where nobody listens.
        QFile r(QDir(dir.path()).filePath("Resume302.txt"));
        QVERIFY(r.open(QIODevice::WriteOnly));
        r.write(qm::ToAnsi(QStringLiteral("IPアドレス,127.0.0.1\r\n")));
        r.close();
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        QStringList args{"--data-dir", dir.path(), "--port", port};
        args << (headless ? QStringList{"--headless"} : QStringList{"--autostart", "--assume-yes", "--exit-after-run"});
        QProcess p;
        p.setProcessEnvironment(Env(headless));
        p.start(App(), args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("装置が正しく接続されていません！")), qPrintable(err));
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

    void headlessWithoutDisplay() {
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), {"--headless", "--demo", "--data-dir", dir.path(), "--repeat", "3"});
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
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("BufferFile.bmp")));
    }

    // The display as PNG in a headless run: from Quillmeter.ini or from
    // --screen-png for this start (which leaves the file as it was).
    void headlessScreenPng_data() {
        QTest::addColumn<bool>("fromCommandLine");
        QTest::newRow("Quillmeter.ini") << false;
        QTest::newRow("--screen-png") << true;
    }
    void headlessScreenPng() {
        QFETCH(bool, fromCommandLine);
        QTemporaryDir dir;
        const QString ini = QDir(dir.path()).filePath("Quillmeter.ini");
        if (!fromCommandLine) {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[Screen]\nPngForDisplay=true\n");
        }
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), QStringList{"--headless", "--demo", "--data-dir", dir.path(), "--screen-show", "--repeat", "1"} +
                           (fromCommandLine ? QStringList{"--screen-png"} : QStringList{}));
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QFile shown(QDir(dir.path()).filePath("BufferFile.png"));
        QVERIFY(shown.open(QIODevice::ReadOnly));
        QVERIFY(shown.readAll().startsWith("\x89PNG\r\n"));
        QVERIFY(!QFile::exists(QDir(dir.path()).filePath("BufferFile.bmp")));
        QCOMPARE(QFile::exists(ini), !fromCommandLine);
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
    }

    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, flag);
        QProcess p;
        p.setProcessEnvironment(Env(true));
        p.start(App(), QStringList{"--headless"} + args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 64);
        const QString first = QString::fromUtf8(p.readAllStandardError()).section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(first.startsWith(flag + QLatin1Char(':')), qPrintable(first));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
