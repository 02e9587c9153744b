// The measurement run through the real main window against the simulated
// instrument.
#include "RunRig.h"
#include "engine/text/Clock.h"
#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "link/BlockRead.h"
#include "link/CommPort.h"
#include "link/TcpTransport.h"
#include "run/Waits.h"
#include "screen/WaveForm.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {
const QString kDone = QStringLiteral("動作完了しました");
QStringList Cycle(bool dispOff = true) {
    QStringList c{QStringLiteral("DATE?")};
    if (dispOff) c << QStringLiteral("DISP OFF");
    c << QStringLiteral("TESR?") << QStringLiteral("WSGL") << QStringLiteral("TESR?") << QStringLiteral("TESR?");
    return c;
}
}  // namespace

class TestRun : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qm::SetAppClosing(false); }
    void twoCyclesExactCommands();
    void serialRunOverPty();
    void modelAtOrBelow400SendsNoDispOff();
    void repeatCountRules();
    void numberingContinuesAcrossRuns();
    void stopDuringIntervalWait();
    void stopDuringTriggerWait();
    void manualContinue();
    void transferOnlyRun();
    void connectionRefusedOrDeclined();
    void droppedConnectionEndsRunAndNextRunWorks();
    void unusableConfigurationEndsRunBeforeFirstCycle();
    void absurdRecordLengthAllocatesBoundedBuffers();
    void silentInstrumentEndsTriggerWait();
    void intervalWaitAcrossMidnight();
    void closingTheWindowDuringAWait();
};

void TestRun::twoCyclesExactCommands() {
    RunRig r;
    QCOMPARE(r.f->windowTitle(), QStringLiteral("Quillmeter(Ver3.02)"));
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QStringList expected{QStringLiteral("*ESE 255")};
    expected << Cycle() << Cycle() << QStringLiteral("TRMD AUTO") << QStringLiteral("GTL");
    QTRY_COMPARE(r.RunCommands(), expected);
    QCOMPARE(r.sim.received().first(), QStringLiteral("DTINF?"));
    QCOMPARE(r.statuses, QStringList({QStringLiteral("トリガ待ちです"), QStringLiteral("トリガ待ちです"), kDone}));
    QCOMPARE(r.f->CLoopCount->text(), QStringLiteral("3/"));
    QCOMPARE(r.f->CycleNo, 3);
    QVERIFY(r.f->WaveTransfer->isEnabled());
    QVERIFY(r.f->Clear->isEnabled());
    QVERIFY(!r.f->StopAcqusition->isEnabled());
    QCOMPARE(r.f->LinkOpen, int16_t(-1));
    QCOMPARE(r.ask.questions, QStringList(QStringLiteral("確認|インタフェースはTCP：127.0.0.1です｡接続OK?")));
}

void TestRun::serialRunOverPty() {
    RunRig r;
    qmsim::SimPty pty(&r.sim);
    QVERIFY(pty.open());
    qputenv("QUILLMETER_COM13", pty.slavePath().toLocal8Bit());
    r.f->IFCheck->SetValue(1);
    r.f->ComList->setEditText(QStringLiteral("COM13"));
    r.f->AMLogOn->SetValue(1);
    r.f->DSScreenSaveCheck->SetValue(1);
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->CommMode, int16_t(0));
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QCOMPARE(r.ask.questions.first(), QStringLiteral("確認|インタフェースはUSB(COM13)です｡接続OK?"));
    QTRY_COMPARE(r.RunCommands().last(), QStringLiteral("GTL"));
    QCOMPARE(r.RunCommands().count(QStringLiteral("MSRD?")), 2);
    QCOMPARE(r.f->CycleNo, 3);
    QFile png(r.dir.filePath(QStringLiteral("Sample_00002.png")));
    QVERIFY(png.open(QIODevice::ReadOnly));
    QCOMPARE(png.readAll(), qmsim::screenFile(r.sim.config(), QStringLiteral("png")));
    QVERIFY(r.f->MSComm1->PortOpen());
    QCOMPARE(r.f->MSComm1->Settings(), QStringLiteral("38400,n,8,1"));
}

