#include "engine/link/TcpTransport.h"

#include "engine/link/StreamTransport.h"
#include "engine/link/WindowsError.h"

#include <QCoreApplication>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#include <sys/ioctl.h>
#endif
#endif

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(TcpTransport)
};
}  // namespace

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;

constexpr qint64 kLineChunk = 4096;        // an answer line is read in pieces this big ...
constexpr qint64 kBulkChunk = 256 * 1024;  // ... a block or a dropped line in pieces this big

// ---- The system's sockets: POSIX, and Winsock under _WIN32. ----
#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutWrite = SD_SEND;

int LastError() { return WSAGetLastError(); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK; }
bool Interrupted(int e) { return e == WSAEINTR; }
bool ConnectPending(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }

QString SystemText(int e) { return WindowsErrorText(unsigned(e)); }

bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void CloseSocket(Socket s) { ::closesocket(s); }

bool PrepareSocket(Socket s) {
    u_long one = 1;
    return ::ioctlsocket(s, FIONBIO, &one) == 0;
}

int PollOne(Socket s, short events, int ms) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    return ::WSAPoll(&p, 1, ms);
}

// WSAPoll does not report a connect that failed on every Windows release:
// select() with the exception set does.
int WaitConnected(Socket s, int ms) {
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(s, &w);
    FD_SET(s, &e);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return ::select(0, nullptr, &w, &e, &tv);
}

qint64 Recv(Socket s, char* buf, qint64 len) { return ::recv(s, buf, int(std::min<qint64>(len, INT_MAX)), 0); }
qint64 Send(Socket s, const char* buf, qint64 len) {
    return ::send(s, buf, int(std::min<qint64>(len, INT_MAX)), kSendFlags);
}
QString LookupText(int rc) { return SystemText(rc); }

OpenFailure ConnectFailure(int e) {
    switch (e) {
    case WSAECONNREFUSED: return OpenFailure::Refused;
    case WSAETIMEDOUT: return OpenFailure::TimedOut;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN: return OpenFailure::Unreachable;
    default: return OpenFailure::Other;
    }
}

OpenFailure LookupFailure(int rc) {
    switch (rc) {
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY: return OpenFailure::HostNotFound;
    default: return OpenFailure::Other;
    }
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;  // a peer that went away is an error, not a signal
#else
constexpr int kSendFlags = 0;
#endif
constexpr int kShutWrite = SHUT_WR;

int LastError() { return errno; }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }
bool Interrupted(int e) { return e == EINTR; }
bool ConnectPending(int e) { return e == EINPROGRESS || e == EINTR; }
QString SystemText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }
bool StartSockets() { return true; }
void CloseSocket(Socket s) { ::close(s); }

bool PrepareSocket(Socket s) {
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#ifdef SO_NOSIGPIPE
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

int PollOne(Socket s, short events, int ms) {
    pollfd p{s, events, 0};
    return ::poll(&p, 1, ms);
}

int WaitConnected(Socket s, int ms) { return PollOne(s, POLLOUT, ms); }

qint64 Recv(Socket s, char* buf, qint64 len) { return ::recv(s, buf, size_t(len), 0); }
qint64 Send(Socket s, const char* buf, qint64 len) { return ::send(s, buf, size_t(len), kSendFlags); }
QString LookupText(int rc) { return rc == EAI_SYSTEM ? SystemText(errno) : QString::fromLocal8Bit(gai_strerror(rc)); }

OpenFailure ConnectFailure(int e) {
    switch (e) {
    case ECONNREFUSED: return OpenFailure::Refused;
    case ETIMEDOUT: return OpenFailure::TimedOut;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
#ifdef EHOSTDOWN
    case EHOSTDOWN:
#endif
        return OpenFailure::Unreachable;
    default: return OpenFailure::Other;
    }
}

OpenFailure LookupFailure(int rc) {
    switch (rc) {
    case EAI_NONAME:
    case EAI_AGAIN:
    case EAI_FAIL:
#if defined(EAI_NODATA) && EAI_NODATA != EAI_NONAME
    case EAI_NODATA:
#endif
        return OpenFailure::HostNotFound;
    default: return OpenFailure::Other;
    }
}
#endif

qint64 MsUntil(SteadyClock::time_point t) { return std::chrono::ceil<Ms>(t - SteadyClock::now()).count(); }

struct Endpoint {
    sockaddr_storage addr{};
    socklen_t length = 0;
    int family = 0;
};

// A numeric address (IPv4, IPv6, with a zone) as a socket address; no lookup.
std::optional<Endpoint> NumericEndpoint(const QString& text, quint16 port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(text.toLatin1().constData(), QByteArray::number(port).constData(), &hints, &list) != 0) return {};
    std::optional<Endpoint> e;
    if (list && list->ai_addrlen <= sizeof(sockaddr_storage)) {
        e.emplace();
        std::memcpy(&e->addr, list->ai_addr, list->ai_addrlen);
        e->length = socklen_t(list->ai_addrlen);
        e->family = list->ai_family;
    }
    ::freeaddrinfo(list);
    return e;
}

