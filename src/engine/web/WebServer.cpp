#include "engine/web/WebServer.h"

#include <httplib.h>

#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QUrl>
#include <condition_variable>
#include <deque>
#include <future>
#include <thread>

namespace {

// Set on the threads that answer connections over the limit: every request
// there gets 503 and the connection is closed.
thread_local bool tlRefusing = false;

// The connection threads: one per open connection, at most `max`; a
// connection over the limit goes to a small second pool that only refuses.
class GateQueue : public httplib::TaskQueue {
public:
    GateQueue(int max, std::atomic<int>& open, std::atomic<uint64_t>& refused)
        : max_(max), open_(open), refused_(refused) {}
    ~GateQueue() override { shutdown(); }

    void enqueue(std::function<void()> fn) override {
        std::lock_guard lock(mutex_);
        if (open_.load() >= max_) {
            ++refused_;
            refusals_.push_back(std::move(fn));
            if (refusers_.size() < 4) refusers_.emplace_back([this] { loop(true); });
        } else {
            ++open_;
            work_.push_back(std::move(fn));
            // Every queued connection has a thread: one idle, or a new one.
            if (work_.size() > size_t(idle_) && int(workers_.size()) < max_) workers_.emplace_back([this] { loop(false); });
        }
        cv_.notify_all();
    }

    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            if (shut_) return;
            shut_ = true;
            cv_.notify_all();
        }
        for (auto& t : workers_) t.join();
        for (auto& t : refusers_) t.join();
    }

private:
    void loop(bool refusing) {
        tlRefusing = refusing;
        auto& q = refusing ? refusals_ : work_;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (!refusing) ++idle_;
            cv_.wait(lock, [&] { return shut_ || !q.empty(); });
            if (!refusing) --idle_;
            if (q.empty()) return;  // shut down and nothing left (each task closes its socket)
            auto fn = std::move(q.front());
            q.pop_front();
            lock.unlock();
            fn();
            lock.lock();
            if (!refusing) --open_;
        }
    }

    const int max_;
    std::atomic<int>& open_;
    std::atomic<uint64_t>& refused_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> work_, refusals_;
    std::vector<std::thread> workers_, refusers_;
    int idle_ = 0;
    bool shut_ = false;
};