void TestRun::modelAtOrBelow400SendsNoDispOff() {
    RunRig r;
    r.sim.config().modelName = QStringLiteral("DS-5352");
    r.f->TRound->setText(QStringLiteral("1"));
    r.f->WaveTransfer_Click();
    QStringList expected{QStringLiteral("*ESE 255")};
    expected << Cycle(false) << QStringLiteral("TRMD AUTO") << QStringLiteral("GTL");
    QTRY_COMPARE(r.RunCommands(), expected);
}

void TestRun::repeatCountRules() {
    for (const QString& text : {QStringLiteral("0"), QStringLiteral("-5"), QStringLiteral("abc"), QString()}) {
        RunRig r;
        r.f->TRound->setText(text);
        r.f->WaveTransfer_Click();
        QTRY_COMPARE(r.RunCommands().count(QStringLiteral("DATE?")), 1);
        QCOMPARE(r.f->TRound->text(), text);
    }
    RunRig r;
    r.f->TRound->setText(QStringLiteral("20000"));
    r.f->ManualCheck->SetValue(1);
    r.ask.answers = {true, false};  // connect OK, then Cancel after the first cycle
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->TRound->text(), QStringLiteral("10000"));
    QTRY_COMPARE(r.RunCommands().count(QStringLiteral("DATE?")), 1);
}

void TestRun::numberingContinuesAcrossRuns() {
    RunRig r;
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->CycleNo, 3);
    r.sim.clearReceived();
    // CycleNo already above the repeat count: exactly one cycle.
    r.f->WaveTransfer_Click();
    QCOMPARE(r.sim.received().count(QStringLiteral("DATE?")), 1);
    QCOMPARE(r.f->CycleNo, 4);
    QCOMPARE(r.f->CLoopCount->text(), QStringLiteral("4/"));
    r.f->Clear_Click();
    QCOMPARE(r.f->CycleNo, 1);
    QCOMPARE(r.f->LogGridRow, 5);
    QCOMPARE(r.f->CLoopCount->text(), QStringLiteral("1/"));
}

void TestRun::stopDuringIntervalWait() {
    RunRig r;
    r.f->TRound->setText(QStringLiteral("5"));
    r.f->LoopInterval->setText(QStringLiteral("30"));
    // Stop while the run waits for the interval after cycle 1.
    r.When([&] { return r.f->CLoopCount->text() == QStringLiteral("2/"); }, [&] { r.f->StopAcqusition->click(); });
    r.f->WaveTransfer_Click();
    QStringList expected{QStringLiteral("*ESE 255")};
    expected << Cycle() << QStringLiteral("DATE?") << QStringLiteral("DISP OFF") << QStringLiteral("TESR?")
             << QStringLiteral("WSGL") << QStringLiteral("TRMD AUTO") << QStringLiteral("GTL");
    QTRY_COMPARE(r.RunCommands(), expected);
    QCOMPARE(r.statuses.last(), QStringLiteral("トリガ中断です"));
    QVERIFY(!r.statuses.contains(kDone));
    QCOMPARE(r.f->CycleNo, 2);
    QVERIFY(r.f->WaveTransfer->isEnabled());
    QVERIFY(!r.f->StopAcqusition->isEnabled());
}

void TestRun::stopDuringTriggerWait() {
    RunRig r;
    r.sim.config().triggerPolls = 1000000;
    r.When([&] { return r.sim.received().count(QStringLiteral("TESR?")) >= 3; }, [&] { r.f->StopAcqusition->click(); });
    r.f->WaveTransfer_Click();
    QTRY_VERIFY(r.RunCommands().endsWith(QStringLiteral("GTL")));
    const QStringList cmds = r.RunCommands();
    QCOMPARE(cmds.mid(cmds.size() - 2), QStringList({QStringLiteral("TRMD AUTO"), QStringLiteral("GTL")}));
    QVERIFY(cmds.count(QStringLiteral("TESR?")) >= 2);
    QCOMPARE(r.statuses.last(), QStringLiteral("トリガ中断です"));
    QCOMPARE(r.f->CycleNo, 1);  // the cycle was not counted
    QCOMPARE(r.f->CLoopCount->text(), QStringLiteral("1/"));
}

