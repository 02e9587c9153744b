#pragma once
// main() of a benchmark program that needs a QApplication (windows, charts):
// the offscreen platform unless another is set, then Google Benchmark.
#include <QApplication>
#include <benchmark/benchmark.h>

#define QM_GUI_BENCHMARK_MAIN()                                                                      \
    int main(int argc, char** argv) {                                                                \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen"); \
        QApplication app(argc, argv);                                                                \
        benchmark::Initialize(&argc, argv);                                                          \
        if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;                            \
        benchmark::RunSpecifiedBenchmarks();                                                         \
        benchmark::Shutdown();                                                                       \
        return 0;                                                                                    \
    }
