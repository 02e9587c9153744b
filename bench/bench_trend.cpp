// The trend window's cost on the GUI thread with 10000 cycles per slot shown:
// one more cycle with its drawing (most go to the top layer only, some need a
// full drawing), a full drawing alone, and opening a 10000-cycle log file.
#include "GuiBenchMain.h"
#include "view/trend/TrendWindow.h"

#include "engine/text/AnsiText.h"
#include "engine/text/DateTimeText.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace qm;

namespace {
const QDateTime T0(QDate(2024, 5, 1), QTime(9, 0, 0));

// Noisy values as a stable signal gives them: the value axis follows the
// noise, so every cycle's line spans much of the chart's height, the costly
// case. B has a gap every 50 cycles.
std::array<double, 4> Values(int i) {
    const double noise = ((i * 7919) % 13 - 6) / 6.0;
    return {1.25e-3 + 0.03e-3 * std::sin(i * 0.05) + 0.01e-3 * noise,
            i % 50 == 0 ? NoValue : 50 + 0.5 * std::sin(i * 0.01) + 0.1 * noise,
            2.5e-6 * (1 + 0.1 * ((i * 31) % 7)),
            0.707 + 0.01 * noise};
}

CycleRecord Cycle(int i) { return MakeCycleRecord(i, Values(i), T0.addSecs(i)); }

void Fill(TrendWindow& w, int n) {
    w.setItems({MeasItemRecord{"C1", "MAX", "V"}, MeasItemRecord{"C2", "DUTY", "%"}, MeasItemRecord{"M1", "P-P", "s"},
                MeasItemRecord{"C3", "RMS", "V"}});
    for (int i = 1; i <= n; ++i) w.addCycle(Cycle(i));
    w.redrawNow();
    QCoreApplication::processEvents();
}

void Percentiles(benchmark::State& state, std::vector<double>& ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p99_ms"] = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    state.counters["max_ms"] = ms.back();
}

// One more cycle with 10000 shown per slot, drawn and painted before the next:
// what a run costs the GUI thread per cycle when every cycle is drawn at once.
// Limits on A put some of its points outside (red marks).
void BM_AddCycleShown(benchmark::State& state) {
    QTemporaryDir data;
    TrendWindow w(data.path());
    w.setLimits(0, 1.23e-3, 1.28e-3);
    w.show();
    Fill(w, TrendLog::MaxPoints);
    int i = TrendLog::MaxPoints;
    std::vector<double> ms;
    const int fullBefore = w.chart().fullDrawings();
    QElapsedTimer t;
    for (auto _ : state) {
        t.start();
        w.addCycle(Cycle(++i));
        w.redrawNow();
        QCoreApplication::processEvents();  // the paint of the plot and the statistics
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    Percentiles(state, ms);
    state.counters["full_share"] = double(w.chart().fullDrawings() - fullBefore) / double(state.iterations());
}
BENCHMARK(BM_AddCycleShown)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// A full drawing of 4 x 10000 points: the cost when the axes change.
void BM_FullDrawing(benchmark::State& state) {
    QWidget host;
    host.resize(730, 700);
    TrendChart chart(&host);
    chart.plot()->resize(host.size());
    TrendLog log;
    log.setLimits(0, 1.23e-3, 1.28e-3);
    for (int i = 1; i <= TrendLog::MaxPoints; ++i) log.add(Cycle(i));
    host.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        chart.invalidate();
        chart.redraw(log, true);
    }
}
BENCHMARK(BM_FullDrawing)->Unit(benchmark::kMillisecond);

// Opening a log file of 10000 cycles and showing it.
void BM_OpenLog10000(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench_AM_LOG.csv"));
    {
        QString text = QStringLiteral(",Time,A,B,C,D\r\nCh,,C1,C2,M1,C3\r\nType,,MAX,DUTY,P-P,RMS\r\nUnit,,V,%,s,V\r\n");
        for (int i = 1; i <= 10000; ++i) text += Cycle(i).logCells().join(QLatin1Char(',')) + QStringLiteral("\r\n");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(qm::ToAnsi(text)) <= 0) state.SkipWithError("cannot write the log");
    }
    TrendWindow w(dir.path());
    w.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        const QString error = w.loadLogFile(path);
        QCoreApplication::processEvents();
        if (!error.isEmpty()) state.SkipWithError(qPrintable(error));
    }
    state.counters["cycles"] = double(w.log().stats(0).cycles());
}
BENCHMARK(BM_OpenLog10000)->Unit(benchmark::kMillisecond);
}  // namespace

QM_GUI_BENCHMARK_MAIN()