QByteArray Resource(const QString& name) {
    QFile f(QStringLiteral(":/qmweb/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Str(const QByteArray& b) { return std::string(b.constData(), size_t(b.size())); }

// The host part of a Host header ("[::1]:8080" -> "::1", "a:80" -> "a"), lower case.
std::string HostName(std::string host) {
    for (auto& c : host) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (!host.empty() && host[0] == '[') {
        const auto end = host.find(']');
        return end == std::string::npos ? host : host.substr(1, end - 1);
    }
    const auto colon = host.rfind(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

bool SameText(const std::string& a, const std::string& b) {
    // Constant time for equal lengths.
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

bool ParseServeAddress(const QString& text, WebServerOptions* out, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QString address = QStringLiteral("127.0.0.1");
    QString portText = text.trimmed();
    const int colon = portText.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        address = portText.left(colon);
        portText = portText.mid(colon + 1);
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
        if (address.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) address = QStringLiteral("127.0.0.1");
        if (QHostAddress(address).isNull()) return fail(QStringLiteral("--serve: not an IP address: %1").arg(address));
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535) return fail(QStringLiteral("--serve: not a port number: %1").arg(portText));
    out->address = address;
    out->port = quint16(port);
    return true;
}

struct WebServer::Impl {
    WebServer* feed;
    httplib::Server svr;
    std::thread thread;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::atomic<bool> stopping{false};
    std::atomic<int> open{0};
    std::atomic<uint64_t> refused{0};
    std::string address;
    std::string token;
    bool loopback = true;
    quint16 port = 0;
    socket_t listenSocket = INVALID_SOCKET;
    std::vector<std::string> hosts;  // names a Host header may give
    std::string page, uplotJs, uplotCss;

    explicit Impl(WebServer* f) : feed(f) {}

    bool hostAllowed(const httplib::Request& req) const {
        if (!req.has_header("Host")) return true;  // HTTP/1.0: nothing to rebind
        const std::string h = HostName(req.get_header_value("Host"));
        if (h == HostName(req.local_addr.find(':') != std::string::npos ? "[" + req.local_addr + "]" : req.local_addr))
            return true;
        for (const auto& a : hosts)
            if (h == a) return true;
        return false;
    }

    bool tokenOk(const httplib::Request& req) const {
        if (token.empty()) return true;
        if (req.has_param("token") && SameText(req.get_param_value("token"), token)) return true;
        const std::string auth = req.get_header_value("Authorization");
        static const std::string bearer = "Bearer ";
        return auth.size() > bearer.size() && auth.compare(0, bearer.size(), bearer) == 0 &&
               SameText(auth.substr(bearer.size()), token);
    }

    static void text(httplib::Response& res, int status, const char* body) {
        res.status = status;
        res.set_content(std::string(body) + "\n", "text/plain; charset=utf-8");
    }
    // An answer after which the connection is closed, whatever the client
    // asked for: the content provider's "false" ends the connection once the
    // whole answer is written.
    static void closing(httplib::Response& res, int status, const char* body) {
        res.status = status;
        res.set_header("Connection", "close");
        res.set_chunked_content_provider("text/plain; charset=utf-8", [b = std::string(body) + "\n"](size_t, httplib::DataSink& sink) {
            sink.write(b.data(), b.size());
            sink.done();
            return false;
        });
    }

    httplib::Server::HandlerResponse gate(const httplib::Request& req, httplib::Response& res) {
        using R = httplib::Server::HandlerResponse;
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Referrer-Policy", "no-referrer");
        if (tlRefusing || stopping) {
            closing(res, 503, "too many connections");
            return R::Handled;
        }
        size_t size = req.method.size() + req.target.size() + req.version.size() + 4;
        for (const auto& [k, v] : req.headers) size += k.size() + v.size() + 4;
        if (size > size_t(MaxHeaderBytes)) {
            closing(res, 431, "request header fields too large");
            return R::Handled;
        }
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            text(res, 405, "read-only");
            return R::Handled;
        }
        if (!hostAllowed(req)) {
            text(res, 421, "unknown host");
            return R::Handled;
        }
        if (!tokenOk(req)) {
            res.set_header("WWW-Authenticate", "Bearer");
            text(res, 401, "token needed");
            return R::Handled;
        }
        return R::Unhandled;
    }

    void routes() {
        const auto json = [](httplib::Response& res, const QByteArray& body) {
            res.set_content(Str(body), "application/json; charset=utf-8");
        };
        svr.Get("/", [this](const httplib::Request&, httplib::Response& res) {
            std::string p = page;
            const std::string qs = token.empty() ? std::string() : "?token=" + Str(QUrl::toPercentEncoding(QString::fromStdString(token)));
            for (size_t at; (at = p.find("__QS__")) != std::string::npos;) p.replace(at, 6, qs);
            // The state as it is now, in the page itself: shown before the
            // page has loaded, without a request more. '<' is escaped so
            // that no text in it can end the script.
            std::string initial = "{\"status\":" + Str(feed->statusJson()) + ",\"log\":" + Str(feed->logJson(0)) +
                                  ",\"stats\":" + Str(feed->statsJson()) + "}";
            for (size_t at = 0; (at = initial.find('<', at)) != std::string::npos;) initial.replace(at, 1, "\\u003c");
            if (const size_t at = p.find("__INITIAL__"); at != std::string::npos) p.replace(at, 11, initial);
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; script-src 'self' 'unsafe-inline'; style-src 'self' 'unsafe-inline'; "
                           "img-src 'self'; connect-src 'self'; frame-ancestors 'none'");
            res.set_content(p, "text/html; charset=utf-8");
        });
        svr.Get(R"(/uPlot\.iife\.min\.js)", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(uplotJs, "text/javascript; charset=utf-8");
        });
        svr.Get(R"(/uPlot\.min\.css)", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(uplotCss, "text/css; charset=utf-8");
        });
        svr.Get("/api/status", [this, json](const httplib::Request&, httplib::Response& res) { json(res, feed->statusJson()); });
        svr.Get("/api/stats", [this, json](const httplib::Request&, httplib::Response& res) { json(res, feed->statsJson()); });
        svr.Get("/api/log", [this, json](const httplib::Request& req, httplib::Response& res) {
            int64_t since = 0;
            if (req.has_param("since")) {
                bool ok = false;
                since = QString::fromStdString(req.get_param_value("since")).toLongLong(&ok);
                if (!ok) return text(res, 400, "since: a cycle number");
            }
            json(res, feed->logJson(since));
        });
        svr.Get(R"(/screen\.png)", [this](const httplib::Request&, httplib::Response& res) {
            const QByteArray png = feed->screenPng();
            if (png.isEmpty()) return text(res, 404, "no screen image yet");
            res.set_content(Str(png), "image/png");
        });
        svr.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
            auto sub = feed->subscribe();
            res.set_chunked_content_provider(
                // Exactly this type: the library compresses other text
                // types, which would hold events back in the compressor.
                "text/event-stream",
                [this, sub](size_t offset, httplib::DataSink& sink) {
                    // Polled: the run's thread only appends to the ring and
                    // wakes no one; a new cycle is sent within PollMs.
                    std::string out = offset == 0 ? "retry: 2000\n\n" : "";
                    bool closed = false;
                    for (int waited = 0;; waited += PollMs) {
                        out += feed->take(*sub, &closed);
                        if (!out.empty() || closed || stopping) break;
                        if (waited >= KeepAliveSeconds * 1000) {
                            out = ": idle\n\n";
                            break;
                        }
                        feed->waitClosed(PollMs);
                    }
                    if (!out.empty() && !sink.write(out.data(), out.size())) return false;
                    if (closed || stopping) sink.done();
                    return true;
                },
                [this, sub](bool) { feed->unsubscribe(sub); });
        });
    }
};

