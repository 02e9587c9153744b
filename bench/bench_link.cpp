// Costs of the instrument link: a query round trip over loopback TCP against
// a plain blocking-socket client, a command followed at once by a query
// (no delayed-acknowledgement stall), binary blocks of 1 MB and 10 MB, and
// what a waiting run costs (CPU share, how fast a stop is seen).
#include "common/EventWait.h"
#include "link/BlockRead.h"
#include "link/CommPort.h"
#include "link/CommandLink.h"
#include "link/SockControl.h"
#include "link/TcpTransport.h"
#include "run/Waits.h"
#include "sim/SimInstrument.h"
#include "sim/SimTcpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A trivial instrument on its own thread: "?" lines get "1\n", "BLOCK<n>?"
// gets a block of n bytes, other lines nothing.
class EchoServer {
public:
    EchoServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~EchoServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    int port() const { return port_; }

private:
    void Serve() {
        while (!stop_) {
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string line;
            char buf[4096];
            for (;;) {
                ssize_t n = ::read(c, buf, sizeof buf);
                if (n <= 0) break;
                for (ssize_t i = 0; i < n; ++i) {
                    if (buf[i] != '\n') {
                        line += buf[i];
                        continue;
                    }
                    if (line.rfind("BLOCK", 0) == 0) {
                        const long size = std::stol(line.substr(5));
                        char head[16];
                        std::snprintf(head, sizeof head, "#8%08ld", size);
                        std::string block(head);
                        block.append(static_cast<size_t>(size), 'x');
                        block += '\n';
                        WriteAll(c, block);
                    } else if (!line.empty() && line.back() == '?') {
                        WriteAll(c, "1\n");
                    }
                    line.clear();
                }
            }
            ::close(c);
        }
    }
    static void WriteAll(int c, const std::string& s) {
        size_t off = 0;
        while (off < s.size()) {
            ssize_t w = ::write(c, s.data() + off, s.size() - off);
            if (w <= 0) return;
            off += static_cast<size_t>(w);
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

EchoServer& Server() {
    static EchoServer s;
    return s;
}

struct QtLink {
    CommPort port;
    SockControl sock;
    int16_t mode = 1;
    Link link{mode, port, sock};
    QtLink() { LinkToSLA(sock, QStringLiteral("127.0.0.1"), QString::number(Server().port())); }
};

int BlockingConnect() {
    int c = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(Server().port()));
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return c;
}

std::string BlockingQuery(int c, const std::string& cmd) {
    const std::string out = cmd + "\n";
    [[maybe_unused]] auto w = ::write(c, out.data(), out.size());
    std::string line;
    char ch;
    while (::read(c, &ch, 1) == 1 && ch != '\n') line += ch;
    return line;
}

void BM_SendGetResp_Quillmeter(benchmark::State& state) {
    QtLink q;
    for (auto _ : state) benchmark::DoNotOptimize(SendGetResp(q.link, QStringLiteral("TESR?"), 10.0f, 80));
}
BENCHMARK(BM_SendGetResp_Quillmeter)->UseRealTime();

void BM_Query_PlainBlockingSocket(benchmark::State& state) {
    int c = BlockingConnect();
    for (auto _ : state) benchmark::DoNotOptimize(BlockingQuery(c, "TESR?"));
    ::close(c);
}
BENCHMARK(BM_Query_PlainBlockingSocket)->UseRealTime();

// "WSGL" then at once "TESR?": must cost about one round trip, not a
// delayed acknowledgement (40 ms on Linux).
void BM_CommandThenQuery_Quillmeter(benchmark::State& state) {
    QtLink q;
    for (auto _ : state) {
        SendToDSO(q.link, QStringLiteral("WSGL"));
        benchmark::DoNotOptimize(SendGetResp(q.link, QStringLiteral("TESR?"), 10.0f, 80));
    }
}
BENCHMARK(BM_CommandThenQuery_Quillmeter)->UseRealTime();

void BlockQt(benchmark::State& state) {
    QtLink q;
    const QString cmd = QStringLiteral("BLOCK%1").arg(state.range(0));
    QByteArray bd;
    for (auto _ : state) {
        SendToDSO(q.link, cmd);
        benchmark::DoNotOptimize(ReadBlockTcp(q.sock, bd, kWaveBlockLimit));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BlockQt)->Name("BM_Block_Quillmeter")->Arg(1000000)->Arg(10000000)->UseRealTime();

void BlockPlain(benchmark::State& state) {
    int c = BlockingConnect();
    const std::string cmd = "BLOCK" + std::to_string(state.range(0)) + "\n";
    std::vector<char> bd;
    for (auto _ : state) {
        [[maybe_unused]] auto w = ::write(c, cmd.data(), cmd.size());
        char head[10];
        size_t got = 0;
        while (got < 10) got += static_cast<size_t>(::read(c, head + got, 10 - got));
        const long n = std::strtol(std::string(head + 2, 8).c_str(), nullptr, 10);
        bd.resize(static_cast<size_t>(n) + 1);
        got = 0;
        while (got < bd.size()) got += static_cast<size_t>(::read(c, bd.data() + got, bd.size() - got));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    ::close(c);
}
BENCHMARK(BlockPlain)->Name("BM_Block_PlainBlockingSocket")->Arg(1000000)->Arg(10000000)->UseRealTime();

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A run waiting for its interval: CPU share, and how late a stop is seen.
void BM_IntervalWait(benchmark::State& state) {
    const double seconds = static_cast<double>(state.range(0));
    double cpu = 0, wall = 0, latency = 0;
    for (auto _ : state) {
        int16_t stop = 0;
        QElapsedTimer clock;
        qint64 stopAt = 0;
        QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
            stop = -1;
            stopAt = clock.nsecsElapsed();
        });
        const float wait = static_cast<float>(seconds * 10);  // the stop ends it
        const double c0 = CpuSeconds();
        clock.start();
        WaitInterval(wait, stop);
        const qint64 end = clock.nsecsElapsed();
        cpu += CpuSeconds() - c0;
        wall += end / 1e9;
        latency += (end - stopAt) / 1e6;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["stop_seen_after_ms"] = latency / state.iterations();
}
BENCHMARK(BM_IntervalWait)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A run waiting for a trigger that does not come (the simulated instrument
// answers "0" to every poll): CPU share of our process and stop latency.
void BM_TriggerWait(benchmark::State& state) {
    qmsim::SimInstrument sim;
    sim.config().triggerPolls = -1;
    qmsim::SimTcpServer server(&sim);
    server.listen(QHostAddress::LocalHost, 0);
    CommPort port;
    SockControl sock;
    int16_t mode = 1;
    Link link{mode, port, sock};
    LinkToSLA(sock, QStringLiteral("127.0.0.1"), QString::number(server.port()));
    double cpu = 0, wall = 0, latency = 0;
    for (auto _ : state) {
        int16_t stop = 0;
        QElapsedTimer clock;
        qint64 stopAt = 0;
        QTimer::singleShot(static_cast<int>(state.range(0) * 1000), [&] {
            stop = -1;
            stopAt = clock.nsecsElapsed();
        });
        const double c0 = CpuSeconds();
        clock.start();
        WaitForTrigger(link, 10.0f, stop);
        const qint64 end = clock.nsecsElapsed();
        cpu += CpuSeconds() - c0;
        wall += end / 1e9;
        latency += (end - stopAt) / 1e6;
    }
    state.counters["cpu_percent_incl_sim"] = 100.0 * cpu / wall;
    state.counters["stop_seen_after_ms"] = latency / state.iterations();
    state.counters["polls"] = sim.received().count(QStringLiteral("TESR?"));
}
BENCHMARK(BM_TriggerWait)->Arg(5)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
