// The log window's share of one logged cycle, the reset of a full grid, and
// the memory a full grid takes.
#include "logview/AMLogForm.h"
#include "logview/FlexGrid.h"
#include "logview/LogFile.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <malloc.h>
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
    RunState() {
        for (int32_t c = 0; c <= LogMaxCycle; ++c)
            (*AMLog)[size_t(c)] = AMLogRecord{c, {1.234567e-3 * c, -0.5 - c, 2.5e6 + c, c % 7 ? 0.000123 * c : 9.9e37}};
    }
    LogViewRefs Refs() { return LogViewRefs{*AMLog, CycleNo, LogGridRow, MeasItem, DsoConfig}; }
};

// Logs every row of the grid once, as a run of 10000 cycles would.
void FillAllRows(AMLogForm& form, RunState& s) {
    for (s.CycleNo = 1, s.LogGridRow = AMLogForm::LogHeaderRows; s.LogGridRow < form.AMLogGrid->Rows();
         ++s.CycleNo, ++s.LogGridRow)
        form.Form_Paint();
}

long ResidentBytes() {
    long size = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

// Bytes the heap has handed out and not taken back.
double HeapInUse() { return double(mallinfo2().uordblks); }

// One logged cycle's local work: the window's update and the CSV append.
// Argument 0: an empty grid, rows near the top; 1: every row filled, rows
// near the end of the grid.
void BM_LoggedCycle(benchmark::State& state) {
    RunState s;
    AMLogForm form(s.Refs());
    form.show();
    const bool full = state.range(0) != 0;
    if (full) FillAllRows(form, s);
    QCoreApplication::processEvents();
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bench_AM_LOG.csv"));
    const int firstRow = full ? 9905 : AMLogForm::LogHeaderRows;
    int32_t n = 0;
    for (auto _ : state) {
        s.CycleNo = 1 + n % LogMaxCycle;
        s.LogGridRow = firstRow + n % 100;
        form.Form_Paint();
        if (!AppendLogRowToFile(name, *form.AMLogGrid, s.LogGridRow)) state.SkipWithError("append failed");
        QCoreApplication::processEvents();  // the changed cells' repaint
        ++n;
    }
    state.counters["file_bytes"] = double(QFile(name).size());
}
BENCHMARK(BM_LoggedCycle)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The clear button's grid reset on a full grid.
void BM_ResetFullGrid(benchmark::State& state) {
    RunState s;
    AMLogForm form(s.Refs());
    form.show();
    for (auto _ : state) {
        state.PauseTiming();
        FillAllRows(form, s);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        form.ResetGrid();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_ResetFullGrid)->Unit(benchmark::kMillisecond)->Iterations(5);

// Memory of a window whose grid holds 10000 logged rows: heap in use and
// resident size before and after (the resident growth is low when earlier
// benchmarks left freed memory in the heap; run it alone with
// --benchmark_filter=Memory for that figure).
void BM_FullGridMemory(benchmark::State& state) {
    for (auto _ : state) {
        RunState s;
        const long rssBefore = ResidentBytes();
        const double heapBefore = HeapInUse();
        auto form = std::make_unique<AMLogForm>(s.Refs());
        FillAllRows(*form, s);
        state.counters["heap_bytes"] = HeapInUse() - heapBefore;
        state.counters["rss_bytes"] = double(ResidentBytes() - rssBefore);
    }
}
BENCHMARK(BM_FullGridMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