void TestRun::manualContinue() {
    RunRig r;
    r.f->TRound->setText(QStringLiteral("3"));
    r.f->ManualCheck->SetValue(1);
    r.ask.answers = {true, true, false};  // connect, OK after cycle 1, Cancel after cycle 2
    r.f->WaveTransfer_Click();
    QStringList expected{QStringLiteral("*ESE 255")};
    expected << Cycle() << QStringLiteral("GTL") << Cycle() << QStringLiteral("GTL") << QStringLiteral("TRMD AUTO")
             << QStringLiteral("GTL");
    QTRY_COMPARE(r.RunCommands(), expected);
    QCOMPARE(r.ask.questions.mid(1), QStringList({QStringLiteral("確認|次の測定の準備をして下さい!"),
                                                  QStringLiteral("確認|次の測定の準備をして下さい!")}));
    QCOMPARE(r.statuses.last(), kDone);
    // No question follows the last cycle: the count test comes first.
    RunRig last;
    last.f->TRound->setText(QStringLiteral("1"));
    last.f->ManualCheck->SetValue(1);
    last.f->WaveTransfer_Click();
    QCOMPARE(last.ask.questions.size(), 1);
}

void TestRun::transferOnlyRun() {
    RunRig r;
    r.f->TRound->setText(QStringLiteral("5"));
    r.f->TransOnly_Click();
    const QStringList expected{QStringLiteral("*ESE 255"), QStringLiteral("DATE?"), QStringLiteral("DISP OFF"),
                               QStringLiteral("GTL")};
    QTRY_COMPARE(r.RunCommands(), expected);
    QCOMPARE(r.statuses, QStringList(kDone));
    QCOMPARE(r.f->CycleNo, 2);
    QVERIFY(r.f->TransOnly->isEnabled());
}

void TestRun::connectionRefusedOrDeclined() {
    {
        RunRig r(false);  // nobody listens on port 1
        r.f->WaveTransfer_Click();
        QCOMPARE(r.f->LastOutcome(), RunOutcome::ConnectFailed);
        QCOMPARE(r.ask.failures, QStringList(QStringLiteral("確認|装置が正しく接続されていません！")));
        QCOMPARE(r.f->LinkOpen, int16_t(0));
        QVERIFY(r.f->WaveTransfer->isEnabled());
        QVERIFY(!r.f->StopAcqusition->isEnabled());
    }
    {
        RunRig r;
        r.ask.answers = {false};
        r.f->WaveTransfer_Click();
        QVERIFY(r.sim.received().isEmpty());
        QVERIFY(r.ask.failures.isEmpty());
        QCOMPARE(r.f->LastOutcome(), RunOutcome::ConnectFailed);
    }
}

void TestRun::droppedConnectionEndsRunAndNextRunWorks() {
    RunRig r;
    r.f->TRound->setText(QStringLiteral("3"));
    r.sim.config().faults.dropOn.insert(QStringLiteral("WSGL"));
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Error);
    QCOMPARE(r.ask.failures.size(), 1);
    QVERIFY2(r.ask.failures[0].contains(QStringLiteral("接続が切れ")), qPrintable(r.ask.failures[0]));
    QVERIFY(r.statuses.last().contains(QStringLiteral("接続が切れ")));
    QVERIFY(r.f->WaveTransfer->isEnabled());
    QVERIFY(r.f->Clear->isEnabled());
    QVERIFY(!r.f->StopAcqusition->isEnabled());
    // The drop happens once; the next run connects again and completes.
    r.sim.clearReceived();
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QTRY_COMPARE(r.RunCommands().last(), QStringLiteral("GTL"));
}

void TestRun::unusableConfigurationEndsRunBeforeFirstCycle() {
    RunRig r;
    r.sim.config().replies.insert(QStringLiteral("DTINF?"), QStringLiteral("NOTHING,HERE"));
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Error);
    QCOMPARE(r.ask.failures.size(), 1);
    QVERIFY2(r.ask.failures[0].contains(QStringLiteral("NOTHING,HERE")), qPrintable(r.ask.failures[0]));
    // No cycle, and no trigger mode sent back since none was read; the
    // instrument is returned to local operation.
    QTRY_COMPARE(r.sim.received(), QStringList({QStringLiteral("DTINF?"), QStringLiteral("GTL")}));
    QCOMPARE(r.f->CycleNo, 1);
    QVERIFY(r.f->WaveTransfer->isEnabled());
    QVERIFY(r.f->Clear->isEnabled());
}

