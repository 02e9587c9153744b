// Running statistics and the trend series against values computed here
// independently (two passes in long double).
#include "engine/stats/TrendLog.h"

#include <QTest>
#include <cmath>
#include <limits>
#include <vector>

using namespace qm;

namespace {
constexpr double None = std::numeric_limits<double>::quiet_NaN();  // a cycle without value in the tables

struct Expected {
    int64_t count = 0, none = 0;
    long double mean = 0, sd = 0, min = 0, max = 0, last = 0;
};

Expected TwoPass(const std::vector<double>& values) {
    Expected e;
    long double sum = 0;
    for (double v : values) {
        if (std::isnan(v)) { ++e.none; continue; }
        if (e.count == 0) e.min = e.max = v;
        e.min = std::min<long double>(e.min, v);
        e.max = std::max<long double>(e.max, v);
        e.last = v;
        sum += v;
        ++e.count;
    }
    if (e.count) e.mean = sum / e.count;
    long double sq = 0;
    for (double v : values)
        if (!std::isnan(v)) sq += (v - e.mean) * (v - e.mean);
    if (e.count > 1) e.sd = std::sqrt(sq / (e.count - 1));
    return e;
}

CycleRecord Cycle(int32_t n, std::array<double, 4> v) {
    return MakeCycleRecord(n, v, QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0)).addSecs(n));
}

bool Near(double a, long double b) { return std::fabs(a - double(b)) <= 1e-12 * std::max(1.0, std::fabs(double(b))); }
}  // namespace

class TstTrendLog : public QObject {
    Q_OBJECT
private slots:
    void runningStats_data() {
        QTest::addColumn<std::vector<double>>("values");
        QTest::newRow("identical") << std::vector<double>{2.5, 2.5, 2.5, 2.5, 2.5};
        QTest::newRow("one value") << std::vector<double>{-7.25};
        QTest::newRow("all empty") << std::vector<double>{None, None, None};
        QTest::newRow("with gaps") << std::vector<double>{1, None, 2, 3, None, 4};
        QTest::newRow("large offset") << std::vector<double>{1e9 + 1, 1e9 + 2, 1e9 + 3, 1e9 + 4};
        QTest::newRow("tiny and signed") << std::vector<double>{1.25e-9, -3.5e-9, 0, 7e-10, -1e-12};
        std::vector<double> ramp;
        for (int i = 0; i < 1000; ++i) ramp.push_back(std::sin(i * 0.37) * 1e3 + i);
        QTest::newRow("thousand") << ramp;
    }
    void runningStats() {
        QFETCH(std::vector<double>, values);
        RunningStats s;
        for (double v : values) std::isnan(v) ? s.addNoValue() : s.add(v);
        const Expected e = TwoPass(values);
        QCOMPARE(s.count(), e.count);
        QCOMPARE(s.noValueCount(), e.none);
        QCOMPARE(s.cycles(), int64_t(values.size()));
        if (e.count == 0) {
            QVERIFY(!s.last() && !s.min() && !s.max() && !s.mean() && !s.sd());
            return;
        }
        QCOMPARE(*s.last(), double(e.last));
        QCOMPARE(*s.min(), double(e.min));
        QCOMPARE(*s.max(), double(e.max));
        QVERIFY2(Near(*s.mean(), e.mean), qPrintable(QString::number(*s.mean(), 'g', 17)));
        if (e.count == 1) {
            QVERIFY(!s.sd());
        } else {
            QVERIFY2(std::fabs(*s.sd() - double(e.sd)) <= 1e-9 * std::max(1.0, double(e.sd)),
                     qPrintable(QString::number(*s.sd(), 'g', 17)));
        }
        if (QByteArray(QTest::currentDataTag()) == "identical") QCOMPARE(*s.sd(), 0.0);
    }

    // Whatever is not a finite value below NoValue is "no value", never 0.
    void noValues() {
        TrendLog log;
        const double inf = std::numeric_limits<double>::infinity();
        log.add(Cycle(1, {NoValue, None, inf, -inf}));
        log.add(Cycle(2, {2e30, -NoValue, 0.0, 5.0}));
        QCOMPARE(log.stats(0).count(), 0);
        QCOMPARE(log.stats(0).noValueCount(), 2);
        QCOMPARE(log.stats(1).count(), 0);
        QCOMPARE(log.stats(2).count(), 1);
        QCOMPARE(*log.stats(2).mean(), 0.0);
        QCOMPARE(log.stats(3).noValueCount(), 1);
        QCOMPARE(*log.stats(3).min(), 5.0);
        QVERIFY(!log.points()[0].hasValue(1));
        QCOMPARE(log.points()[1].values[3], 5.0);
    }

