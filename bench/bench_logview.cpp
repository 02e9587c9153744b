// The log window's share of one logged cycle, the reset of a full grid, and
// the memory a full grid takes.
#include "GuiBenchMain.h"
#include "engine/output/FileSinks.h"
#include "view/AMLogForm.h"
#include "view/LogTableModel.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <unistd.h>

using namespace qm;

using qm::AMLogForm;

namespace {
constexpr int kLogRows = qm::LogTableModel::LogRows;

CycleRecord Record(int32_t c) {
    return MakeCycleRecord(c, {1.234567e-3 * c, -0.5 - c, 2.5e6 + c, c % 7 ? 0.000123 * c : 9.9e37},
                           QDateTime::currentDateTime());
}

MeasItemArray Items() {
    return MeasItemArray{MeasItemRecord{"C1", "MAX", "V"}, MeasItemRecord{"C2", "DUTY", "%"},
                         MeasItemRecord{"M1", "P-P", "s"}, MeasItemRecord{"C3", "INTEGRAL", "As"}};
}

// Logs every row of the grid once, as a run of 10000 cycles would.
void FillAllRows(AMLogForm& form) {
    form.setItems(Items());
    for (int32_t c = 1; c <= kLogRows; ++c) form.addRecord(Record(c));
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

// One logged cycle's local work: the record, the window's update and the
// CSV append. Argument 0: an empty grid; 1: every row filled.
void BM_LoggedCycle(benchmark::State& state) {
    AMLogForm form;
    form.show();
    if (state.range(0) != 0) FillAllRows(form);
    QCoreApplication::processEvents();
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bench_AM_LOG.csv"));
    LogCsvSink sink;
    sink.measItemsRead(Items());
    int32_t n = 0;
    for (auto _ : state) {
        const CycleRecord r = Record(1 + n % kLogRows);
        form.addRecord(r);
        if (!sink.cycleLogged(r, name).ok()) state.SkipWithError("append failed");
        QCoreApplication::processEvents();  // the changed cells' repaint
        ++n;
    }
    state.counters["file_bytes"] = double(QFile(name).size());
}
BENCHMARK(BM_LoggedCycle)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The clear button's grid reset on a full grid.
void BM_ResetFullGrid(benchmark::State& state) {
    AMLogForm form;
    form.show();
    for (auto _ : state) {
        state.PauseTiming();
        FillAllRows(form);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        form.clear();
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
        const long rssBefore = ResidentBytes();
        const double heapBefore = HeapInUse();
        auto form = std::make_unique<AMLogForm>();
        FillAllRows(*form);
        state.counters["heap_bytes"] = HeapInUse() - heapBefore;
        state.counters["rss_bytes"] = double(ResidentBytes() - rssBefore);
    }
}
BENCHMARK(BM_FullGridMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
}  // namespace

QM_GUI_BENCHMARK_MAIN()
