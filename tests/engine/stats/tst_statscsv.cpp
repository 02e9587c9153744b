// The statistics CSV byte for byte, the --stats printout, and the limits file.
#include "engine/stats/LogReader.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"

#include "engine/text/AnsiText.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <vector>
#include <cstring>

using namespace qm;

// AddressSanitizer keeps up to 256 MB of freed blocks from reuse by default;
// a small quarantine makes the memory measured here what the reader holds.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=4:thread_local_quarantine_size_kb=64"; }
#endif

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#ifdef Q_OS_LINUX
// A value of /proc/self/status in bytes ("VmRSS", "VmHWM").
qint64 StatusBytes(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(QByteArray(key) + ':')) return line.mid(qsizetype(strlen(key)) + 1).trimmed().split(' ')[0].toLongLong() * 1024;
    return -1;
}
#endif

CycleRecord Cycle(int32_t n, std::array<double, 4> v) { return MakeCycleRecord(n, v, QDateTime(QDate(2024, 5, 1), QTime(8, 0))); }

// A, B, C, D over five cycles: A 1,2,3,4 and one gap; B one value; C nothing;
// D identical values.
TrendLog FiveCycles() {
    TrendLog log;
    log.setItems({MeasItemRecord{"C1", "MAX", "V"}, MeasItemRecord{"C2", "DUTY", "%"}, MeasItemRecord{"M1", "P-P", "s"},
                  MeasItemRecord{"C3", "積分", "Vs"}});
    log.setLimits(0, std::nullopt, 3.5);
    log.setLimits(3, 0.0, 1e-3);
    log.add(Cycle(1, {1, NoValue, NoValue, 2.5e-7}));
    log.add(Cycle(2, {2, NoValue, NoValue, 2.5e-7}));
    log.add(Cycle(3, {NoValue, -1234567.891, NoValue, 2.5e-7}));
    log.add(Cycle(4, {3, NoValue, NoValue, 2.5e-7}));
    log.add(Cycle(5, {4, NoValue, NoValue, 2.5e-7}));
    return log;
}

const char* ExpectedCsv =
    "Slot,Source,Type,Unit,Count,NoValue,Last,Min,Max,Mean,SD,Lower,Upper,Outside\r\n"
    "A,C1,MAX,V,4,1,4,1,4,2.5,1.290994449,,3.5,1\r\n"
    "B,C2,DUTY,%,1,4,-1234567.891,-1234567.891,-1234567.891,-1234567.891,,,,\r\n"
    "C,M1,P-P,s,0,5,,,,,,,,\r\n"
    "D,C3,\x90\xcf\x95\xaa,Vs,5,0,2.5e-07,2.5e-07,2.5e-07,2.5e-07,0,0,0.001,0\r\n";
}  // namespace

