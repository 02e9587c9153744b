// What the web view (--serve) costs the run, in the process's own CPU time
// (CLOCK_PROCESS_CPUTIME_ID: every thread of this process, the run's worker,
// the main thread and the server's): runs of 200 cycles with the log on
// against quillmeter-sim (a process of its own), without the server, with
// the server and no reader, and with the server and 8 event-stream readers,
// one after the other in every round so that the machine's drift falls on
// all three alike. The readers are a child process (this program started
// with --readers), so their reading is not counted. Also the sink's own call
// per logged cycle on the worker thread, with 0 and 8 readers, and the time
// an answer of /api/status, /api/stats and /metrics takes.
#include "support/LoopbackSocket.h"
#include "engine/output/FileSinks.h"
#include "engine/run/Questions.h"
#include "engine/run/Session.h"
#include "engine/web/WebServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "SimProcess.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The child process: `n` event-stream clients of the server on `port` that
// read all the time, until its standard input closes.
int RunReaders(quint16 port, int n) {
    const std::string req = "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n";
    std::vector<pollfd> fds;
    for (int i = 0; i < n; ++i) {
        const int fd = ConnectLoopback(port);
        if (fd < 0 || ::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size())) return 1;
        fds.push_back({fd, POLLIN, 0});
    }
    fds.push_back({STDIN_FILENO, POLLIN, 0});
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char buf[65536];
    for (;;) {
        if (::poll(fds.data(), nfds_t(fds.size()), 1000) < 0) return 1;
        for (auto& p : fds) {
            if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            if (::read(p.fd, buf, sizeof buf) <= 0) {
                if (p.fd == STDIN_FILENO) return 0;
                p.fd = -1;  // the server ended this stream
            }
        }
    }
}