// ---- The transport. ----
class TcpTransport final : public StreamTransport {
public:
    TcpTransport(Socket s, QString name, const LinkLimits& limits)
        : StreamTransport(limits), s_(s), name_(std::move(name)) {}
    ~TcpTransport() override {
        if (s_ != kNoSocket) CloseSocket(s_);
    }

    QString describe() const override { return name_; }
    WriteResult write(const QByteArray& bytes, const StopToken& stop) override;
    LineResult readLine(int32_t maxBytes, double timeoutSeconds, const StopToken& stop) override;
    void close(int flushMs) override;

protected:
    Pull pull(QByteArray& dst, qint64 max, int waitMs) override;
    double nominalBytesPerSecond() const override { return 1e6; }
    bool keepsTail() const override { return true; }

private:
    LineResult dropRest(LineResult r, SteadyClock::time_point start, qint64 timeoutMs, const StopToken& stop);

    Socket s_;
    QString name_;
};

StreamTransport::Pull TcpTransport::pull(QByteArray& dst, qint64 max, int waitMs) {
    if (lost_) return Pull::Lost;
    if (waitMs > 0) {
        const int n = PollOne(s_, POLLIN, waitMs);
        if (n == 0) return Pull::Quiet;
        if (n < 0) {
            const int e = LastError();
            if (Interrupted(e)) return Pull::Quiet;
            markLost(SystemText(e));
            return Pull::Lost;
        }
    }
    const qint64 want = std::min(max, kBulkChunk);
    const qsizetype had = dst.size();
    dst.resize(had + want);
    const qint64 n = Recv(s_, dst.data() + had, want);
    const int e = n < 0 ? LastError() : 0;
    dst.resize(had + std::max<qint64>(n, 0));
    if (n > 0) return Pull::Data;
    if (n == 0) {
        markLost(Texts::tr("装置が接続を閉じました"));
        return Pull::Lost;
    }
    if (WouldBlock(e) || Interrupted(e)) return Pull::Quiet;
    markLost(SystemText(e));
    return Pull::Lost;
}

WriteResult TcpTransport::write(const QByteArray& bytes, const StopToken& stop) {
    WriteResult r;
    if (lost_) return lostWrite();
    const auto start = SteadyClock::now();
    const auto until = start + Ms(limits_.sendTimeoutMs);
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const qint64 n = Send(s_, bytes.constData() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += n;
            continue;
        }
        const int e = LastError();
        if (n < 0 && Interrupted(e)) continue;
        if (n < 0 && !WouldBlock(e)) {
            markLost(SystemText(e));
            return lostWrite();
        }
        // The system's send queue is full: the instrument does not read.
        if (stop.interrupts(start)) {
            r.status = IoStatus::Stopped;
            return r;
        }
        const qint64 left = MsUntil(until);
        if (left <= 0) {
            markLost(Texts::tr("送信が %1 秒以上止まっています").arg(limits_.sendTimeoutMs / 1000.0));
            return lostWrite();
        }
        PollOne(s_, POLLOUT, int(std::min<qint64>(left, kStopSliceMs)));
    }
    return r;
}

