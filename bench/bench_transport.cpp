// The engine's TCP transport against a minimal blocking client, in the same
// run and against the same trivial instrument on its own thread: one query
// round trip ("TDIV?" -> "1.000E-03"), and a 1 MB block.
#include "engine/link/TcpTransport.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace qm;

namespace {

constexpr int kBlockBytes = 1000000;

// Answers every line ending in '?' with "1.000E-03\n", "BLK?" with a block
// of kBlockBytes; one connection at a time.
class Peer {
public:
    Peer() {
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
        block_ = "#8" + std::to_string(100000000 + kBlockBytes).substr(1) + std::string(kBlockBytes, 'w') + "\n";
        thread_ = std::thread([this] { serve(); });
    }
    ~Peer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    quint16 port() const { return port_; }

private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            int one = 1;
            ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string in;
            char buf[4096];
            for (;;) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                in.append(buf, size_t(n));
                for (size_t lf; (lf = in.find('\n')) != std::string::npos; in.erase(0, lf + 1)) {
                    const std::string line = in.substr(0, lf);
                    const std::string& out = line == "BLK?" ? block_ : answer_;
                    if (!line.empty() && line.back() == '?') sendAll(c, out);
                }
            }
            ::close(c);
        }
    }
    static void sendAll(int c, const std::string& s) {
        for (size_t sent = 0; sent < s.size();) {
            const ssize_t n = ::send(c, s.data() + sent, s.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += size_t(n);
        }
    }
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
    const std::string answer_ = "1.000E-03\n";
    std::string block_;
};

void TransportQuery(benchmark::State& state) {
    Peer peer;
    qm::StopToken stop;
    qm::OpenResult link = qm::OpenTcp(QStringLiteral("127.0.0.1"), peer.port(), stop);
    if (!link.transport) return state.SkipWithError("no connection");
    for (auto _ : state) {
        link.transport->write("TDIV?\n", stop);
        const qm::LineResult r = link.transport->readLine(80, 5.0, stop);
        if (r.line != "1.000E-03") return state.SkipWithError("wrong answer");
    }
    link.transport->close(qm::kCloseFlushMs);
}
BENCHMARK(TransportQuery)->UseRealTime();

// The least a client can do: blocking send, then recv until the LF.
int PlainConnect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : (::close(fd), -1);
}

void PlainSocketQuery(benchmark::State& state) {
    Peer peer;
    const int fd = PlainConnect(peer.port());
    if (fd < 0) return state.SkipWithError("no connection");
    char buf[256];
    for (auto _ : state) {
        ::send(fd, "TDIV?\n", 6, MSG_NOSIGNAL);
        size_t got = 0;
        while (got == 0 || buf[got - 1] != '\n') {
            const ssize_t n = ::recv(fd, buf + got, sizeof buf - got, 0);
            if (n <= 0) return state.SkipWithError("lost");
            got += size_t(n);
        }
    }
    ::close(fd);
}
BENCHMARK(PlainSocketQuery)->UseRealTime();

void TransportBlock(benchmark::State& state) {
    Peer peer;
    qm::StopToken stop;
    qm::OpenResult link = qm::OpenTcp(QStringLiteral("127.0.0.1"), peer.port(), stop);
    if (!link.transport) return state.SkipWithError("no connection");
    for (auto _ : state) {
        link.transport->write("BLK?\n", stop);
        const qm::BlockResult b = link.transport->readBlock(qm::kWaveBlockLimit, stop);
        if (b.data.size() != kBlockBytes) return state.SkipWithError("wrong block");
    }
    state.SetBytesProcessed(state.iterations() * kBlockBytes);
    link.transport->close(qm::kCloseFlushMs);
}
BENCHMARK(TransportBlock)->UseRealTime()->Unit(benchmark::kMillisecond);

void PlainSocketBlock(benchmark::State& state) {
    Peer peer;
    const int fd = PlainConnect(peer.port());
    if (fd < 0) return state.SkipWithError("no connection");
    std::string data(kBlockBytes + 11, '\0');
    for (auto _ : state) {
        ::send(fd, "BLK?\n", 5, MSG_NOSIGNAL);
        for (size_t got = 0; got < data.size();) {
            const ssize_t n = ::recv(fd, data.data() + got, data.size() - got, 0);
            if (n <= 0) return state.SkipWithError("lost");
            got += size_t(n);
        }
    }
    state.SetBytesProcessed(state.iterations() * kBlockBytes);
    ::close(fd);
}
BENCHMARK(PlainSocketBlock)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
