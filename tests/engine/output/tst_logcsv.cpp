// The log CSV sink: exact bytes of a new and an existing file, and lines kept
// in order while the file cannot be written.
#include "engine/output/FileSinks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace qm;

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
CycleRecord Record(int cycle, double a) {
    CycleRecord r = MakeCycleRecord(cycle, {a, NoValue, 2500e3, -0.5}, QDateTime::currentDateTime());
    r.timeText = QStringLiteral("2026/12/07 10:00:0%1").arg(cycle);
    return r;
}
}  // namespace

class TestLogCsv : public QObject {
    Q_OBJECT
private slots:
    void newFileThenOneLinePerCycle();
    void headerLinesBeforeTheFirstLine_data();
    void headerLinesBeforeTheFirstLine();
    void linesWaitWhileTheFileCannotBeWritten();
    void shortWriteIsTakenBack();
};

void TestLogCsv::newFileThenOneLinePerCycle() {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("S_AM_LOG.csv"));
    LogCsvSink sink;
    MeasItemArray items;
    items[0] = {QStringLiteral("C1"), QStringLiteral("MAX"), QStringLiteral("ボルト")};
    sink.measItemsRead(items);
    QVERIFY(sink.cycleLogged(Record(1, 1.25e-3), name).ok());
    QVERIFY(sink.cycleLogged(Record(2, 0), name).ok());
    QCOMPARE(ReadAll(name), QByteArray(",Time,A,B,C,D\r\n"
                                       "Ch,,C1,,,\r\n"
                                       "Type,,MAX,,,\r\n"
                                       "Unit,,\x83\x7b\x83\x8b\x83\x67,,,\r\n"
                                       "1,2026/12/07 10:00:01,1.25e-3,,2500e3,-500e-3\r\n"
                                       "2,2026/12/07 10:00:02,0e-9,,2500e3,-500e-3\r\n"));
    // An existing file gets no header, whatever the slots are now.
    LogCsvSink later;
    QVERIFY(later.cycleLogged(Record(3, 1), name).ok());
    QVERIFY(ReadAll(name).endsWith("\r\n2,2026/12/07 10:00:02,0e-9,,2500e3,-500e-3\r\n3,2026/12/07 10:00:03,1,,2500e3,-500e-3\r\n"));
}

// A file that holds no line yet (empty, or the start of the header lines
// that a cut-short first append left) gets the header lines first; a file
// with anything else in it never does.
void TestLogCsv::headerLinesBeforeTheFirstLine_data() {
    const QByteArray header = LogCsvSink::HeaderBytes({});
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");  // what the first append adds
    const QByteArray line = "1,2026/12/07 10:00:01,1,,2500e3,-500e-3\r\n";
    QTest::newRow("empty") << QByteArray() << header + line;
    QTest::newRow("cut header") << header.left(20) << header.mid(20) + line;
    QTest::newRow("whole header") << header << line;
    QTest::newRow("something else") << QByteArray("x\r\n") << line;
    QTest::newRow("a line of data") << QByteArray("7,2026/12/07 9:00:00,1,,,\r\n") << line;
}

void TestLogCsv::headerLinesBeforeTheFirstLine() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("S_AM_LOG.csv"));
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(before) == before.size());
    f.close();
    LogCsvSink sink;
    QVERIFY(sink.cycleLogged(Record(1, 1), name).ok());
    QCOMPARE(ReadAll(name), before + after);
}

void TestLogCsv::linesWaitWhileTheFileCannotBeWritten() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString name = folder + QStringLiteral("/S_AM_LOG.csv");
    LogCsvSink sink(3);
    qm::FileResult r = sink.cycleLogged(Record(1, 1), name);
    QVERIFY(!r.ok() && !r.endsRun);
    QCOMPARE(r.file, name);
    QVERIFY(!r.reason.isEmpty());
    QVERIFY2(r.message.contains(QStringLiteral("S_AM_LOG.csv")) && r.message.contains(QStringLiteral("1 行が書き込み待ち")),
             qPrintable(r.message));
    r = sink.cycleLogged(Record(2, 2), name);
    QVERIFY(r.message.contains(QStringLiteral("2 行が書き込み待ち")) && !r.endsRun);
    // A full queue ends the run, naming the file and the count; no line is dropped.
    r = sink.cycleLogged(Record(3, 3), name);
    QVERIFY2(r.endsRun && r.message.contains(QStringLiteral("S_AM_LOG.csv")) &&
                 r.message.contains(QStringLiteral("書き込み待ちが 3 行")),
             qPrintable(r.message));
    QCOMPARE(sink.waitingLines(), 3);
    // Once the file can be written, the waiting lines go first, in order.
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(sink.cycleLogged(Record(4, 4), name).ok());
    QCOMPARE(sink.waitingLines(), 0);
    const QList<QByteArray> lines = ReadAll(name).split('\n');
    QCOMPARE(lines.size(), 9);
    for (int k = 0; k < 4; ++k) QVERIFY(lines[4 + k].startsWith(QByteArray::number(k + 1) + ','));
}

// A write cut short (here by a file size limit, as a full disk would):
// the part that got out is taken back, the line waits and goes out later.
void TestLogCsv::shortWriteIsTakenBack() {
#ifndef Q_OS_UNIX
    QSKIP("a file size limit exists only on Unix systems");
#else
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("S_AM_LOG.csv"));
    LogCsvSink sink;
    QVERIFY(sink.cycleLogged(Record(1, 1), name).ok());
    const qint64 before = QFileInfo(name).size();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = rlim_t(before + 10);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const qm::FileResult r = sink.cycleLogged(Record(2, 2), name);
    const qint64 after = QFileInfo(name).size();
    ::setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY2(r.reason.contains(QStringLiteral("File too large")) && r.message.contains(r.reason), qPrintable(r.message));
    QCOMPARE(after, before);
    QVERIFY(sink.cycleLogged(Record(3, 3), name).ok());
    const QList<QByteArray> lines = ReadAll(name).split('\n');
    QCOMPARE(lines.size(), 4 + 3 + 1);
    QVERIFY(lines[5].startsWith("2,") && lines[6].startsWith("3,"));
#endif
}

QTEST_MAIN(TestLogCsv)
#include "tst_logcsv.moc"