// The readers' process, started with this program's --readers.
struct Readers {
    QProcess p;
    Readers(WebServer& web, int n) {
        if (n == 0) return;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--readers"), QString::number(web.port()), QString::number(n)});
        p.waitForReadyRead(10000);
        QElapsedTimer wait;
        wait.start();
        while (web.subscriberCount() < size_t(n) && wait.elapsed() < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Readers() {
        if (p.state() == QProcess::NotRunning) return;
        p.closeWriteChannel();
        if (!p.waitForFinished(5000)) p.kill();
    }
};

constexpr int kCycles = 200;

// One way of running: a session of its own, with or without the server.
struct Setup {
    Session session;
    LogCsvSink logFile;
    std::unique_ptr<WebServer> web;
    std::unique_ptr<Readers> readers;
    std::vector<double> cpuMs, wallMs;  // per round
    Setup(bool serve, int readerCount, const QString& folder) {
        session.addSink(&logFile);
        if (serve) {
            web = std::make_unique<WebServer>();
            web->start({});
            web->watch(&session.live());
            session.addSink(web.get());
            readers = std::make_unique<Readers>(*web, readerCount);
        }
        session.live().update([&](LiveValues& v) {
            v.log = true;
            v.intervalText = QStringLiteral("0");
            v.folder = folder;
            v.header = QStringLiteral("B");
        });
    }
    ~Setup() { session.shutdown(); }
};

// Process CPU per cycle: no server / the server and no reader / the server
// and 8 readers, interleaved round by round. Medians over the rounds, since
// other work on the machine inflates single runs (by up to 3x on a busy
// two-core machine); cpu_ratio_* compare the medians, *_rounds is the median
// of each round's own ratio.
void BM_WebCost(benchmark::State& state) {
    SimProcess sim;
    AutoQuestions ask;
    std::array<QTemporaryDir, 3> dirs;
    std::array<std::unique_ptr<Setup>, 3> setups{std::make_unique<Setup>(false, 0, dirs[0].path()),
                                                 std::make_unique<Setup>(true, 0, dirs[1].path()),
                                                 std::make_unique<Setup>(true, 8, dirs[2].path())};
    for (auto _ : state) {
        for (size_t m = 0; m < setups.size(); ++m) {
            Setup& s = *setups[m];
            RunRequest request;
            request.address = QStringLiteral("127.0.0.1");
            request.tcpPort = sim.port;
            request.repeatText = QString::number(kCycles);
            request.dataFolder = dirs[m].path();
            s.session.clear();
            QSignalSpy finished(&s.session, &Session::runFinished);
            QElapsedTimer clock;
            clock.start();
            const double cpu0 = ProcessCpuMs();
            s.session.start(request, ask);
            finished.wait(600000);
            s.cpuMs.push_back(ProcessCpuMs() - cpu0);
            s.wallMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const auto ratios = [&](const std::vector<double>& a, const std::vector<double>& b) {
        std::vector<double> r;
        for (size_t i = 0; i < a.size(); ++i) r.push_back(a[i] / b[i]);
        return median(r);
    };
    state.counters["cpu_ms_cycle_none"] = median(setups[0]->cpuMs) / kCycles;
    state.counters["cpu_ms_cycle_server"] = median(setups[1]->cpuMs) / kCycles;
    state.counters["cpu_ms_cycle_8readers"] = median(setups[2]->cpuMs) / kCycles;
    state.counters["cpu_ratio_server"] = median(setups[1]->cpuMs) / median(setups[0]->cpuMs);
    state.counters["cpu_ratio_8readers"] = median(setups[2]->cpuMs) / median(setups[0]->cpuMs);
    state.counters["cpu_ratio_8readers_rounds"] = ratios(setups[2]->cpuMs, setups[0]->cpuMs);
    state.counters["wall_ratio_8readers"] = ratios(setups[2]->wallMs, setups[0]->wallMs);
    state.counters["subscribers_at_end"] = double(setups[2]->web->subscriberCount());
    state.counters["dropped"] = double(setups[2]->web->droppedCount());
}
BENCHMARK(BM_WebCost)->Iterations(50)->Unit(benchmark::kMillisecond);

// The sink's call for one logged cycle (on the worker thread), with arg
// event-stream readers.
void BM_SinkCycleLogged(benchmark::State& state) {
    WebServer web;
    web.start({});
    Readers readers(web, int(state.range(0)));
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
        // Cycles come no faster than a real run's; the readers read meanwhile.
        if (cycle % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    state.counters["dropped"] = double(web.droppedCount());
}
BENCHMARK(BM_SinkCycleLogged)->Arg(0)->Arg(8)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// The routes a poller or a scraper asks, in turns on one kept-alive
// connection (so that the machine's drift falls on all alike), the feed
// holding a run of 1000 cycles (the page's log and statistics full): the
// wall time of each answer as a client sees it (the request, the server's
// thread making the text, the answer read), medians, the body's bytes, and
// /metrics (what a Prometheus scrape asks) against /api/status.
void BM_Routes(benchmark::State& state) {
    static const char* const paths[] = {"/api/status", "/api/stats", "/metrics"};
    static const char* const names[] = {"status", "stats", "metrics"};
    WebServer web;
    web.setStation(QStringLiteral("bench07"));
    web.start({});
    RunStartInfo info;
    info.started = QDateTime::currentDateTime();
    web.runStarted(info);
    MeasItemArray items;
    items[0] = {QStringLiteral("C1"), QStringLiteral("MAX"), QStringLiteral("V")};
    items[1] = {QStringLiteral("C1"), QStringLiteral("P-P"), QStringLiteral("V")};
    items[2] = {QStringLiteral("C2"), QStringLiteral("DUTY"), QStringLiteral("%")};
    items[3] = {QStringLiteral("C1"), QStringLiteral("INTEGRAL"), QStringLiteral("Vs")};
    web.measItemsRead(items);
    for (int c = 1; c <= 1000; ++c)
        web.cycleLogged(MakeCycleRecord(c, {1.25e-3 * c, 3.0, 49.7, 1.2e-3}, QDateTime::currentDateTime()), {});
    const int fd = ConnectLoopback(web.port());
    std::array<std::vector<double>, 3> us;
    std::array<size_t, 3> bodyBytes{};
    std::string got;
    char buf[65536];
    // One answer's wall time (µs); negative when it failed.
    const auto ask = [&](size_t route) {
        const std::string req = std::string("GET ") + paths[route] + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
        const auto t0 = std::chrono::steady_clock::now();
        if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size())) return -1.0;
        got.clear();
        size_t want = SIZE_MAX;
        while (got.size() < want) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return -1.0;
            got.append(buf, size_t(n));
            const size_t head = got.find("\r\n\r\n");
            if (want == SIZE_MAX && head != std::string::npos) {
                bodyBytes[route] = std::stoul(got.substr(got.find("Content-Length: ") + 16));
                want = head + 4 + bodyBytes[route];
            }
        }
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    };
    for (auto _ : state) {
        for (size_t route = 0; route < 3; ++route) {
            const double t = ask(route);
            if (t < 0) {
                state.SkipWithError("no whole answer");
                ::close(fd);
                return;
            }
            us[route].push_back(t);
        }
    }
    ::close(fd);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> ratio;
    for (size_t i = 0; i < us[0].size(); ++i) ratio.push_back(us[2][i] / us[0][i]);
    for (size_t route = 0; route < 3; ++route) {
        state.counters[std::string("us_") + names[route]] = median(us[route]);
        state.counters[std::string("bytes_") + names[route]] = double(bodyBytes[route]);
    }
    state.counters["ratio_metrics_status"] = median(ratio);
}
BENCHMARK(BM_Routes)->Iterations(3000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--readers") == 0) return RunReaders(quint16(std::atoi(argv[2])), std::atoi(argv[3]));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
