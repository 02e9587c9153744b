// The run against quillmeter-sim (a process of its own): the cost of a cycle
// compared with a minimal blocking client sending the same commands to the
// same simulator, the CPU that waiting for a trigger or the interval takes,
// how late a stop is seen, and how long the GUI thread can stall during a run
// with 1 MB screen images and a 1 M-row waveform file.
#include "GuiBenchMain.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Session.h"
#include "engine/run/Questions.h"
#include "view/MainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <arpa/inet.h>
#include "SimProcess.h"

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm;

namespace {

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}


struct Rig {
    AutoQuestions ask;
    QTemporaryDir dir;
    Session session;
    RunRequest request;
    explicit Rig(quint16 port, const QString& repeat, const QString& interval) {
        request.address = QStringLiteral("127.0.0.1");
        request.tcpPort = port;
        request.repeatText = repeat;
        request.dataFolder = dir.path();
        session.live().update([&](LiveValues& v) {
            v.intervalText = interval;
            v.folder = dir.path();
            v.header = QStringLiteral("B");
        });
    }
    // Starts; returns the time the run took (ms), stopping it after `stopAfterMs` when > 0.
    double run(int stopAfterMs, double* stopLatencyMs = nullptr, double* cpuPercent = nullptr) {
        QSignalSpy finished(&session, &Session::runFinished);
        QElapsedTimer clock;
        qint64 stopAt = 0;
        double cpuAtStop = 0, cpuFrom = 0;
        if (stopAfterMs > 0) {
            QTimer::singleShot(300, [&] { cpuFrom = CpuSeconds(); });
            QTimer::singleShot(stopAfterMs, [&] {
                cpuAtStop = CpuSeconds();
                stopAt = clock.nsecsElapsed();
                session.stop();
            });
        }
        clock.start();
        session.start(request, ask);
        finished.wait(600000);
        const qint64 end = clock.nsecsElapsed();
        if (stopLatencyMs) *stopLatencyMs = (end - stopAt) / 1e6;
        if (cpuPercent) *cpuPercent = 100.0 * (cpuAtStop - cpuFrom) / ((stopAfterMs - 300) / 1000.0);
        return end / 1e6;
    }
};

int Connect(quint16 port) {
    int c = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return c;
}
void Send(int c, const std::string& cmd) {
    const std::string out = cmd + "\n";
    [[maybe_unused]] auto w = ::write(c, out.data(), out.size());
}
std::string Query(int c, const std::string& cmd) {
    Send(c, cmd);
    std::string line;
    char ch;
    while (::read(c, &ch, 1) == 1 && ch != '\n') line += ch;
    return line;
}

constexpr int kCycles = 200;

