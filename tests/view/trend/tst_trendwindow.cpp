// The trend window offscreen: a point per cycle, gaps, clear, limits (inputs,
// marks, counts, the settings file), log files, exports, the x axis switch and
// the coalesced redraws.
#include "view/trend/TrendWindow.h"

#include "engine/stats/StatsCsv.h"
#include "engine/stats/TrendLimits.h"
#include "engine/text/AnsiText.h"
#include "engine/text/SIFormat.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace qm;

namespace {
const QDateTime T0(QDate(2024, 5, 1), QTime(10, 0, 0));

CycleRecord Cycle(int32_t n, std::array<double, 4> v) { return MakeCycleRecord(n, v, T0.addSecs(n)); }

// Slot A of the cycles below; NoValue where the instrument gave none.
const double ValuesA[] = {1.5, 2.0, NoValue, 2.5, 1.0, 3.0, 2.25, NoValue};

QVector<QPointF> ExpectedA(int count, bool time = false) {
    QVector<QPointF> out;
    for (int i = 0; i < count; ++i)
        if (ValuesA[i] < NoValue) out.append(QPointF(time ? double(T0.addSecs(i + 1).toSecsSinceEpoch()) : i + 1, ValuesA[i]));
    return out;
}

void AddCycles(TrendWindow& w, int from, int to) {
    for (int i = from; i < to; ++i) w.addCycle(Cycle(i + 1, {ValuesA[i], -ValuesA[i], NoValue, 7.0}));
}

QString StatsLabel(TrendWindow& w, QChar slot) {
    return w.findChild<QLabel*>(QStringLiteral("stats") + slot)->text();
}

void EnterLimit(TrendWindow& w, const QString& name, const QString& text) {
    auto* e = w.findChild<QLineEdit*>(name);
    e->setText(text);
    emit e->editingFinished();
}

QString WriteLog(const QTemporaryDir& dir, const QString& name, const QString& text) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly)) return QString();
    f.write(qm::ToAnsi(text));
    return f.fileName();
}
}  // namespace

class TstTrendWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString data() const { return dir.filePath(QStringLiteral("data")); }
private slots:
    void pointPerCycleWithGaps() {
        TrendWindow w(data());
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("トレンド"));
        AddCycles(w, 0, 6);
        w.redrawNow();
        QCOMPARE(w.chart().shownPoints(0), ExpectedA(6));
        const int full = w.chart().fullDrawings();
        // Points inside the axes go to the top layer without a full drawing.
        AddCycles(w, 6, 8);
        w.redrawNow();
        QCOMPARE(w.chart().fullDrawings(), full);
        QCOMPARE(w.chart().shownPoints(0), ExpectedA(8));
        QCOMPARE(w.chart().shownPoints(1).size(), 6);
        QCOMPARE(w.chart().shownPoints(1)[5], QPointF(7, -2.25));
        QVERIFY(w.chart().shownPoints(2).isEmpty());
        QCOMPARE(w.chart().shownPoints(3).size(), 8);
        // A value beyond the value axis rescales it: a full drawing, same points.
        w.addCycle(Cycle(9, {100.0, NoValue, NoValue, 7.0}));
        w.redrawNow();
        QCOMPARE(w.chart().fullDrawings(), full + 1);
        QCOMPARE(w.chart().shownPoints(0), ExpectedA(8) << QPointF(9, 100.0));

        // Statistics beside the chart: A has 1.5 2 2.5 1 3 2.25 100 (mean
        // 16.0357143, sd 37.0305135).
        QCOMPARE(StatsLabel(w, u'A'),
                 QStringLiteral("数 7   値なし 2\n最新 100\n最小 1\n最大 100\n平均 16.036\n標準偏差 37.031\n範囲外 -"));
        QCOMPARE(StatsLabel(w, u'C'), QStringLiteral("数 0   値なし 9\n最新 -\n最小 -\n最大 -\n平均 -\n標準偏差 -\n範囲外 -"));

        w.clear();
        w.redrawNow();
        for (int k = 0; k < 4; ++k) QVERIFY(w.chart().shownPoints(k).isEmpty());
        QVERIFY(StatsLabel(w, u'A').startsWith(QStringLiteral("数 0   値なし 0\n")));
        AddCycles(w, 0, 2);
        w.redrawNow();
        QCOMPARE(w.chart().shownPoints(0), ExpectedA(2));
    }

    // Cycle ticks on whole numbers, the statistics in the log's notation to
    // five digits, and the line broken between runs and (on the time axis)
    // across a pause of more than three usual steps.
    void ticksStatisticsAndGaps_data() {
        QTest::addColumn<bool>("pcTime");
        QTest::addColumn<QList<int>>("cycles");
        QTest::addColumn<QList<double>>("seconds");  // PC time after T0
        QTest::addColumn<QList<double>>("valuesA");
        QTest::addColumn<QList<int>>("lines");  // points of each unbroken piece
        QTest::addColumn<QString>("mean");
        QTest::addColumn<QString>("sd");
        using I = QList<int>;
        using D = QList<double>;
        QTest::newRow("cycles, one run") << false << I{1, 2, 3, 4, 5} << D{0, 1, 2, 3, 4}
                                         << D{1.5, 1.5031, 1.4989, 1.5012, 1.5019} << I{5} << "1.501" << "1.6331e-3";
        QTest::newRow("cycles, numbering starts again")
            << false << I{1, 2, 3, 1, 2} << D{0, 1, 2, 60, 61} << D{0.0121, 0.0119, 0.0124, 0.0120, 0.01215} << I{3, 2}
            << "12.11e-3" << "188.41e-6";
        QTest::newRow("cycles, numbering jumps") << false << I{4, 5, 9, 10} << D{0, 1, 2, 3} << D{1500, 1520, 1490, 1516}
                                                 << I{2, 2} << "1.5065e3" << "13.988";
        QTest::newRow("time, steady") << true << I{1, 2, 3, 4, 5} << D{0, 1, 2, 3, 4}
                                      << D{999.99, 1000.01, 999.98, 1000.02, 999.995} << I{5} << "1000" << "15.969e-3";
        QTest::newRow("time, pause of ten steps") << true << I{1, 2, 3, 4, 5, 6} << D{0, 1, 2, 12, 13, 14}
                                                  << D{-0.5, -0.52, -0.48, -0.51, -0.49, -0.5} << I{3, 3} << "-500e-3"
                                                  << "14.142e-3";
        QTest::newRow("time, pause of three steps") << true << I{1, 2, 3, 4, 5} << D{0, 1, 2, 5, 6}
                                                    << D{2e-7, 2.1e-7, 1.9e-7, 2.05e-7, 1.95e-7} << I{5} << "200e-9"
                                                    << "7.9057e-9";
        QTest::newRow("time, a pause under one second") << true << I{1, 2, 3, 4, 5, 6} << D{0, 0.1, 0.2, 0.3, 0.9, 1.0}
                                                        << D{3.3, 3.31, 3.29, 3.3, 3.32, 3.28} << I{6} << "3.3" << "14.142e-3";
    }
    void ticksStatisticsAndGaps() {
        QFETCH(bool, pcTime);
        QFETCH(QList<int>, cycles);
        QFETCH(QList<double>, seconds);
        QFETCH(QList<double>, valuesA);
        QFETCH(QList<int>, lines);
        QFETCH(QString, mean);
        QFETCH(QString, sd);
        TrendWindow w(data());
        w.show();
        const TrendXAxis axis = pcTime ? TrendXAxis::PcTime : TrendXAxis::Cycle;
        w.setXAxis(axis);
        // The first cycle drawn in full, the others as they come (a gap
        // among them needs a full drawing of its own).
        for (int i = 0; i < cycles.size(); ++i) {
            w.addCycle(MakeCycleRecord(cycles[i], {valuesA[i], 1, 1, 1}, T0.addMSecs(qint64(seconds[i] * 1000))));
            if (i == 0) w.redrawNow();
        }
        w.redrawNow();
        QCOMPARE(w.chart().shownLines(0), lines);
        QCOMPARE(w.chart().shownPoints(0).size(), cycles.size());
        // The same after a full drawing.
        w.setXAxis(pcTime ? TrendXAxis::Cycle : TrendXAxis::PcTime);
        w.setXAxis(axis);
        w.redrawNow();
        QCOMPARE(w.chart().shownLines(0), lines);
        if (!pcTime) {
            QVERIFY(w.chart().shownTicks().size() >= 2);
            for (double tick : w.chart().shownTicks()) QCOMPARE(tick, std::round(tick));
        }
        const QStringList stats = StatsLabel(w, u'A').split(QLatin1Char('\n'));
        QCOMPARE(stats.value(4), QStringLiteral("平均 ") + mean);
        QCOMPARE(stats.value(5), QStringLiteral("標準偏差 ") + sd);
    }

    void titles() {
        TrendWindow w(data());
        w.setItems({MeasItemRecord{"C1", "MAX", "V"}, MeasItemRecord{"C2", "DUTY", "%"}, MeasItemRecord{}, MeasItemRecord{"M1", "P-P", "s"}});
        w.redrawNow();
        QCOMPARE(w.chart().shownTitle(0), QStringLiteral("A: C1 MAX [V]"));
        QCOMPARE(w.chart().shownTitle(2), QStringLiteral("C"));
        QCOMPARE(w.chart().shownTitle(3), QStringLiteral("D: M1 P-P [s]"));
    }

    void limitsFromInputs() {
        QTemporaryDir own;
        {
            TrendWindow w(own.path());
            w.show();
            AddCycles(w, 0, 8);
            EnterLimit(w, QStringLiteral("lowerA"), QStringLiteral("1.5"));
            EnterLimit(w, QStringLiteral("upperA"), QStringLiteral("2500e-3"));
            w.redrawNow();
            QCOMPARE(*w.log().limits(0).lower, 1.5);
            QCOMPARE(*w.log().limits(0).upper, 2.5);
            QCOMPARE(w.chart().shownLimit(0, false), std::optional<double>(1.5));
            QCOMPARE(w.chart().shownLimit(0, true), std::optional<double>(2.5));
            QVERIFY(!w.chart().shownLimit(1, false));
            // 1.0 and 3.0 are outside; 1.5 and 2.5 lie on the limits.
            QCOMPARE(w.chart().shownOutside(0), (QVector<QPointF>{{5, 1.0}, {6, 3.0}}));
            QVERIFY(StatsLabel(w, u'A').endsWith(QStringLiteral("範囲外 2 / 6 (33.3 %)")));
            // A new point outside is marked as it arrives.
            w.addCycle(Cycle(9, {1.25, NoValue, NoValue, NoValue}));
            w.redrawNow();
            QCOMPARE(w.chart().shownOutside(0).size(), 3);
            QVERIFY(StatsLabel(w, u'A').endsWith(QStringLiteral("範囲外 3 / 7 (42.9 %)")));
            // A text that is no number is marked and changes nothing.
            EnterLimit(w, QStringLiteral("upperA"), QStringLiteral("abc"));
            QVERIFY(!w.findChild<QLineEdit*>(QStringLiteral("upperA"))->styleSheet().isEmpty());
            QCOMPARE(*w.log().limits(0).upper, 2.5);
            EnterLimit(w, QStringLiteral("upperB"), QStringLiteral("-2"));
            QCOMPARE(w.log().outsideCount(1), 2);  // -1.5 and -1.0
        }
        // The limits are kept in Trend.ini of the data folder for the next window.
        QCOMPARE(*LoadTrendLimits(own.path())[0].lower, 1.5);
        TrendWindow again(own.path());
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("lowerA"))->text(), QStringLiteral("1.5"));
        QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("upperB"))->text(), QStringLiteral("-2"));
        QVERIFY(again.findChild<QLineEdit*>(QStringLiteral("lowerC"))->text().isEmpty());
        QCOMPARE(*again.log().limits(1).upper, -2.0);
    }

    void logFiles() {
        const QString good = WriteLog(dir, QStringLiteral("good_AM_LOG.csv"),
                                      QStringLiteral(",Time,A,B,C,D\r\nCh,,C1,C2,M1,C3\r\nType,,MAX,DUTY,P-P,RMS\r\nUnit,,V,%,s,V\r\n"
                                                     "1,2024/05/01 10:00:01,1.5,,,\r\n2,2024/05/01 10:00:02,2,,,\r\n"
                                                     "1,2024/05/01 10:05:00,,,,\r\n2,2024/05/01 10:05:01,2.5,,,\r\n"));
        const QString bad = WriteLog(dir, QStringLiteral("bad_AM_LOG.csv"), QStringLiteral("x,t,1,2,3,4\r\n2,t,1,2\r\n"));
        const QString damaged = WriteLog(dir, QStringLiteral("damaged_AM_LOG.csv"), QStringLiteral("1,t,1,2,3,4\r\n2,t,1,2\r\n3,t,5,,,\r\n"));
        TrendWindow w(data());
        QStringList errors;
        QString answer;
        w.setAskFile([&](TrendWindow::FileAsk kind, std::function<void(const QString&)> done) {
            QCOMPARE(kind, TrendWindow::FileAsk::OpenLog);
            done(answer);
        });
        w.setShowError([&](const QString& e) { errors << e; });
        auto* open = w.findChild<QPushButton*>(QStringLiteral("openLog"));
        answer = good;
        open->click();
        QCOMPARE(errors, QStringList());
        QCOMPARE(w.chart().shownTitle(0), QStringLiteral("A: C1 MAX [V]"));
        QCOMPARE(w.chart().shownPoints(0), (QVector<QPointF>{{1, 1.5}, {2, 2.0}, {4, 2.5}}));
        QCOMPARE(w.log().stats(0).noValueCount(), 1);
        // The PC time axis shows the same points at their times.
        w.findChild<QCheckBox*>(QStringLiteral("pcTime"))->setChecked(true);
        w.redrawNow();
        const double t = double(QDateTime(QDate(2024, 5, 1), QTime(10, 5, 1)).toSecsSinceEpoch());
        QCOMPARE(w.chart().shownPoints(0).last(), QPointF(t, 2.5));
        // A file that is not a log: a message naming file and line, nothing else changes.
        answer = bad;
        open->click();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0].contains(QDir::toNativeSeparators(bad)) && errors[0].contains(QStringLiteral(" 1 行目")),
                 qPrintable(errors[0]));
        QCOMPARE(w.chart().shownTitle(0), QStringLiteral("A: C1 MAX [V]"));
        QCOMPARE(w.log().stats(0).count(), 3);
        QCOMPARE(w.chart().shownPoints(0).size(), 3);
        // A log with a damaged line: shown without it, and the line named.
        answer = damaged;
        open->click();
        QCOMPARE(errors.size(), 2);
        QVERIFY2(errors[1].contains(QDir::toNativeSeparators(damaged)) && errors[1].contains(QStringLiteral(" 2 行目")),
                 qPrintable(errors[1]));
        QCOMPARE(w.log().stats(0).count(), 2);
        QCOMPARE(*w.log().stats(0).last(), 5.0);
        // A cancelled dialog does nothing.
        answer.clear();
        open->click();
        QCOMPARE(errors.size(), 2);
    }

    void exports() {
        TrendWindow w(data());
        w.resize(900, 640);
        w.show();
        AddCycles(w, 0, 8);
        QString answer;
        QList<TrendWindow::FileAsk> asked;
        w.setAskFile([&](TrendWindow::FileAsk kind, std::function<void(const QString&)> done) {
            asked << kind;
            done(answer);
        });
        QStringList errors;
        w.setShowError([&](const QString& e) { errors << e; });
        answer = dir.filePath(QStringLiteral("trend.png"));
        w.findChild<QPushButton*>(QStringLiteral("exportPng"))->click();
        const QImage png(answer);
        QVERIFY(!png.isNull());
        QCOMPARE(png.size(), w.chart().plot()->size());
        answer = dir.filePath(QStringLiteral("stats.csv"));
        w.findChild<QPushButton*>(QStringLiteral("exportStatsCsv"))->click();
        QFile csv(answer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows[1], QByteArray("A,,,,6,2,2.25,1,3,2.041666667,0.7144345083,,,\r"));
        QCOMPARE(asked, (QList<TrendWindow::FileAsk>{TrendWindow::FileAsk::SavePng, TrendWindow::FileAsk::SaveStatsCsv}));
        answer = dir.filePath(QStringLiteral("no/such/dir/stats.csv"));
        w.findChild<QPushButton*>(QStringLiteral("exportStatsCsv"))->click();
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QDir::toNativeSeparators(answer)));
    }

    void redrawsCoalesced() {
        TrendWindow w(data());
        w.show();
        w.redrawNow();
        const int before = w.chart().fullDrawings();
        for (int i = 0; i < 300; ++i) w.addCycle(Cycle(i + 1, {std::sin(i * 0.1), NoValue, NoValue, NoValue}));
        // Nothing is drawn while the cycles come in...
        QCOMPARE(w.chart().fullDrawings(), before);
        QVERIFY(w.chart().shownPoints(0).size() < 300);
        // ...the timer draws them once.
        QTRY_COMPARE_WITH_TIMEOUT(w.chart().shownPoints(0).size(), 300, 2000);
        QTRY_VERIFY(!w.chart().fullPending());
        QCOMPARE(w.chart().fullDrawings(), before + 1);
        QVERIFY(StatsLabel(w, u'A').startsWith(QStringLiteral("数 300 ")));
        // Closing hides the window; it keeps its data.
        w.close();
        QVERIFY(!w.isVisible());
        QCOMPARE(w.log().stats(0).count(), 300);
    }
};

QTEST_MAIN(TstTrendWindow)
#include "tst_trendwindow.moc"
