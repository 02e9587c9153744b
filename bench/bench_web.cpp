// What the web view (--serve) costs the run: a run of 200 cycles against
// quillmeter-sim (a process of its own) without the server, with the server
// and 8 event-stream clients reading, and with those plus one client that
// never reads; and the sink's own call per logged cycle on the worker thread.
#include "support/LoopbackSocket.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/web/WebServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include "SimProcess.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {


// Event-stream clients: `reading` of them read all the time, `stalled` never do.
struct Clients {
    std::atomic<bool> quit{false};
    std::atomic<long> bytes{0};
    std::vector<std::thread> threads;
    std::vector<int> fds;
    Clients(quint16 port, int reading, int stalled) {
        const std::string req = "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n";
        for (int i = 0; i < reading + stalled; ++i) {
            const int fd = ConnectLoopback(port, i < reading ? 0 : 1024);
            [[maybe_unused]] auto w = ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
            fds.push_back(fd);
            if (i >= reading) continue;
            threads.emplace_back([this, fd] {
                char buf[16384];
                while (!quit) {
                    pollfd p{fd, POLLIN, 0};
                    if (::poll(&p, 1, 50) <= 0) continue;
                    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                    if (n <= 0) break;
                    bytes += n;
                }
            });
        }
    }
    ~Clients() {
        quit = true;
        for (auto& t : threads) t.join();
        for (int fd : fds) ::close(fd);
    }
};

constexpr int kCycles = 200;

// ms per cycle of a 200-cycle run with the log on; arg 0: no server, 1: the
// server and 8 reading clients, 2: those and one client that never reads.
void BM_RunCycle(benchmark::State& state) {
    const int mode = int(state.range(0));
    SimProcess sim;
    AutoQuestions ask;
    QTemporaryDir dir;
    WebServer web;
    Session session;
    LogCsvSink logFile;
    session.addSink(&logFile);
    std::unique_ptr<Clients> clients;
    if (mode > 0) {
        web.start({});
        web.watch(&session.live());
        session.addSink(&web);
        clients = std::make_unique<Clients>(web.port(), 8, mode == 2 ? 1 : 0);
        QElapsedTimer wait;
        wait.start();
        while (web.subscriberCount() < size_t(mode == 2 ? 9 : 8) && wait.elapsed() < 5000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    RunRequest request;
    request.address = QStringLiteral("127.0.0.1");
    request.tcpPort = sim.port;
    request.repeatText = QString::number(kCycles);
    request.dataFolder = dir.path();
    session.live().update([&](LiveValues& v) {
        v.log = true;
        v.intervalText = QStringLiteral("0");
        v.folder = dir.path();
        v.header = QStringLiteral("B");
    });
    double totalMs = 0;
    for (auto _ : state) {
        session.clear();
        QSignalSpy finished(&session, &Session::runFinished);
        QElapsedTimer clock;
        clock.start();
        session.start(request, ask);
        finished.wait(600000);
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        totalMs += clock.nsecsElapsed() / 1e6;
    }
    state.counters["ms_per_cycle"] = benchmark::Counter(totalMs / kCycles, benchmark::Counter::kAvgIterations);
    if (clients) state.counters["subscribers_at_end"] = double(web.subscriberCount());
    if (clients) state.counters["dropped"] = double(web.droppedCount());
    session.shutdown();
}
BENCHMARK(BM_RunCycle)->Arg(0)->Arg(1)->Arg(2)->Arg(0)->Arg(1)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The sink's call for one logged cycle (on the worker thread), with arg
// event-stream clients reading over loopback.
void BM_SinkCycleLogged(benchmark::State& state) {
    WebServer web;
    web.start({});
    Clients clients(web.port(), int(state.range(0)), 0);
    while (web.subscriberCount() < size_t(state.range(0))) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    RunStartInfo info;
    info.started = QDateTime::currentDateTime();
    web.runStarted(info);
    const std::array<double, 4> v{1.25e-3, 3.0, 49.7, 1.2e-3};
    std::vector<double> us;
    int cycle = 0;
    for (auto _ : state) {
        const CycleRecord r = MakeCycleRecord(++cycle, v, QDateTime::currentDateTime());
        const auto t0 = std::chrono::steady_clock::now();
        web.cycleLogged(r, {});
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        // Cycles come no faster than a real run's; the clients read meanwhile.
        if (cycle % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    state.counters["dropped"] = double(web.droppedCount());
}
BENCHMARK(BM_SinkCycleLogged)->Arg(0)->Arg(8)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
