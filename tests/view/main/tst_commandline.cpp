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
#include <csignal>

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

    void usageError() {
        QProcess bad;
        bad.setProcessEnvironment(Env(true));
        bad.start(App(), {"--port", "x"});
        QVERIFY(bad.waitForFinished(30000));
        QCOMPARE(bad.exitCode(), 64);
        QVERIFY(QString::fromUtf8(bad.readAllStandardError()).contains(QStringLiteral("Usage: quillmeter")));
    }

    void sigtermStopsTheRun() {
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
        QVERIFY2(out.endsWith(kDone + QLatin1Char('\n')), qPrintable(out));
        // The settings kept for the next start: a whole resume file.
        ResumeSettings s;
        QCOMPARE(LoadResumeFile(QDir(dir.path()).filePath("Resume302.txt"), s).applied, 12);
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("BufferFile.bmp")));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