LineResult TcpTransport::readLine(int32_t maxBytes, double timeoutSeconds, const StopToken& stop) {
    const auto start = SteadyClock::now();
    const qint64 timeoutMs = TimeoutMs(timeoutSeconds);
    const auto until = start + Ms(timeoutMs);
    const qsizetype limit = std::max<int32_t>(maxBytes, 1);
    qsizetype scanned = 0;
    for (;;) {
        // A LF right after `limit` characters still ends the line in time.
        const qsizetype window = std::min(pending_.size(), limit + 1);
        const auto* lf =
            static_cast<const char*>(std::memchr(pending_.constData() + scanned, '\n', size_t(window - scanned)));
        if (lf) {
            const qsizetype end = lf - pending_.constData();
            LineResult r;
            r.line = CutLine(QByteArrayView(pending_.constData(), std::min(end, limit)));
            pending_.remove(0, end + 1);
            return r;
        }
        scanned = window;
        if (pending_.size() > limit) {
            LineResult r;
            r.line = CutLine(QByteArrayView(pending_.constData(), limit));
            pending_.remove(0, limit);
            return dropRest(std::move(r), start, timeoutMs, stop);
        }
        const Wait w = pullUntil(pending_, kLineChunk, until, start, stop);
        if (w != Wait::Data) return lineFailure(w);
    }
}

// The answer went past the read's limit: the rest of its line, up to its LF,
// must not become the next answer. When its end does not come within the
// read's time-out and overlongDropMax bytes, the link is resynchronised.
LineResult TcpTransport::dropRest(LineResult r, SteadyClock::time_point start, qint64 timeoutMs,
                                  const StopToken& stop) {
    const auto until = start + Ms(timeoutMs);
    qint64 dropped = 0;
    bool text = false;
    for (;;) {
        // The LF must come within overlongDropMax bytes.
        const qsizetype window = std::clamp<qint64>(limits_.overlongDropMax - dropped + 1, 0, pending_.size());
        const auto* lf = static_cast<const char*>(std::memchr(pending_.constData(), '\n', size_t(window)));
        const qsizetype n = lf ? lf - pending_.constData() : window;
        text = text || HoldsText(QByteArrayView(pending_.constData(), n));
        dropped += n;
        pending_.remove(0, lf ? n + 1 : n);
        if (lf) {
            r.overlong = text;
            return r;
        }
        if (dropped > limits_.overlongDropMax) return resynchronise(std::move(r), timeoutMs, start, stop);
        const Wait w = pullUntil(pending_, kBulkChunk, until, start, stop);
        if (w == Wait::Expired) return resynchronise(std::move(r), timeoutMs, start, stop);
        if (w != Wait::Data) return lineFailure(w);
    }
}

void TcpTransport::close(int flushMs) {
    if (s_ == kNoSocket) return;
    if (!lost_) {
#if defined(__linux__) && defined(SIOCOUTQ)
        // Until the instrument has acknowledged what was sent ("GTL" and the
        // like), bounded. Elsewhere the system goes on sending after the close.
        const auto until = SteadyClock::now() + Ms(std::max(flushMs, 0));
        int queued = 0;
        while (::ioctl(s_, SIOCOUTQ, &queued) == 0 && queued > 0 && SteadyClock::now() < until)
            std::this_thread::sleep_for(Ms(1));
#endif
        ::shutdown(s_, kShutWrite);
        // Unread input would turn the close into a reset.
        char buf[4096];
        for (int i = 0; i < 64 && Recv(s_, buf, sizeof buf) > 0; ++i) {
        }
    }
    CloseSocket(s_);
    s_ = kNoSocket;
    markLost(Texts::tr("接続は閉じられています"));
}

// ---- Opening. ----
struct Attempt {
    Socket socket = kNoSocket;
    QString error;  // the system's text
    OpenFailure failure = OpenFailure::Other;
    bool stopped = false;
    bool timedOut = false;
};