class TstStatsCsv : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
private slots:
    void fileBytes() {
        // Numbers never take the locale's decimal comma.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const TrendLog log = FiveCycles();
        QCOMPARE(*log.stats(0).sd(), std::sqrt(5.0 / 3.0));
        const QString path = dir.filePath(QStringLiteral("stats.csv"));
        QCOMPARE(WriteStatsCsv(log, path), QString());
        QCOMPARE(ReadAll(path), QByteArray(ExpectedCsv));
        QLocale::setDefault(QLocale::c());
        // Every number cell reads back with strtod to nine significant digits.
        const QStringList cells = StatsCsvText(log).split(QStringLiteral("\r\n"))[1].split(QLatin1Char(','));
        QVERIFY(std::fabs(std::strtod(cells[10].toLatin1().constData(), nullptr) - std::sqrt(5.0 / 3.0)) < 1e-9);
    }

    void numberTexts_data() {
        QTest::addColumn<double>("v");
        QTest::addColumn<QString>("text");
        QTest::newRow("milli") << 1.25e-3 << "0.00125";
        QTest::newRow("mega") << 2.5e6 << "2500000";
        QTest::newRow("ten digits") << 1.0 / 3 << "0.3333333333";
        QTest::newRow("small") << -6.02e-23 << "-6.02e-23";
        QTest::newRow("large") << 1.5e12 << "1.5e+12";
        QTest::newRow("zero") << 0.0 << "0";
    }
    void numberTexts() {
        QFETCH(double, v);
        QFETCH(QString, text);
        QCOMPARE(StatsNumberText(v), text);
        QCOMPARE(StatsNumberText(std::nullopt), QString());
    }

    void writeFailureNamesFile() {
        const QString path = dir.filePath(QStringLiteral("no/such/folder/stats.csv"));
        const QString error = WriteStatsCsv(FiveCycles(), path);
        QVERIFY(error.contains(QDir::toNativeSeparators(path)));
    }

    void printLogStatistics() {
        const QString log = dir.filePath(QStringLiteral("p_AM_LOG.csv"));
        {
            QFile f(log);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(qm::ToAnsi(QStringLiteral(",Time,A,B,C,D\r\nCh,,C1,C2,M1,C3\r\nType,,MAX,DUTY,P-P,積分\r\nUnit,,V,%,s,Vs\r\n"
                                              "1,t,1,,,250e-9\r\n2,t,2,,,250e-9\r\n1,t,,-1234.567891e3,,250e-9\r\n"
                                              "2,t,3,,,250e-9\r\n3,t,4,,,250e-9\r\n")));
        }
        QString out, err;
        QTextStream os(&out), es(&err);
        LimitArray limits;
        limits[0].upper = 3.5;
        limits[3] = SlotLimits{0.0, 1e-3};
        QCOMPARE(PrintLogStatistics(log, os, es, limits), 0);
        QCOMPARE(err, QString());
        QString expected = qm::FromAnsi(ExpectedCsv);
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(out, expected);

        // A damaged line is skipped: the statistics of the others, and 4.
        QFile bad(dir.filePath(QStringLiteral("bad_AM_LOG.csv")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("1,t,1,2,3,4\r\n2,t,1,2,3\r\n");
        bad.close();
        out.clear();
        QCOMPARE(PrintLogStatistics(bad.fileName(), os, es), 4);
        QVERIFY2(out.contains(QStringLiteral("\nA,,,,1,0,1,1,1,1,,,,\n")), qPrintable(out));
        QVERIFY2(err.contains(QDir::toNativeSeparators(bad.fileName())) && err.contains(QStringLiteral(" 2 行目")),
                 qPrintable(err));
        // Not a log at all: nothing on stdout, and 1.
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("<html>\n");
        bad.close();
        out.clear();
        err.clear();
        QCOMPARE(PrintLogStatistics(bad.fileName(), os, es), 1);
        QCOMPARE(out, QString());
        QVERIFY2(err.contains(QStringLiteral(" 1 行目")), qPrintable(err));
    }

    // quillmeter --stats as the user runs it: the exit code says whether
    // every line was read, and stderr names the skipped ones.
    void statsProgram_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("csv");
        const QByteArray header = ",Time,A,B,C,D\r\nCh,,C1,C2,M1,C3\r\n";
        QTest::newRow("whole") << header + "1,t,1,2,3,4\r\n" << 0 << QString() << true;
        QTest::newRow("damaged lines") << header + "1,t,1,2,3,4\r\n1,t\r\n2,t,1,2,3,4\r\nx\r\n" << 4 << " 4 行目, 6 行目" << true;
        QTest::newRow("not a log") << QByteArray("PK\x03\x04\r\nbinary") << 1 << " 1 行目" << false;
    }
    void statsProgram() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, exitCode);
        QFETCH(QString, named);
        QFETCH(bool, csv);
        const QString app = QString::fromLocal8Bit(qgetenv("QUILLMETER_APP"));
        if (app.isEmpty()) QSKIP("QUILLMETER_APP not set");
        const QString log = dir.filePath(QStringLiteral("cli_AM_LOG.csv"));
        QFile f(log);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QProcess p;
        p.start(app, {"--data-dir", dir.filePath(QStringLiteral("cli-data")), "--stats", log});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), exitCode);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        for (const QString& line : named.split(QLatin1Char(','), Qt::SkipEmptyParts))
            QVERIFY2(err.contains(line), qPrintable(err));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).startsWith(QStringLiteral("Slot,")), csv);
    }

    // --stats on a large log: the log goes line by line into the running
    // statistics, so the peak memory does not grow with the file.
    void statsMemoryOnLargeLog() {
#ifndef Q_OS_LINUX
        QSKIP("reads /proc/self/status");
#else
        const QString large = dir.filePath(QStringLiteral("large_AM_LOG.csv"));
        constexpr int kLines = 240000;  // about 13 MB
        {
            QFile f(large);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(",Time,A,B,C,D\r\nCh,,C1,C2,M1,C3\r\nType,,MAX,DUTY,P-P,RMS\r\nUnit,,V,%,s,V\r\n");
            QByteArray chunk;
            for (int i = 1; i <= kLines; ++i) {
                chunk += QByteArray::number(i) + ",2024/05/01 10:" + QByteArray::number(10 + i / 6000 % 50) + ":0" +
                         QByteArray::number(i % 10) + "," + QByteArray::number(i % 97) + ".25e-3,50,2500e3,-3.3e-6\r\n";
                if (chunk.size() > (1 << 20)) {
                    QCOMPARE(f.write(chunk), chunk.size());
                    chunk.clear();
                }
            }
            QCOMPARE(f.write(chunk), chunk.size());
        }
        const qint64 size = QFileInfo(large).size();
        QString out, err;
        QTextStream os(&out), es(&err);
        // From here on the peak (VmHWM) counts anew.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) QSKIP("the peak memory cannot be reset here");
        clear.close();
        const qint64 before = StatusBytes("VmRSS");
        QCOMPARE(PrintLogStatistics(large, os, es), 0);
        const qint64 grown = StatusBytes("VmHWM") - before;
        QVERIFY2(out.contains(QStringLiteral("\nB,C2,DUTY,%,%1,0,50,50,50,50,0,,,\n").arg(kLines)), qPrintable(out));
        qInfo("a %lld-byte log: the peak grew by %lld KB", size, grown / 1024);
        QVERIFY2(grown < size, qPrintable(QStringLiteral("peak grew by %1 bytes for a %2-byte log").arg(grown).arg(size)));
#endif
    }

    void limitsFile() {
        const QString folder = dir.filePath(QStringLiteral("data"));
        // Nothing saved yet: no limits.
        LimitArray none = LoadTrendLimits(folder);
        for (const SlotLimits& l : none) QVERIFY(!l.any());
        LimitArray limits;
        limits[0] = SlotLimits{0.1, 0.30000000000000004};
        limits[1] = SlotLimits{std::nullopt, -2.5e-9};
        limits[3] = SlotLimits{-1e20, std::nullopt};
        QCOMPARE(SaveTrendLimits(folder, limits), QString());
        QCOMPARE(TrendSettingsPath(folder), folder + QStringLiteral("/Trend.ini"));
        QVERIFY(QFile::exists(folder + QStringLiteral("/Trend.ini")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Resume302.txt")));
        QCOMPARE(LoadTrendLimits(folder), limits);
        // A value that is not a number reads as no limit.
        {
            QSettings s(TrendSettingsPath(folder), QSettings::IniFormat);
            s.setValue(QStringLiteral("Limits/A_Lower"), QStringLiteral("zero"));
        }
        QVERIFY(!LoadTrendLimits(folder)[0].lower);
        QCOMPARE(*LoadTrendLimits(folder)[0].upper, 0.30000000000000004);
    }
};

QTEST_GUILESS_MAIN(TstStatsCsv)
#include "tst_statscsv.moc"
