// What a run leaves on disk: the log CSV file, the screen images and the
// waveform CSV files, through the real main window and the simulated
// instrument.
#include "RunRig.h"
#include "common/EventWait.h"
#include "logview/AMLogForm.h"
#include "logview/FlexGrid.h"
#include "screen/WaveForm.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QList<QByteArray> Lines(const QByteArray& bytes) {
    QList<QByteArray> l = bytes.split('\n');
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l;
}
}  // namespace

class TestRunFiles : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { qm::SetAppClosing(false); }
    void logFileAndGrid();
    void logGridWrapsFileGrows();
    void logFileInMissingFolder();
    void logRefusesCycleAbove10000();
    void screenImages();
    void screenTransferFailureGoesOn();
    void waveformFiles();
};

void TestRunFiles::logFileAndGrid() {
    RunRig r;
    auto& meas = r.sim.config().meas;
    meas[0].fixed = QStringLiteral("1.25E-03");
    meas[1].fixed = QStringLiteral("9.9E+37");
    meas[2].fixed = QStringLiteral("garbage");
    meas[3].fixed = QStringLiteral("-0.5,1,2");
    r.f->AMLogOn->SetValue(1);
    r.f->WaveTransfer_Click();
    QTRY_VERIFY(r.sim.received().endsWith(QStringLiteral("GTL")));
    const QStringList items = From(r.sim.received(), QStringLiteral("*ESE 255")).mid(0, 15);
    QCOMPARE(items, QStringList({QStringLiteral("*ESE 255"), QStringLiteral("DIRM A"), QStringLiteral("MSEL?"), QStringLiteral("C1:VUNI?"),
                                 QStringLiteral("DIRM B"), QStringLiteral("MSEL?"), QStringLiteral("C1:VUNI?"),
                                 QStringLiteral("DIRM C"), QStringLiteral("MSEL?"), QStringLiteral("C2:VUNI?"),
                                 QStringLiteral("DIRM D"), QStringLiteral("MSEL?"), QStringLiteral("C1:VUNI?"),
                                 QStringLiteral("DATE?"), QStringLiteral("DISP OFF")}));
    const QStringList cycle = From(r.sim.received(), QStringLiteral("MSRA?")).mid(0, 4);
    QCOMPARE(cycle, QStringList({QStringLiteral("MSRA?"), QStringLiteral("MSRB?"), QStringLiteral("MSRC?"),
                                 QStringLiteral("MSRD?")}));

    const QString file = r.dir.filePath(QStringLiteral("Sample_AM_LOG.csv"));
    const QList<QByteArray> lines = Lines(ReadAll(file));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QByteArray(",Time,A,B,C,D\r"));
    QCOMPARE(lines[1], QByteArray("Ch,,C1,C1,C2,C1\r"));
    QCOMPARE(lines[2], QByteArray("Type,,MAX,P-P,DUTY,INTEGRAL\r"));
    QCOMPARE(lines[3], QByteArray("Unit,,V,V,%,Vs\r"));
    const QRegularExpression row(QStringLiteral("^(\\d+),[^,]+ \\d\\d:\\d\\d:\\d\\d,1.25e-3,,,-500e-3\\r$"));
    QVERIFY2(row.match(QString::fromLatin1(lines[4])).hasMatch(), lines[4].constData());
    QVERIFY(lines[4].startsWith("1,"));
    QVERIFY(lines[5].startsWith("2,"));
    QVERIFY(r.statuses.contains(QStringLiteral("測定値がありません: BC (サイクル 1)")));
    QCOMPARE(r.f->AMLog[1].Value[0], 0.00125);
    QVERIFY(r.f->AMLog[1].Value[1] >= 1e30);
    QVERIFY(r.f->AMLog[1].Value[2] >= 1e30);

    // The grid holds the same lines; "Last" repeats the latest.
    FlexGrid& g = *r.f->LogForm().AMLogGrid;
    QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("1"));
    QCOMPARE(g.TextMatrix(6, 0), QStringLiteral("2"));
    QCOMPARE(g.TextMatrix(4, 0), QStringLiteral("Last"));
    for (int c = 1; c < 6; ++c) QCOMPARE(g.TextMatrix(4, c), g.TextMatrix(6, c));
    QCOMPARE(r.f->LogGridRow, 7);

    // A second run appends lines only; after a clear the numbering restarts.
    r.f->WaveTransfer_Click();
    QCOMPARE(Lines(ReadAll(file)).size(), 7);
    r.f->Clear_Click();
    QCOMPARE(g.TextMatrix(5, 0), QString());
    r.f->WaveTransfer_Click();
    const QList<QByteArray> after = Lines(ReadAll(file));
    QCOMPARE(after.size(), 9);
    QVERIFY(after[7].startsWith("1,"));
}

