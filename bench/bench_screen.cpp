// The screen image on a slow link: one cycle with DS画面表示 and DS画面格納
// both ticked, against quillmeter-sim (a process of its own) pacing its
// output like a real line, with the display taking BMP (the design's two
// transfers a cycle) and then PNG (表示にも PNG を使う: one transfer). Run
// by hand: at 38400 baud the BMP cycle alone takes about four minutes.
//
//   build-rel/bench/bench_screen
//
// Counters: the cycle's seconds with BMP and with PNG for the display, their
// ratio, and the bytes of each image as the instrument sent them.
#include "GuiBenchMain.h"
#include "SimProcess.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <chrono>
#include <mutex>

using namespace qm;

namespace {

using Clock = std::chrono::steady_clock;

// Times the cycle on the worker thread: from "トリガ待ちです" to the count's step.
class CycleClock : public RunSink {
public:
    void statusChanged(const QString& text, StatusKind) override {
        if (text == QStringLiteral("トリガ待ちです")) start_ = Clock::now();
    }
    void cycleNumberChanged(int32_t) override { end_ = Clock::now(); }
    double seconds() const { return std::chrono::duration<double>(end_ - start_).count(); }

private:
    Clock::time_point start_, end_;
};

struct CycleResult {
    double seconds = 0;
    qint64 displayBytes = 0;
    qint64 savedBytes = 0;
    QString problem;  // empty when the run ended normally with both images written
};

// One cycle with both boxes ticked; the display in PNG or BMP.
CycleResult OneCycle(const SimProcess& sim, bool pngForDisplay) {
    QTemporaryDir dir;
    AutoQuestions ask;
    ScreenFileSink screens;
    CycleClock clock;
    Session session;
    session.addSink(&screens);
    session.addSink(&clock);
    RunRequest request;
    if (!sim.pty.isEmpty()) {
        qputenv("QUILLMETER_COM9", sim.pty.toLocal8Bit());
        request.serial = true;
        request.comText = QStringLiteral("COM9");
    } else {
        request.address = QStringLiteral("127.0.0.1");
        request.tcpPort = sim.port;
    }
    request.repeatText = QStringLiteral("1");
    request.dataFolder = dir.path();
    request.screenPngForDisplay = pngForDisplay;
    session.live().update([&](LiveValues& v) {
        v.intervalText = QStringLiteral("0");
        v.folder = dir.path();
        v.header = QStringLiteral("B");
        v.screenShow = true;
        v.screenSave = true;
    });
    QSignalSpy finished(&session, &Session::runFinished);
    session.start(request, ask);
    finished.wait(900000);
    CycleResult r;
    r.seconds = clock.seconds();
    r.displayBytes = QFileInfo(QDir(dir.path()).filePath(pngForDisplay ? "BufferFile.png" : "BufferFile.bmp")).size();
    r.savedBytes = QFileInfo(QDir(dir.path()).filePath("B_00001.png")).size();
    if (finished.isEmpty()) r.problem = QStringLiteral("the run did not end");
    else if (const RunEndInfo end = finished.first().first().value<RunEndInfo>(); end.outcome != RunOutcome::Normal)
        r.problem = QStringLiteral("the run ended with: ") + end.message;
    else if (r.displayBytes <= 0 || r.savedBytes <= 0) r.problem = QStringLiteral("an image was not written");
    session.shutdown();
    return r;
}

// Arguments: the line's baud rate (quillmeter-sim --baud), and 1 for the
// serial link (a pty) or 0 for TCP.
void BM_ScreenCycle(benchmark::State& state) {
    const int baud = int(state.range(0));
    const bool serial = state.range(1) != 0;
    QStringList args{QStringLiteral("--baud"), QString::number(baud)};
    if (serial) args << QStringLiteral("--pty");
    SimProcess sim(args);
    CycleResult bmp, png;
    for (auto _ : state) {
        bmp = OneCycle(sim, false);
        png = OneCycle(sim, true);
    }
    if (sim.p.state() != QProcess::Running)
        state.SkipWithError(("quillmeter-sim has ended: " + sim.p.errorString().toStdString()).c_str());
    for (const CycleResult* r : {&bmp, &png})
        if (!r->problem.isEmpty()) state.SkipWithError(((r == &bmp ? "BMP: " : "PNG: ") + r->problem.toStdString()).c_str());
    state.counters["bmp_display_s"] = bmp.seconds;
    state.counters["png_display_s"] = png.seconds;
    state.counters["ratio"] = png.seconds > 0 ? bmp.seconds / png.seconds : 0;
    state.counters["bmp_bytes"] = double(bmp.displayBytes);
    state.counters["png_bytes"] = double(png.displayBytes);
}
// A USB virtual serial port at the instrument's 38400 baud.
BENCHMARK(BM_ScreenCycle)->Args({38400, 1})->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
// TCP at 10 MB/s, about what a 100 Mbit/s network carries.
BENCHMARK(BM_ScreenCycle)->Args({100000000, 0})->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

QM_GUI_BENCHMARK_MAIN()