// A minimal blocking client: the commands of a cycle, nothing else.
void BM_Cycle_MinimalClient(benchmark::State& state) {
    SimProcess sim;
    int c = Connect(sim.port);
    for (auto _ : state) {
        for (int k = 0; k < kCycles; ++k) {
            Query(c, "DATE?");
            Send(c, "DISP OFF");
            Query(c, "TESR?");
            Send(c, "WSGL");
            while ((std::atoi(Query(c, "TESR?").c_str()) & 1) == 0) {
            }
        }
    }
    ::close(c);
    state.counters["ms_per_cycle"] = benchmark::Counter(double(kCycles) * state.iterations() / 1000.0,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Cycle_MinimalClient)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same cycles through the session (connection and snapshot included).
void BM_Cycle_Quillmeter(benchmark::State& state) {
    SimProcess sim;
    for (auto _ : state) {
        Rig rig(sim.port, QString::number(kCycles), QStringLiteral("0"));
        rig.run(0);
    }
    state.counters["ms_per_cycle"] = benchmark::Counter(double(kCycles) * state.iterations() / 1000.0,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Cycle_Quillmeter)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A trigger that never comes: our process's CPU share over 10 s, and how
// late the stop is seen.
void BM_TriggerWait(benchmark::State& state) {
    SimProcess sim({QStringLiteral("--trigger-polls"), QStringLiteral("-1")});
    double latency = 0, cpu = 0;
    for (auto _ : state) {
        Rig rig(sim.port, QStringLiteral("1"), QStringLiteral("0"));
        rig.run(10000, &latency, &cpu);
    }
    state.counters["cpu_percent"] = cpu;
    state.counters["stop_seen_after_ms"] = latency;
}
BENCHMARK(BM_TriggerWait)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// How late a trigger is seen: the simulator triggers `delay` ms after the
// arming; the cycle's extra time over that is the latency of the poll.
void BM_TriggerSeen(benchmark::State& state) {
    const int delay = int(state.range(0));
    SimProcess sim({QStringLiteral("--trigger-polls"), QStringLiteral("0"), QStringLiteral("--trigger-delay-ms"),
                    QString::number(delay)});
    SimProcess quick({QStringLiteral("--trigger-polls"), QStringLiteral("0")});
    double late = 0;
    for (auto _ : state) {
        Rig base(quick.port, QStringLiteral("5"), QStringLiteral("0"));
        const double plain = base.run(0);
        Rig rig(sim.port, QStringLiteral("5"), QStringLiteral("0"));
        late = (rig.run(0) - plain) / 5 - delay;
    }
    state.counters["seen_late_ms"] = late;
}
BENCHMARK(BM_TriggerSeen)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The interval: one timer to the deadline. CPU share over a 10 s wait.
void BM_IntervalWait(benchmark::State& state) {
    SimProcess sim;
    double latency = 0, cpu = 0;
    for (auto _ : state) {
        Rig rig(sim.port, QStringLiteral("2"), QStringLiteral("30"));
        rig.run(10300, &latency, &cpu);
    }
    state.counters["cpu_percent"] = cpu;
    state.counters["stop_seen_after_ms"] = latency;
}
BENCHMARK(BM_IntervalWait)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A query the instrument never answers: how late the stop is seen.
void BM_StopDuringSilentQuery(benchmark::State& state) {
    SimProcess sim({QStringLiteral("--silent"), QStringLiteral("DATE?")});
    double latency = 0;
    for (auto _ : state) {
        Rig rig(sim.port, QStringLiteral("1"), QStringLiteral("0"));
        rig.run(1000, &latency);
    }
    state.counters["stop_seen_after_ms"] = latency;
}
BENCHMARK(BM_StopDuringSilentQuery)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The window during a run with the display image (~900 kB BMP), the saved
// PNG and a 1,000,000-row waveform file per cycle: the longest gap between
// ticks of a 5 ms GUI-thread timer.
void BM_GuiStall(benchmark::State& state) {
    SimProcess sim({QStringLiteral("--record-length"), QStringLiteral("1000000")});
    double worst = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        Session session;
        ScreenFileSink screens;
        WaveCsvSink waves;
        session.addSink(&screens);
        session.addSink(&waves);
        qm::ViewOptions o;
        o.dataFolder = dir.path();
        o.tcpPort = sim.port;
        o.waveform = true;
        o.assumeYes = true;
        qm::ViewSettings s;
        s.controls.usb = false;
        s.controls.manual = false;
        s.controls.screenSave = true;
        s.controls.ipAddress = QStringLiteral("127.0.0.1");
        s.controls.repeat = QStringLiteral("3");
        s.controls.interval = QStringLiteral("0");
        s.controls.folder = dir.path();
        qm::MainForm f(session, o, s);
        f.show();
        QElapsedTimer gap;
        qint64 longest = 0;
        QTimer tick;
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, gap.restart());
        });
        QSignalSpy finished(&f, &qm::MainForm::runFinished);
        gap.start();
        tick.start();
        f.startRun();
        finished.wait(600000);
        worst = double(longest);
    }
    state.counters["longest_gui_gap_ms"] = worst;
}
BENCHMARK(BM_GuiStall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

QM_GUI_BENCHMARK_MAIN()
