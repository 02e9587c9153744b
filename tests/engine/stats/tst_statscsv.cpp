// The statistics CSV byte for byte, the --stats printout, and the limits file.
#include "engine/stats/LogReader.h"
#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"

#include "engine/text/AnsiText.h"

#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

        QFile bad(dir.filePath(QStringLiteral("bad_AM_LOG.csv")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("1,t,1,2,3,4\r\n2,t,1,2,3\r\n");
        bad.close();
        out.clear();
        QCOMPARE(PrintLogStatistics(bad.fileName(), os, es), 1);
        QCOMPARE(out, QString());
        QVERIFY2(err.contains(QDir::toNativeSeparators(bad.fileName())) && err.contains(QStringLiteral(" 2 行目")),
                 qPrintable(err));
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