void TestRunFiles::logGridWrapsFileGrows() {
    RunRig r;
    r.f->AMLogOn->SetValue(1);
    r.f->TRound->setText(QStringLiteral("3"));
    r.f->LogGridRow = 10004;  // the last log row of the grid
    r.f->WaveTransfer_Click();
    FlexGrid& g = *r.f->LogForm().AMLogGrid;
    QCOMPARE(g.Rows(), 10005);
    QCOMPARE(g.TextMatrix(10004, 0), QStringLiteral("1"));
    QCOMPARE(g.TextMatrix(5, 0), QStringLiteral("2"));
    QCOMPARE(g.TextMatrix(6, 0), QStringLiteral("3"));
    QCOMPARE(r.f->LogGridRow, 7);
    const QList<QByteArray> lines = Lines(ReadAll(r.dir.filePath(QStringLiteral("Sample_AM_LOG.csv"))));
    QCOMPARE(lines.size(), 7);
    QVERIFY(lines[4].startsWith("1,") && lines[5].startsWith("2,") && lines[6].startsWith("3,"));
}

void TestRunFiles::logFileInMissingFolder() {
    RunRig r;
    r.f->AMLogOn->SetValue(1);
    r.f->FFolder->setText(r.dir.filePath(QStringLiteral("no/such/folder")));
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QCOMPARE(r.f->CycleNo, 3);  // both cycles ran
    QCOMPARE(r.ask.failures.size(), 2);
    QVERIFY(r.ask.failures[0].contains(QStringLiteral("Sample_AM_LOG.csv")));
    // The grid kept both lines.
    QCOMPARE(r.f->LogForm().AMLogGrid->TextMatrix(6, 0), QStringLiteral("2"));
}

void TestRunFiles::logRefusesCycleAbove10000() {
    RunRig r;
    r.f->AMLogOn->SetValue(1);
    r.f->CycleNo = 10001;
    r.f->WaveTransfer_Click();
    QCOMPARE(r.ask.failures.size(), 1);
    QVERIFY(r.ask.failures[0].contains(QStringLiteral("クリア")));
    QTRY_VERIFY(r.sim.received().endsWith(QStringLiteral("GTL")));
    QVERIFY(!r.sim.received().contains(QStringLiteral("DATE?")));
    QCOMPARE(r.f->CycleNo, 10001);
    // Without logging, the same start runs one cycle.
    r.f->AMLogOn->SetValue(0);
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->CycleNo, 10002);
}

