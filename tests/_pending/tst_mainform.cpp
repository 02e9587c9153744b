// The main window's start-up and shutdown, and the program as a user starts
// it from the command line.
#include "app/MainForm.h"
#include "engine/text/AnsiText.h"
#include "common/EventWait.h"
#include "common/StatusBar.h"
#include "common/VbCheckBox.h"
#include "link/CommPort.h"
#include "link/SockControl.h"
#include "logview/AMLogForm.h"
#include "support/SimLink.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {
std::unique_ptr<MainForm> Make(const QString& dataDir, Prompter* ask = nullptr) {
    AppOptions o;
    o.dataDir = dataDir;
    o.quitOnUnload = false;
    auto f = std::make_unique<MainForm>(o);
    if (ask) f->SetPrompter(ask);
    return f;
}
QString App() { return QString::fromLocal8Bit(qgetenv("QUILLMETER_APP")); }
}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qm::SetAppClosing(false); }
    void layoutAndDesignValues();
    void firstStartAndRoundTrip();
    void loadForcesHiddenBoxes();
    void clearAndLogWindow();
    void closeWithoutRunLeavesLinkAlone();
    void commandLineDemoRun();
    void commandLineConnectionFailure();
    void commandLineSigterm();
};

void TestMainForm::layoutAndDesignValues() {
    QTemporaryDir dir;
    auto f = Make(dir.path());
    QCOMPARE(f->windowTitle(), QStringLiteral("Quillmeter(Ver3.02)"));
    QCOMPARE(f->TCountF->title(), QStringLiteral("繰返回数(≦10000)"));
    QCOMPARE(f->Operation->title(), QStringLiteral("操作"));
    QCOMPARE(f->WaitTimeF->title(), QStringLiteral("繰返間隔(s)"));
    QCOMPARE(f->FileSelF->title(), QStringLiteral("ファイル選択"));
    QCOMPARE(f->IPADress->title(), QStringLiteral("装置"));
    QCOMPARE(f->WaveTransfer->text(), QStringLiteral("測定開始"));
    QCOMPARE(f->StopAcqusition->text(), QStringLiteral("測定中断"));
    QCOMPARE(f->TransOnly->text(), QStringLiteral("波形転送"));
    QCOMPARE(f->Clear->text(), QStringLiteral("クリア"));
    QCOMPARE(f->SetFileFolder->text(), QStringLiteral("ファイル選択"));
    QCOMPARE(f->AMLogOn->text(), QStringLiteral("自動測定ログ"));
    QCOMPARE(f->ManualCheck->text(), QStringLiteral("マニュアル継続"));
    QCOMPARE(f->WaveSaveCheck->text(), QStringLiteral("CSV波形格納"));
    QCOMPARE(f->DSScreenDispCheck->text(), QStringLiteral("DS画面表示"));
    QCOMPARE(f->DSScreenSaveCheck->text(), QStringLiteral("DS画面格納"));
    QCOMPARE(f->INVCheck->text(), QStringLiteral("INVなし"));
    QCOMPARE(f->IFCheck->text(), QStringLiteral("USB"));
    QCOMPARE(f->FolderL->text(), QStringLiteral("フォルダ"));
    QCOMPARE(f->FNameL->text(), QStringLiteral("名称ヘッダ"));
    QCOMPARE(f->IPAddressL->text(), QStringLiteral("IPｱﾄﾞﾚｽ"));
    QCOMPARE(f->IPAdressText->text(), QStringLiteral("192.168.1.1"));
    QCOMPARE(f->TRound->text(), QStringLiteral("1000"));
    QCOMPARE(f->LoopInterval->text(), QStringLiteral("0.1"));
    QCOMPARE(f->CLoopCount->text(), QStringLiteral("1/"));
    QCOMPARE(f->FHeadder->text(), QStringLiteral("Sample"));
    QCOMPARE(f->ComList->count(), 16);
    QCOMPARE(f->ComList->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(f->ComList->itemText(15), QStringLiteral("COM16"));
    QCOMPARE(f->ComList->currentText(), QStringLiteral("COM2"));
    QVERIFY(f->TransOnly->isHidden());
    QVERIFY(f->WaveSaveCheck->isHidden());
    QVERIFY(f->INVCheck->isHidden());
    // Design-time check states (no resume file): TCP.
    QCOMPARE(f->ManualCheck->Value(), 1);
    QCOMPARE(f->DSScreenDispCheck->Value(), 1);
    QCOMPARE(f->AMLogOn->Value(), 0);
    QCOMPARE(f->DSScreenSaveCheck->Value(), 0);
    QCOMPARE(f->IFCheck->Value(), 0);
    QCOMPARE(f->CommMode, int16_t(1));
    QCOMPARE(f->ProgressBar1->minimum(), 0);
    QCOMPARE(f->ProgressBar1->maximum(), 100);
    QVERIFY(!f->StatusBar1->PanelText(2).isEmpty());
    QVERIFY(f->StatusBar1->PanelText(3).contains(QLatin1Char(':')));
}

void TestMainForm::firstStartAndRoundTrip() {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("Quillmeter"));
    {
        auto f = Make(data);
        QVERIFY(QDir(data).exists(QStringLiteral("Data")));
        QCOMPARE(QDir::current().absolutePath(), QDir(data).absolutePath());
        QCOMPARE(f->FFolder->text(), QDir::toNativeSeparators(data) + qm::PathSep() + QStringLiteral("Data"));
        QVERIFY(!QFile::exists(f->ResumeFileName()));
        f->IPAdressText->setText(QStringLiteral("10.0.0.9"));
        f->IFCheck->SetValue(1);
        f->ComList->setCurrentIndex(9);
        f->TRound->setText(QStringLiteral("25"));
        f->LoopInterval->setText(QStringLiteral("2.5"));
        f->FHeadder->setText(QStringLiteral("run"));
        f->DSScreenSaveCheck->SetValue(1);
        f->ManualCheck->SetValue(0);
        f->AMLogOn->SetValue(1);
        f->close();
        QVERIFY(f->Unloaded());
        QCOMPARE(f->ResumeFileName(), QDir(data).filePath(QStringLiteral("Resume302.txt")));
        QVERIFY(QFile::exists(f->ResumeFileName()));
    }
    QFile resume(QDir(data).filePath(QStringLiteral("Resume302.txt")));
    QVERIFY(resume.open(QIODevice::ReadOnly));
    const QByteArray bytes = resume.readAll();
    QVERIFY(bytes.startsWith(qm::ToAnsi(QStringLiteral("IPアドレス,10.0.0.9\r\nUSBチェック, 1 \r\nComアドレス, 9 \r\n"))));
    auto g = Make(data);
    QCOMPARE(g->IPAdressText->text(), QStringLiteral("10.0.0.9"));
    QCOMPARE(g->IFCheck->Value(), 1);
    QCOMPARE(g->CommMode, int16_t(0));
    QCOMPARE(g->ComList->currentText(), QStringLiteral("COM10"));
    QCOMPARE(g->TRound->text(), QStringLiteral("25"));
    QCOMPARE(g->LoopInterval->text(), QStringLiteral("2.5"));
    QCOMPARE(g->FHeadder->text(), QStringLiteral("run"));
    QCOMPARE(g->DSScreenSaveCheck->Value(), 1);
    QCOMPARE(g->ManualCheck->Value(), 0);
    QCOMPARE(g->AMLogOn->Value(), 0);  // not saved
}