WebServer::WebServer() = default;

WebServer::~WebServer() { stop(); }

QString WebServer::start(const WebServerOptions& options) {
    if (d_) return QStringLiteral("the server runs already");
    auto d = std::make_unique<Impl>(this);
    QHostAddress host(options.address);
    if (host.isNull()) return QStringLiteral("not an IP address: %1").arg(options.address);
    d->address = host.toString().toStdString();
    d->loopback = host.isLoopback();
    d->token = options.token.toStdString();
    if (d->token.empty() && !d->loopback) {
        const quint64 a = QRandomGenerator::system()->generate64(), b = QRandomGenerator::system()->generate64();
        d->token = (QString::number(a, 16).rightJustified(16, QLatin1Char('0')) + QString::number(b, 16).rightJustified(16, QLatin1Char('0'))).toStdString();
    }
    d->hosts = {"localhost", "127.0.0.1", "::1", HostName(host.protocol() == QAbstractSocket::IPv6Protocol ? "[" + d->address + "]" : d->address)};
    const std::string machine = QSysInfo::machineHostName().toLower().toStdString();
    if (!machine.empty()) {
        d->hosts.push_back(machine);
        d->hosts.push_back(machine + ".local");
    }
    d->page = Str(Resource(QStringLiteral("src/engine/web/page/index.html")));
    d->uplotJs = Str(Resource(QStringLiteral("third_party/uplot/uPlot.iife.min.js")));
    d->uplotCss = Str(Resource(QStringLiteral("third_party/uplot/uPlot.min.css")));
    if (d->page.empty()) return QStringLiteral("the page is missing from the program");

    Impl* p = d.get();
    d->svr.new_task_queue = [p] { return new GateQueue(MaxConnections, p->open, p->refused); };
    const int idle = std::max(1, options.idleSeconds);
    d->svr.set_keep_alive_timeout(idle);
    d->svr.set_keep_alive_max_count(1000);
    d->svr.set_read_timeout(idle, 0);
    d->svr.set_write_timeout(WriteSeconds, 0);
    d->svr.set_payload_max_length(MaxHeaderBytes);
    // The listening socket, to give it a longer queue than the library's 5:
    // a page opens several connections at once, and a full queue drops a
    // connection attempt for a second.
    d->svr.set_socket_options([p](socket_t sock) {
        httplib::default_socket_options(sock);
        p->listenSocket = sock;
    });
    d->svr.set_pre_routing_handler([p](const httplib::Request& req, httplib::Response& res) { return p->gate(req, res); });
    d->svr.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty() && res.status == 404) res.set_content("not found\n", "text/plain; charset=utf-8");
    });
    d->routes();

    int port = options.port;
    if (port == 0) {
        port = d->svr.bind_to_any_port(d->address);
        if (port <= 0) return QStringLiteral("cannot listen on %1").arg(options.address);
    } else if (!d->svr.bind_to_port(d->address, port)) {
        return QStringLiteral("cannot listen on %1 port %2").arg(options.address).arg(port);
    }
    d->port = quint16(port);
    if (d->listenSocket != INVALID_SOCKET) ::listen(d->listenSocket, 2 * MaxConnections);
    d->thread = std::thread([p] {
        p->svr.listen_after_bind();
        p->finished.set_value();
    });
    d_ = std::move(d);
    return {};
}

void WebServer::stop() {
    if (!d_) return;
    d_->stopping = true;
    closeAll();
    d_->svr.stop();
    // Connections still open (an idle keep-alive, a slow client) end within
    // the idle time; the program does not wait that long for them.
    if (d_->done.wait_for(std::chrono::seconds(1)) == std::future_status::ready) {
        d_->thread.join();
        d_.reset();
    } else {
        d_->thread.detach();
        (void)d_.release();  // left to its threads; they only refuse now
    }
}

bool WebServer::running() const { return d_ && !d_->stopping; }
quint16 WebServer::port() const { return d_ ? d_->port : 0; }
QString WebServer::token() const { return d_ ? QString::fromStdString(d_->token) : QString(); }
int WebServer::openConnections() const { return d_ ? d_->open.load() : 0; }
uint64_t WebServer::refusedConnections() const { return d_ ? d_->refused.load() : 0; }

QString WebServer::url() const {
    if (!d_) return {};
    QString host = QString::fromStdString(d_->address);
    if (host == QLatin1String("0.0.0.0") || host == QLatin1String("::")) {
        const QString machine = QSysInfo::machineHostName();
        host = machine.isEmpty() ? QStringLiteral("localhost") : machine;
    } else if (host.contains(QLatin1Char(':'))) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    QString u = QStringLiteral("http://%1:%2/").arg(host).arg(d_->port);
    if (!d_->token.empty()) u += QStringLiteral("?token=") + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(d_->token)));
    return u;
}