void TestRunFiles::screenImages() {
    RunRig r;
    r.f->DSScreenDispCheck->SetValue(1);
    r.f->DSScreenSaveCheck->SetValue(1);
    r.f->TRound->setText(QStringLiteral("1"));
    r.f->CycleNo = 7;
    r.f->WaveTransfer_Click();
    const QByteArray png = qmsim::screenFile(r.sim.config(), QStringLiteral("png"));
    const QByteArray bmp = qmsim::screenFile(r.sim.config(), QStringLiteral("bmp"));
    QCOMPARE(ReadAll(r.dir.filePath(QStringLiteral("Sample_00007.png"))), png);
    QCOMPARE(ReadAll(QDir(r.f->AppFolder).filePath(QStringLiteral("BufferFile.bmp"))), bmp);
    QCOMPARE(r.f->ScreenBufferFile, QStringLiteral("BufferFile.bmp"));
    QVERIFY(r.f->ScreenForm().isVisible());
    QVERIFY(!r.f->ScreenForm().DsScreen()->pixmap().isNull());
    const QStringList cmds = From(r.sim.received(), QStringLiteral("*ESE 255"));
    const qsizetype trig = cmds.lastIndexOf(QStringLiteral("TESR?"));
    QCOMPARE(cmds.mid(trig + 1, 3),
             QStringList({QStringLiteral("GTL"), QStringLiteral("TSCRN? bmp"), QStringLiteral("TSCRN? png")}));
    QVERIFY(r.statuses.contains(QStringLiteral("DS画面を転送中です")));
    QVERIFY(r.statuses.contains(QStringLiteral("DS画面の格納完了")));
    QCOMPARE(r.f->ProgressBar1->value(), 100);
    // The close box unticks the display box.
    r.f->ScreenForm().close();
    QCOMPARE(r.f->DSScreenDispCheck->Value(), 0);
    QVERIFY(!r.f->ScreenForm().isVisible());
    // After a clear the picture name is empty; ticking shows an empty picture.
    r.f->Clear_Click();
    r.f->DSScreenDispCheck->SetValue(1);
    QVERIFY(r.f->ScreenForm().isVisible());
    QVERIFY(r.f->ScreenForm().DsScreen()->pixmap().isNull());
}

void TestRunFiles::screenTransferFailureGoesOn() {
    RunRig r;
    r.f->DSScreenSaveCheck->SetValue(1);
    r.f->AMLogOn->SetValue(1);
    r.f->TRound->setText(QStringLiteral("1"));
    r.sim.config().faults.blockFault = qmsim::BlockFault::BadLength;
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    QVERIFY(!QFile::exists(r.dir.filePath(QStringLiteral("Sample_00001.png"))));
    QCOMPARE(Lines(ReadAll(r.dir.filePath(QStringLiteral("Sample_AM_LOG.csv")))).size(), 5);
    QVERIFY(!r.statuses.contains(QStringLiteral("DS画面の格納完了")));
    QCOMPARE(r.statuses.last(), QStringLiteral("動作完了しました"));
}

void TestRunFiles::waveformFiles() {
    RunRig r;
    r.sim.config().recordLength = 1000;
    r.f->WaveSaveCheck->SetValue(1);
    r.f->TRound->setText(QStringLiteral("1"));
    QList<int> progress;
    QObject::connect(r.f->ProgressBar1, &QProgressBar::valueChanged, [&](int v) { progress << v; });
    r.f->WaveTransfer_Click();
    QCOMPARE(r.f->LastOutcome(), RunOutcome::Normal);
    // CH1, CH2 displayed; CH3, CH4 and math not: only two transfers.
    const QStringList cmds = From(r.sim.received(), QStringLiteral("*ESE 255"));
    QCOMPARE(cmds.count(QStringLiteral("DTWAVE?")), 2);
    QVERIFY(cmds.contains(QStringLiteral("WAVESRC CH1")));
    QVERIFY(cmds.contains(QStringLiteral("WAVESRC CH2")));
    QVERIFY(progress.mid(0, 3) == QList<int>({25, 50, 75}));
    const QList<QByteArray> lines = Lines(ReadAll(r.dir.filePath(QStringLiteral("Sample_00001.csv"))));
    QVERIFY(lines.size() > 1000);
    QCOMPARE(lines[0], QByteArray("ModelName,DS-5554\r"));
    QVERIFY(r.statuses.contains(QStringLiteral("波形を転送中です")));
    QVERIFY(r.statuses.contains(QStringLiteral("csv波形の格納完了")));
    // Transfer-only: one cycle, no trigger wait.
    r.sim.clearReceived();
    r.f->TransOnly_Click();
    QVERIFY(!r.sim.received().contains(QStringLiteral("WSGL")));
    QVERIFY(QFile::exists(r.dir.filePath(QStringLiteral("Sample_00002.csv"))));
}

QTEST_MAIN(TestRunFiles)
#include "tst_runfiles.moc"