void TestMainForm::loadForcesHiddenBoxes() {
    QTemporaryDir dir;
    QFile r(dir.filePath(QStringLiteral("Resume302.txt")));
    QVERIFY(r.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral(
        "IPアドレス,127.0.0.1\r\nUSBチェック, 0 \r\nComアドレス, 1 \r\n回数,5\r\nインターバル,0\r\nフォルダ,\r\n"
        "ファイルヘッダ,x\r\ncsv波形格納チェック, 1 \r\nDS画面表示チェック, 0 \r\nDS画面格納チェック, 0 \r\n"
        "INVコマンドチェック, 0 \r\nMnual継続チェック, 0 \r\n");
    r.write(qm::ToAnsi(text));
    r.close();
    auto f = Make(dir.path());
    QCOMPARE(f->WaveSaveCheck->Value(), 0);  // cleared again at load
    QCOMPARE(f->INVCheck->Value(), 1);       // ticked again at load
    QCOMPARE(f->DSScreenDispCheck->Value(), 0);
    QCOMPARE(f->FFolder->text(), QDir::toNativeSeparators(dir.path()) + qm::PathSep() + QStringLiteral("Data"));
    QCOMPARE(f->FHeadder->text(), QStringLiteral("x"));
}

void TestMainForm::clearAndLogWindow() {
    QTemporaryDir dir;
    auto f = Make(dir.path());
    // The start-up's clear showed the log window.
    QVERIFY(f->HasLogForm());
    QVERIFY(f->LogForm().isVisible());
    QCOMPARE(f->LogForm().windowTitle(), QStringLiteral("自動測定のログ"));
    f->AMLogOn->SetValue(1);
    QVERIFY(f->LogForm().isVisible());
    QCOMPARE(f->LogForm().frameGeometry().top(), f->frameGeometry().top() + f->frameGeometry().height());
    f->AMLogOn->SetValue(0);
    QVERIFY(!f->LogForm().isVisible());
    f->CycleNo = 12;
    f->LogGridRow = 40;
    f->ScreenBufferFile = QStringLiteral("BufferFile.bmp");
    f->Clear->click();
    QCOMPARE(f->CycleNo, 1);
    QCOMPARE(f->LogGridRow, 5);
    QVERIFY(f->ScreenBufferFile.isEmpty());
    QCOMPARE(f->CLoopCount->text(), QStringLiteral("1/"));
    QVERIFY(f->LogForm().isVisible());
}

void TestMainForm::closeWithoutRunLeavesLinkAlone() {
    QTemporaryDir dir;
    auto f = Make(dir.path());
    QCOMPARE(f->LinkOpen, int16_t(0));
    f->close();
    QVERIFY(f->Unloaded());
    QCOMPARE(f->dso->State(), int16_t(SockControl::sckClosed));
    QVERIFY(!f->MSComm1->PortOpen());
}

void TestMainForm::commandLineDemoRun() {
    if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
    QTemporaryDir dir;
    QProcess p;
    p.start(App(), {QStringLiteral("--demo"), QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--repeat"),
                    QStringLiteral("2"), QStringLiteral("--autostart"), QStringLiteral("--assume-yes"),
                    QStringLiteral("--exit-after-run"), QStringLiteral("--echo-status")});
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("トリガ待ちです\n")), qPrintable(out));
    QVERIFY2(out.endsWith(QStringLiteral("動作完了しました\n")), qPrintable(out));
    QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Resume302.txt"))));
}

