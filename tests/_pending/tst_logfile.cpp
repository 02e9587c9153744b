// The log CSV file: exact bytes of a new file and of later appends, and the
// failures that must be reported instead of lost.
#include "logview/AMLogForm.h"
#include "logview/FlexGrid.h"
#include "logview/GridOps.h"
#include "logview/LogFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

namespace {
struct RunState {
    std::unique_ptr<AMLogArray> AMLog = std::make_unique<AMLogArray>();
    int32_t CycleNo = 1;
    int32_t LogGridRow = 5;
    MeasItemArray MeasItem{MeasItemRecord{"C1", "MAX", "V"}, MeasItemRecord{"C2", "DUTY", "%"},
                           MeasItemRecord{"M1", "P-P", "s"}, MeasItemRecord{"C3", "INTEGRAL", "As"}};
    InstrumentConfig DsoConfig;
    LogViewRefs Refs() { return LogViewRefs{*AMLog, CycleNo, LogGridRow, MeasItem, DsoConfig}; }
};

QByteArray ReadAll(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

const QByteArray Header =
    ",Time,A,B,C,D\r\n"
    "Ch,,C1,C2,M1,C3\r\n"
    "Type,,MAX,DUTY,P-P,INTEGRAL\r\n"
    "Unit,,V,%,s,As\r\n";
}  // namespace

class TestLogFile : public QObject {
    Q_OBJECT
private slots:
    void newFileThenOneLinePerCycle();
    void existingFileGetsNoHeader();
    void shiftJisBytes();
    void failuresAreReported();
};

void TestLogFile::newFileThenOneLinePerCycle() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("run1_AM_LOG.csv"));
    RunState s;
    AMLogForm f(s.Refs());
    FlexGrid& g = *f.AMLogGrid;

    s.CycleNo = 3;
    s.LogGridRow = 5;
    (*s.AMLog)[3] = AMLogRecord{3, {0.0123456789123, -0.5, 9.9e37, 2.5e6}};
    f.Form_Paint();
    const QByteArray stamp1 = s.DsoConfig.AcqTime.toLatin1();
    QVERIFY(!stamp1.isEmpty());
    QString error = QStringLiteral("stale");
    QVERIFY(AppendLogRowToFile(name, g, s.LogGridRow, &error));
    QCOMPARE(error, QString());
    const QByteArray line1 = "3," + stamp1 + ",12.3456789e-3,-500e-3,,2500e3\r\n";
    QCOMPARE(ReadAll(name), Header + line1);
    QCOMPARE(g.Row(), 5);  // cells are read through the current cell
    QCOMPARE(g.Col(), 5);

    // The next cycle adds exactly one line; changed items do not rewrite the header.
    s.MeasItem[0].Source = QStringLiteral("C4");
    s.CycleNo = 4;
    s.LogGridRow = 6;
    (*s.AMLog)[4] = AMLogRecord{4, {0, 0.000123, 1500, 2.5}};
    f.Form_Paint();
    const QByteArray stamp2 = s.DsoConfig.AcqTime.toLatin1();
    QVERIFY(AppendLogRowToFile(name, g, s.LogGridRow));
    QCOMPARE(ReadAll(name), Header + line1 + "4," + stamp2 + ",0e-9,123e-6,1.5e3,2.5\r\n");
}

void TestLogFile::existingFileGetsNoHeader() {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("x_AM_LOG.csv"));
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old\r\n");
    }
    FlexGrid g;
    g.SetCols(6);
    g.SetRows(10005);
    SetGridRow(g, 10004, 5, {"10000", "2024/05/06 07:08:09", "1", "", "", "4"});
    QVERIFY(AppendLogRowToFile(name, g, 10004));
    QCOMPARE(ReadAll(name), QByteArray("old\r\n10000,2024/05/06 07:08:09,1,,,4\r\n"));

    // An empty file that exists is not new either.
    const QString empty = dir.filePath(QStringLiteral("empty.csv"));
    {
        QFile f(empty);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(AppendLogRowToFile(empty, g, 10004));
    QCOMPARE(ReadAll(empty), QByteArray("10000,2024/05/06 07:08:09,1,,,4\r\n"));
}

void TestLogFile::shiftJisBytes() {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("jp.csv"));
    FlexGrid g;
    g.SetCols(6);
    g.SetRows(6);
    SetGridRow(g, 0, 5, {"", "Time", "A", "B", "C", "D"});
    SetGridCell(g, 3, 2, QStringLiteral("ボルト"));
    SetGridRow(g, 5, 5, {"1", "t", "", "", "", ""});
    QVERIFY(AppendLogRowToFile(name, g, 5));
    QCOMPARE(ReadAll(name), QByteArray(",Time,A,B,C,D\r\n,,,,,\r\n,,,,,\r\n,,\x83\x7b\x83\x8b\x83\x67,,,\r\n1,t,,,,\r\n"));
}

void TestLogFile::failuresAreReported() {
    QTemporaryDir dir;
    FlexGrid g;
    g.SetCols(6);
    g.SetRows(10);
    SetGridRow(g, 5, 5, {"1", "t", "1", "2", "3", "4"});
    QString error;

    // A folder that does not exist.
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/a_AM_LOG.csv"));
    QVERIFY(!AppendLogRowToFile(missing, g, 5, &error));
    QVERIFY2(error.contains(QStringLiteral("a_AM_LOG.csv")), qPrintable(error));
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!AppendLogRowToFile(missing, g, 5));  // no error text wanted: still false

    // A folder where the file should be.
    error.clear();
    const QString folder = dir.filePath(QStringLiteral("b_AM_LOG.csv"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(!AppendLogRowToFile(folder, g, 5, &error));
    QVERIFY2(error.contains(QStringLiteral("b_AM_LOG.csv")), qPrintable(error));

    // A read-only file (only refused when not running with root rights).
    const QString readOnly = dir.filePath(QStringLiteral("c_AM_LOG.csv"));
    {
        QFile f(readOnly);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept\r\n");
    }
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    if (geteuid() != 0) {
        error.clear();
        QVERIFY(!AppendLogRowToFile(readOnly, g, 5, &error));
        QVERIFY2(error.contains(QStringLiteral("c_AM_LOG.csv")), qPrintable(error));
        QCOMPARE(ReadAll(readOnly), QByteArray("kept\r\n"));
    }

    // A write that fails after the open (a full device).
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        error.clear();
        QVERIFY(!AppendLogRowToFile(QStringLiteral("/dev/full"), g, 5, &error));
        QVERIFY2(error.contains(QStringLiteral("/dev/full")), qPrintable(error));
    }

    // A row that is not in the grid: nothing is written.
    const QString name = dir.filePath(QStringLiteral("d_AM_LOG.csv"));
    for (int32_t row : {-1, 10, INT32_MAX}) {
        error.clear();
        QVERIFY(!AppendLogRowToFile(name, g, row, &error));
        QVERIFY2(error.contains(QStringLiteral("d_AM_LOG.csv")), qPrintable(error));
        QVERIFY(!QFile::exists(name));
    }
}

QTEST_MAIN(TestLogFile)
#include "tst_logfile.moc"