void TestRun::absurdRecordLengthAllocatesBoundedBuffers() {
    RunRig r;
    r.sim.config().recordLength = 2000000000;
    r.f->TRound->setText(QStringLiteral("1"));
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QCOMPARE(r.f->DsoConfig.RecordLength, 2000000000);
    // CH1 and CH2 are displayed; no buffer is longer than a block can fill.
    QCOMPARE(r.f->WaveData[0].size(), size_t(kWaveBlockLimit) + 1);
    QCOMPARE(r.f->WaveData[1].size(), size_t(kWaveBlockLimit) + 1);
    QVERIFY(r.f->WaveData[2].empty());
    QCOMPARE(r.f->WaveData[4].size(), size_t(2));
}

void TestRun::silentInstrumentEndsTriggerWait() {
    SimTcpLink t;
    QVERIFY(t.start());
    int16_t stop = 0;
    // 1 and 3 end the wait; 0 and 2 and text do not.
    t.sim.config().triggerPolls = 0;
    t.sim.config().statusExtraBits = 2;
    WaitForTrigger(t.link, 5.0f, stop);
    QCOMPARE(t.sim.received(),
             QStringList({QStringLiteral("TESR?"), QStringLiteral("WSGL"), QStringLiteral("TESR?")}));
    t.sim.clearReceived();
    t.sim.config().faults.silent.insert(QStringLiteral("TESR?"));
    QVERIFY_THROWS_EXCEPTION(LinkError, WaitForTrigger(t.link, 0.1f, stop));
    QCOMPARE(t.sim.received().count(QStringLiteral("TESR?")), 1 + kSilentPolls);
    // With the stop flag already set: the two opening exchanges, no poll.
    t.sim.config().faults.silent.clear();
    t.sim.clearReceived();
    stop = -1;
    WaitForTrigger(t.link, 5.0f, stop);
    QTRY_COMPARE(t.sim.received(), QStringList({QStringLiteral("TESR?"), QStringLiteral("WSGL")}));
}

void TestRun::intervalWaitAcrossMidnight() {
    QElapsedTimer real;
    real.start();
    qm::SetTimerSource([&] {
        const double t = 86399.8 + real.elapsed() / 1000.0;
        return t >= 86400.0 ? t - 86400.0 : t;
    });
    const int16_t stop = 0;
    const float half = 0.5f;
    WaitInterval(half, stop);
    const qint64 took = real.elapsed();
    qm::SetTimerSource(nullptr);
    QVERIFY2(took >= 480 && took < 5000, qPrintable(QString::number(took)));
    // Zero or negative: at once.
    real.restart();
    const float none = 0.0f, negative = -3.0f;
    WaitInterval(none, stop);
    WaitInterval(negative, stop);
    QVERIFY(real.elapsed() < 100);
}

void TestRun::closingTheWindowDuringAWait() {
    RunRig r;
    r.f->TRound->setText(QStringLiteral("5"));
    r.f->LoopInterval->setText(QStringLiteral("30"));
    r.f->AMLogOn->SetValue(1);
    bool finished = false;
    QObject::connect(r.f.get(), &MainForm::RunFinished, [&] { finished = true; });
    r.When([&] { return r.f->CLoopCount->text() == QStringLiteral("2/"); }, [&] { r.f->close(); });
    r.f->WaveTransfer_Click();
    QVERIFY(finished);
    QVERIFY(r.f->Unloaded());
    // The settings were saved; the run sent nothing after the unload.
    QVERIFY(QFile::exists(r.f->ResumeFileName()));
    QVERIFY(!r.sim.received().contains(QStringLiteral("TRMD AUTO")));
    QFile log(r.dir.filePath(QStringLiteral("Sample_AM_LOG.csv")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll().count('\n'), 5);
}

QTEST_MAIN(TestRun)
#include "tst_run.moc"
