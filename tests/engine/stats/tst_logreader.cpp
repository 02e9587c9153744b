// Reading log files back: headers, several runs, empty and damaged cells,
// lines that are not log lines.
#include "engine/stats/LogReader.h"

#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qm;

namespace {
const QString Header = QStringLiteral(
    ",Time,A,B,C,D\r\n"
    "Ch,,C1,C2,M1,C3\r\n"
    "Type,,MAX,DUTY,P-P,積分\r\n"
    "Unit,,V,%,s,回\r\n");

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) return QString();
    return path;
}
}  // namespace

class TstLogReader : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
private slots:
    void severalRunsAndEmptyCells() {
        const QString t1 = qm::DateTimeText(QDateTime(QDate(2024, 5, 1), QTime(9, 30, 5)));
        const QString text = Header +
            QStringLiteral("1,%1,1.25e-3,50,2500e3,\r\n"
                           "2,%1,,49.5,-500e-6,12\r\n"
                           "3,%1,abc,1e999,1.5e-9,\r\n"   // not numbers: no value
                           "1,%1,7,,,\r\n"               // after a clear: numbering restarts
                           "2,%1,8,,,\r\n")
                .arg(t1);
        const QString path = WriteFile(dir, QStringLiteral("runs_AM_LOG.csv"), qm::ToAnsi(text));
        const LogReadResult r = ReadLogFile(path);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.headerLines, 4);
        QCOMPARE(r.items[0].source, QStringLiteral("C1"));
        QCOMPARE(r.items[2].kind, QStringLiteral("P-P"));
        QCOMPARE(r.items[3].kind, QStringLiteral("積分"));
        QCOMPARE(r.items[3].unit, QStringLiteral("回"));
        QCOMPARE(int(r.cycles.size()), 5);
        const int32_t cycles[] = {1, 2, 3, 1, 2};
        for (int i = 0; i < 5; ++i) QCOMPARE(r.cycles[size_t(i)].cycle, cycles[i]);
        const CycleRecord& c1 = r.cycles[0];
        QCOMPARE(c1.values[0], 1.25e-3);
        QCOMPARE(c1.values[1], 50.0);
        QCOMPARE(c1.values[2], 2.5e6);
        QVERIFY(!c1.hasValue(3));
        QCOMPARE(c1.cells[0], QStringLiteral("1.25e-3"));
        QCOMPARE(c1.cells[3], QString());
        QCOMPARE(c1.timeText, t1);
        QCOMPARE(c1.time, QDateTime(QDate(2024, 5, 1), QTime(9, 30, 5)));
        QCOMPARE(r.cycles[1].values[2], -500e-6);
        QCOMPARE(r.cycles[1].values[3], 12.0);
        QVERIFY(!r.cycles[2].hasValue(0));
        QVERIFY(!r.cycles[2].hasValue(1));
        QCOMPARE(r.cycles[2].cells[0], QString());
        QCOMPARE(r.cycles[2].values[2], 1.5e-9);
        QCOMPARE(r.cycles[4].values[0], 8.0);
    }

    void headersMissingOrCut_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("headerLines");
        QTest::addColumn<QString>("sourceA");
        QTest::addColumn<QString>("unitD");
        QTest::newRow("none") << "1,t,1,2,3,4\r\n2,t,1,2,3,4" << 0 << "" << "";
        QTest::newRow("titles only") << ",Time,A,B,C,D\r\n1,t,1,2,3,4\r\n2,t,1,2,3,4\r\n" << 1 << "" << "";
        QTest::newRow("cut after Ch") << ",Time,A,B,C,D\r\nCh,,C1,C2\r\n1,t,1,2,3,4\r\n2,t,1,2,3,4\r\n" << 2 << "C1" << "";
        QTest::newRow("no titles, LF lines") << "Ch,,C4,C2,C3,C1\nType,,MAX,MIN,RMS,AVG\nUnit,,V,V,V,A\n1,t,1,2,3,4\n2,t,1,2,3,4\n"
                                             << 4 << "C4" << "A";
    }
    void headersMissingOrCut() {
        QFETCH(QString, text);
        QFETCH(int, headerLines);
        QFETCH(QString, sourceA);
        QFETCH(QString, unitD);
        const LogReadResult r = ReadLogBytes(qm::ToAnsi(text), QStringLiteral("x.csv"));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.headerLines, headerLines);
        QCOMPARE(r.items[0].source, sourceA);
        QCOMPARE(r.items[3].unit, unitD);
        QCOMPARE(int(r.cycles.size()), 2);
        QCOMPARE(r.cycles[1].values[3], 4.0);
        QVERIFY(!r.cycles[0].time.isValid());
    }

    // Lines that are not log lines are skipped and counted, the first ones
    // named; a file with neither a header line nor a log line is no log.
    void damagedLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cycles");  // -1: not a log
        QTest::addColumn<QList<int>>("named");
        QTest::addColumn<int>("skipped");
        QTest::newRow("five cells") << Header + "1,t,1,2,3\r\n" << 0 << QList<int>{5} << 1;
        QTest::newRow("seven cells") << Header + "1,t,1,2,3,4\r\n2,t,1,2,3,4,5\r\n" << 1 << QList<int>{6} << 1;
        QTest::newRow("fractional cycle") << Header + "1,t,1,2,3,4\r\n\r\n1.5,t,1,2,3,4\r\n" << 1 << QList<int>{7} << 1;
        QTest::newRow("negative and empty cycle") << Header + "-1,t,1,2,3,4\r\n,t,1,2,3,4\n3,t,1,2,3,4" << 1 << QList<int>{5, 6} << 2;
        QTest::newRow("header inside") << Header + "1,t,1,2,3,4\r\nCh,,C1,C2,C3,C4\r\n" << 1 << QList<int>{6} << 1;
        QTest::newRow("line over 64 KB") << Header + "1,t,1,2,3,4\r\n" + QString(100000, u'7') + "\r\n2,t,1,2,3,4\r\n" << 2
                                         << QList<int>{6} << 1;
        QString many = Header;
        for (int i = 0; i < 12; ++i) many += "x\r\n";
        QTest::newRow("twelve damaged, ten named") << many + "1,t,1,2,3,4\r\n" << 1
                                                   << QList<int>{5, 6, 7, 8, 9, 10, 11, 12, 13, 14} << 12;
        QTest::newRow("no log: word cycle") << "abc,t,1,2,3,4\r\n" << -1 << QList<int>{1} << 1;
        QTest::newRow("no log: other text") << "<html>\n<body>\n" << -1 << QList<int>{1, 2} << 2;
    }
    void damagedLines() {
        QFETCH(QString, text);
        QFETCH(int, cycles);
        QFETCH(QList<int>, named);
        QFETCH(int, skipped);
        const QString path = WriteFile(dir, QStringLiteral("bad_AM_LOG.csv"), qm::ToAnsi(text));
        const LogReadResult r = ReadLogFile(path);
        QList<int> lines;
        for (const LogSkippedLine& l : r.firstSkipped) lines << int(l.line);
        QCOMPARE(lines, named);
        QCOMPARE(r.skippedCount, skipped);
        const QString shown = QDir::toNativeSeparators(path);
        if (cycles < 0) {
            QVERIFY(!r.ok());
            QVERIFY(r.cycles.empty());
            QVERIFY2(r.error.contains(shown) && r.error.contains(QStringLiteral(" %1 行目").arg(named[0])), qPrintable(r.error));
            return;
        }
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(int(r.cycles.size()), cycles);
        QCOMPARE(r.cycleCount, cycles);
        const QString report = r.skippedText();
        QVERIFY2(report.contains(shown) && report.contains(QStringLiteral(" %1 行を").arg(skipped)), qPrintable(report));
        for (int line : named) QVERIFY2(report.contains(QStringLiteral("%1 行目").arg(line)), qPrintable(report));
        QCOMPARE(report.contains(QStringLiteral("ほか 2 行")), skipped == 12);
    }

    void unreadableFiles() {
        const QString missing = dir.filePath(QStringLiteral("none_AM_LOG.csv"));
        LogReadResult r = ReadLogFile(missing);
        QVERIFY(!r.ok());
        QVERIFY(r.error.contains(QDir::toNativeSeparators(missing)));
        const QString empty = WriteFile(dir, QStringLiteral("empty_AM_LOG.csv"), QByteArray());
        r = ReadLogFile(empty);
        QVERIFY(!r.ok());
        QVERIFY(r.error.contains(QDir::toNativeSeparators(empty)));
        // A log whose header is all there is: a good log without cycles.
        r = ReadLogBytes(qm::ToAnsi(Header), QStringLiteral("h.csv"));
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.headerLines, 4);
        QVERIFY(r.cycles.empty());
    }

    void cellValues_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("has");
        QTest::addColumn<double>("value");
        QTest::newRow("milli") << "1.25e-3" << true << 1.25e-3;
        QTest::newRow("kilo") << "2500e3" << true << 2.5e6;
        QTest::newRow("plain") << "-42" << true << -42.0;
        QTest::newRow("spaces") << " 7.5 " << true << 7.5;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("word") << "N/A" << false << 0.0;
        QTest::newRow("unit after") << "5V" << false << 0.0;
        QTest::newRow("overflow") << "1e400" << false << 0.0;
        QTest::newRow("no value mark") << "1e30" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
    }
    void cellValues() {
        QFETCH(QString, cell);
        QFETCH(bool, has);
        QFETCH(double, value);
        const std::optional<double> v = LogCellValue(cell);
        QCOMPARE(v.has_value(), has);
        if (has) QCOMPARE(*v, value);
    }

    void timeTextRoundTrip() {
        const QDateTime when(QDate(2023, 12, 31), QTime(23, 59, 58));
        QCOMPARE(ParseLogTime(qm::DateTimeText(when)), when);
        QCOMPARE(ParseLogTime(QStringLiteral("2024/01/02 03:04:05")), QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
        QCOMPARE(ParseLogTime(QStringLiteral("2024-1-2 3:04:05")), QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
        QVERIFY(!ParseLogTime(QStringLiteral("2024/13/02 03:04:05")).isValid());
        QVERIFY(!ParseLogTime(QStringLiteral("yesterday")).isValid());
        // One parser over the lines of a file: across hours and days.
        LogTimeParser parser;
        const QDateTime start(QDate(2024, 2, 28), QTime(22, 58, 59));
        for (int i = 0; i < 200; ++i) {
            const QDateTime t = start.addSecs(i * 97);
            QCOMPARE(parser.parse(t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"))), t);
        }
        QVERIFY(!ParseLogTime(QString()).isValid());
    }
};

QTEST_GUILESS_MAIN(TstLogReader)
#include "tst_logreader.moc"