    void keepsTenThousandPointsCountsAll() {
        TrendLog log;
        const int n = TrendLog::MaxPoints + 25;
        for (int i = 1; i <= n; ++i) log.add(Cycle(i, {double(i), NoValue, 1.0, 0.0}));
        QCOMPARE(int(log.points().size()), TrendLog::MaxPoints);
        QCOMPARE(log.points().front().seq, 26);
        QCOMPARE(log.points().back().cycle, n);
        QCOMPARE(log.added(), n);
        QCOMPARE(log.stats(0).count(), n);
        QCOMPARE(*log.stats(0).mean(), (n + 1) / 2.0);
        QCOMPARE(*log.stats(0).min(), 1.0);
        QCOMPARE(log.stats(1).noValueCount(), n);
        QCOMPARE(log.points().front().time, double(QDateTime(QDate(2024, 5, 1), QTime(12, 0, 26)).toSecsSinceEpoch()));
        log.clear();
        QCOMPARE(int(log.points().size()), 0);
        QCOMPARE(log.stats(0).cycles(), 0);
        QCOMPARE(log.added(), 0);
    }

    void limits() {
        TrendLog log;
        log.setLimits(0, 2.0, 4.0);
        log.setLimits(1, std::nullopt, 0.0);
        const double a[] = {1, 2, 3, 4, 5, NoValue, 4.0000001};
        for (int i = 0; i < 7; ++i) log.add(Cycle(i + 1, {a[i], a[i], a[i], NoValue}));
        QCOMPARE(log.outsideCount(0), 3);  // 1, 5, 4.0000001; the limits themselves are inside
        QCOMPARE(log.outsideChecked(0), 6);
        QCOMPARE(log.outsideCount(1), 6);
        QCOMPARE(log.outsideCount(2), 0);  // no limits
        QVERIFY(!log.limits(2).any());
        // Changing a limit counts the kept points anew.
        log.setLimits(2, 3.5, std::nullopt);
        QCOMPARE(log.outsideCount(2), 3);  // 1, 2, 3
        log.setLimits(0, std::nullopt, std::nullopt);
        QCOMPARE(log.outsideCount(0), 0);
        // After the kept points roll over, the recount covers the kept points only.
        TrendLog big;
        for (int i = 1; i <= TrendLog::MaxPoints + 100; ++i) big.add(Cycle(i, {i <= 100 ? -1.0 : 1.0, 0, 0, 0}));
        big.setLimits(0, 0.0, std::nullopt);
        QCOMPARE(big.outsideCount(0), 0);
        QCOMPARE(big.outsideChecked(0), TrendLog::MaxPoints);
        big.add(Cycle(1, {-5.0, 0, 0, 0}));
        QCOMPARE(big.outsideCount(0), 1);
        QCOMPARE(big.outsideChecked(0), TrendLog::MaxPoints + 1);
        QCOMPARE(big.stats(0).count(), TrendLog::MaxPoints + 101);
        // clear() keeps the limits.
        big.clear();
        QCOMPARE(*big.limits(0).lower, 0.0);
        QCOMPARE(big.outsideChecked(0), 0);
    }

    void titles_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("title");
        QTest::newRow("full") << 0 << "C1" << "MAX" << "V" << "A: C1 MAX [V]";
        QTest::newRow("no unit") << 1 << "M1" << "DUTY" << "" << "B: M1 DUTY";
        QTest::newRow("empty") << 3 << "" << "" << "" << "D";
        QTest::newRow("unit only") << 2 << " " << "" << "s" << "C [s]";
    }
    void titles() {
        QFETCH(int, slot);
        QFETCH(QString, source);
        QFETCH(QString, kind);
        QFETCH(QString, unit);
        QFETCH(QString, title);
        QCOMPARE(SlotTitle(slot, MeasItemRecord{source, kind, unit}), title);
    }
};

QTEST_GUILESS_MAIN(TstTrendLog)
#include "tst_trendlog.moc"