void TestMainForm::commandLineConnectionFailure() {
    if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
    QTemporaryDir dir;
    // Point the program at a loopback port where nobody listens.
    QFile r(dir.filePath(QStringLiteral("Resume302.txt")));
    QVERIFY(r.open(QIODevice::WriteOnly));
    r.write(qm::ToAnsi(QStringLiteral("IPアドレス,127.0.0.1\r\n")));
    r.close();
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcess p;
    p.start(App(), {QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--port"), port, QStringLiteral("--autostart"),
                    QStringLiteral("--assume-yes"), QStringLiteral("--exit-after-run")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("装置が正しく接続されていません！")));
    // A usage error.
    QProcess bad;
    bad.start(App(), {QStringLiteral("--port"), QStringLiteral("x")});
    QVERIFY(bad.waitForFinished(30000));
    QCOMPARE(bad.exitCode(), 64);
}

void TestMainForm::commandLineSigterm() {
    if (App().isEmpty()) QSKIP("QUILLMETER_APP not set");
    QTemporaryDir dir;
    QProcess p;
    p.start(App(), {QStringLiteral("--demo"), QStringLiteral("--data-dir"), dir.path(), QStringLiteral("--repeat"),
                    QStringLiteral("100"), QStringLiteral("--autostart"), QStringLiteral("--assume-yes"),
                    QStringLiteral("--exit-after-run"), QStringLiteral("--echo-status")});
    QVERIFY(p.waitForStarted());
    // Wait until the run is under way, then stop it as Ctrl+C would.
    QString out;
    QTRY_VERIFY_WITH_TIMEOUT((out += QString::fromUtf8(p.readAllStandardOutput())).contains(QStringLiteral("トリガ待ちです")),
                             30000);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(30000));
    out += QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("動作完了しました")) || out.contains(QStringLiteral("トリガ中断です")), qPrintable(out));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