Attempt Connect(const Endpoint& ep, SteadyClock::time_point start, SteadyClock::time_point deadline,
                const StopToken& stop) {
    Attempt a;
    const Socket s = ::socket(ep.family, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) {
        a.error = SystemText(LastError());
        return a;
    }
    const auto fail = [&](Attempt&& r) {
        CloseSocket(s);
        return std::move(r);
    };
    const auto failCode = [&](int e) { return fail({kNoSocket, SystemText(e), ConnectFailure(e)}); };
    if (!PrepareSocket(s)) return failCode(LastError());
    if (::connect(s, reinterpret_cast<const sockaddr*>(&ep.addr), ep.length) != 0) {
        const int e = LastError();
        if (!ConnectPending(e)) return failCode(e);
        for (;;) {
            if (stop.interrupts(start))
                return fail({kNoSocket, Texts::tr("接続を中断しました"), OpenFailure::Other, true});
            const qint64 left = MsUntil(deadline);
            if (left <= 0)
                return fail({kNoSocket,
                             Texts::tr("%1 秒以内").arg(std::chrono::duration<double>(deadline - start).count()),
                             OpenFailure::TimedOut, false, true});
            const int n = WaitConnected(s, int(std::min<qint64>(left, kStopSliceMs)));
            if (n > 0) break;
            if (n < 0 && !Interrupted(LastError())) return failCode(LastError());
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) err = LastError();
        if (err != 0) return failCode(err);
    }
    // Commands are short and often followed at once by a query: never let
    // them wait for a delayed acknowledgement.
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    a.socket = s;
    return a;
}
}  // namespace

HostLookup ResolveHost(const QString& host) {
    HostLookup out;
    if (!StartSockets()) {
        out.error = SystemText(LastError());
        return out;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(QUrl::toAce(host).constData(), nullptr, &hints, &list);
    if (rc != 0) {
        out.error = LookupText(rc);
        out.failure = LookupFailure(rc);
        return out;
    }
    for (const addrinfo* p = list; p; p = p->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(p->ai_addr, socklen_t(p->ai_addrlen), text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        const QString a = QString::fromLatin1(text);
        if (!out.addresses.contains(a)) out.addresses << a;
    }
    ::freeaddrinfo(list);
    if (out.addresses.isEmpty()) out.error = Texts::tr("アドレスがありません");
    return out;
}

OpenResult OpenTcp(const QString& host, quint16 port, const StopToken& stop, const LinkLimits& limits) {
    return OpenTcp(host, port, stop, TcpOptions{limits, {}});
}

OpenResult OpenTcp(const QString& host, quint16 port, const StopToken& stop, const TcpOptions& options) {
    OpenResult out;
    const auto start = SteadyClock::now();
    const auto deadline = start + Ms(options.limits.connectTimeoutMs);
    QString name = host.trimmed();
    if (name.size() > 2 && name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const QString where =
        (name.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2")).arg(name).arg(port);
    const auto failed = [&](const QString& why, OpenFailure failure = OpenFailure::Other) {
        return OpenFailed(where, failure, why);
    };
    const auto stopped = [&] {
        out.stopped = true;
        out.error = Texts::tr("%1 への接続を中断しました").arg(where);
        return std::move(out);
    };
    if (!StartSockets()) return failed(SystemText(LastError()));
    if (name.isEmpty()) {
        out.error = Texts::tr("IP アドレスが空です");
        out.failure = OpenFailure::HostNotFound;
        return out;
    }

    QStringList addresses;
    if (NumericEndpoint(name, port)) {
        addresses << name;
    } else {
        std::optional<HostLookup> found;
        if (options.lookups) {
            found = options.lookups->lookup(name, deadline, start, stop);
            if (!found) {
                if (stop.interrupts(start)) return stopped();
                return failed(Texts::tr("%1 秒以内に名前からアドレスが求まりません")
                                  .arg(options.limits.connectTimeoutMs / 1000.0),
                              OpenFailure::HostNotFound);
            }
        } else {
            found = ResolveHost(name);
        }
        if (found->addresses.isEmpty())
            return failed(found->error, found->failure == OpenFailure::None ? OpenFailure::HostNotFound : found->failure);
        addresses = found->addresses;
    }

    QString why;
    OpenFailure failure = OpenFailure::Other;
    for (const QString& a : addresses) {
        const auto ep = NumericEndpoint(a, port);
        if (!ep) {
            why = Texts::tr("アドレス \"%1\" が不正です").arg(a);
            continue;
        }
        Attempt at = Connect(*ep, start, deadline, stop);
        if (at.socket != kNoSocket) {
            out.transport = std::make_unique<TcpTransport>(at.socket, where, options.limits);
            return out;
        }
        if (at.stopped) return stopped();
        why = at.error;
        failure = at.failure;
        if (at.timedOut) break;
    }
    return failed(why, failure);
}

}  // namespace qm
