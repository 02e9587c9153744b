// The only translation unit on Boost.Beast / Asio (they are heavy to compile).
#include "engine/web/WebServer.h"
#include "engine/web/WebTexts.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/status.hpp>

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <future>
#include <list>
#include <mutex>
#include <thread>

namespace qm {

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// Connections that got an error answer (or 503) and are being closed: the
// rest of what they send is read and dropped for a while, so that the close
// does not reset the connection before the client has read the answer.
constexpr int MaxClosing = 2 * WebServer::MaxConnections;
constexpr auto LingerTime = std::chrono::seconds(2);
constexpr size_t MaxLingerBytes = 1 << 20;
// An event stream takes at most about this much from the feed per write, so
// a slow client holds no more than this in the server.
constexpr size_t MaxTakeBytes = 256 * 1024;
// The streams are woken this long after the feed's first new event, so that
// a burst of events (a fast run's cycles, the status changes of one cycle)
// goes out in one write per client.
constexpr auto BatchTime = std::chrono::milliseconds(100);

const char* const kSecurityHeaders =
    "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";

QByteArray Resource(const QString& name) {
    QFile f(QStringLiteral(":/qmweb/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Str(const QByteArray& b) { return std::string(b.constData(), size_t(b.size())); }

std::string Lower(std::string s) {
    for (auto& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The host part of a Host header ("[::1]:8080" -> "::1", "a:80" -> "a"), lower case.
std::string HostName(std::string host) {
    host = Lower(std::move(host));
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A query parameter's value ("%XX" and '+' decoded); false when absent.
bool QueryValue(std::string_view query, std::string_view key, std::string* out) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) != key) continue;
        const std::string_view v = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        out->clear();
        for (size_t i = 0; i < v.size(); ++i) {
            if (v[i] == '+') {
                *out += ' ';
            } else if (v[i] == '%' && i + 2 < v.size() && HexDigit(v[i + 1]) >= 0 && HexDigit(v[i + 2]) >= 0) {
                *out += char(HexDigit(v[i + 1]) * 16 + HexDigit(v[i + 2]));
                i += 2;
            } else {
                *out += v[i];
            }
        }
        return true;
    }
    return false;
}

// The index just past the blank line that ends a request head in b[0, n),
// looking at line ends from `from` on; 0 while the head is not complete.
size_t HeadEnd(const char* b, size_t n, size_t from) {
    for (size_t i = std::max<size_t>(from, 1); i < n; ++i) {
        if (b[i] != '\n') continue;
        if (b[i - 1] == '\n' || (i >= 2 && b[i - 1] == '\r' && b[i - 2] == '\n')) return i + 1;
    }
    return 0;
}

// The request head, parsed from a buffer that already holds all of it. Only
// what the server looks at is kept; header fields are counted.
class RequestHead : public http::basic_parser<true> {
public:
    http::verb verb = http::verb::unknown;
    std::string target;
    int version = 11;
    int fields = 0;
    int hosts = 0;
    bool tooManyFields = false;
    std::string host;
    std::string authorization;

private:
    void on_request_impl(http::verb v, beast::string_view, beast::string_view t, int ver, beast::error_code&) override {
        verb = v;
        target.assign(t.data(), t.size());
        version = ver;
    }
    void on_response_impl(int, beast::string_view, int, beast::error_code& ec) override { ec = http::error::bad_version; }
    void on_field_impl(http::field f, beast::string_view, beast::string_view value, beast::error_code& ec) override {
        if (++fields > WebServer::MaxHeaderLines) {
            tooManyFields = true;
            ec = http::error::header_limit;
            return;
        }
        if (f == http::field::host) {
            ++hosts;
            host.assign(value.data(), value.size());
        } else if (f == http::field::authorization && authorization.empty()) {
            authorization.assign(value.data(), value.size());
        }
    }
    void on_header_impl(beast::error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>&, beast::error_code&) override {}
    size_t on_body_impl(beast::string_view b, beast::error_code&) override { return b.size(); }
    void on_chunk_header_impl(std::uint64_t, beast::string_view, beast::error_code&) override {}
    size_t on_chunk_body_impl(std::uint64_t, beast::string_view b, beast::error_code&) override { return b.size(); }
    void on_finish_impl(beast::error_code&) override {}
};

// The head of an answer whose body has `length` bytes.
std::string AnswerHead(int status, std::string_view type, uint64_t length, bool keepAlive, std::string_view extraHeaders = {},
                       size_t reserve = 0) {
    std::string r;
    r.reserve(320 + extraHeaders.size() + reserve);
    const auto reason = http::obsolete_reason(http::status(status));
    r += "HTTP/1.1 ";
    r += std::to_string(status);
    r += ' ';
    r.append(reason.data(), reason.size());
    r += "\r\nContent-Type: ";
    r += type;
    r += "\r\nContent-Length: ";
    r += std::to_string(length);
    r += "\r\n";
    r += kSecurityHeaders;
    r += extraHeaders;
    r += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return r;
}

// One answer's bytes. A HEAD answer has the headers of the GET answer.
std::string Answer(int status, std::string_view type, std::string_view body, bool sendBody, bool keepAlive,
                   std::string_view extraHeaders = {}) {
    std::string r = AnswerHead(status, type, body.size(), keepAlive, extraHeaders, sendBody ? body.size() : 0);
    if (sendBody) r += body;
    return r;
}

// "attachment" with the file's name: plain for every browser (other
// characters than printable ASCII as '_') and exact as UTF-8.
std::string AttachmentHeader(const QString& fileName) {
    std::string plain;
    for (const QChar c : fileName) {
        const char16_t u = c.unicode();
        plain += (u >= 0x20 && u < 0x7f && u != '"' && u != '\\' && u != '%') ? char(u) : '_';
    }
    return "Content-Disposition: attachment; filename=\"" + plain + "\"; filename*=UTF-8''" +
           Str(QUrl::toPercentEncoding(fileName)) + "\r\n";
}

std::string Text(int status, const char* text, bool sendBody, bool keepAlive, std::string_view extraHeaders = {}) {
    return Answer(status, "text/plain; charset=utf-8", std::string(text) + "\n", sendBody, keepAlive, extraHeaders);
}

// The head of an event stream's answer: its body goes on until the
// connection closes.
std::string StreamHead() {
    return std::string("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n") + kSecurityHeaders + "Connection: close\r\n\r\n";
}

class Connection;

// Everything of the running server. The settings are fixed before its
// thread starts; the lists and the acceptor are used on that thread only.
struct Server {
    explicit Server(WebFeed& f) : feed(f) {}

    WebFeed& feed;
    std::string address;
    std::string token;
    bool loopback = true;
    quint16 port = 0;
    std::vector<std::string> hosts;  // names a Host header may give
    std::string page, uplotJs, uplotCss;
    Clock::duration idle = std::chrono::seconds(60);
    Clock::duration headTime = std::chrono::seconds(10);

    std::atomic<int> open{0};
    std::atomic<uint64_t> refused{0};
    std::atomic<bool> wakePending{false};
    std::mutex streamsMutex;
    std::condition_variable streamsCv;
    int activeStreams = 0;  // event streams not yet ended (under streamsMutex)

    // On the server's thread. Declared before the io_context: connections
    // left in its handlers when it is destroyed take themselves off these.
    std::list<Connection*> connections;  // every connection, open or closing
    std::vector<Connection*> waitingStreams;
    int closing = 0;
    std::atomic<bool> stopping{false};

    std::thread thread;
    std::promise<void> finished;
    std::future<void> done = finished.get_future();

    net::io_context ioc{1};
    tcp::acceptor acceptor{ioc};
    net::steady_timer acceptRetry{ioc};
    net::steady_timer batch{ioc};

    void accept();
    void admit(tcp::socket socket);
    void wakeStreams();
    void shutdown();
    void streamEnded() {
        std::lock_guard lock(streamsMutex);
        --activeStreams;
        streamsCv.notify_all();
    }
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(Server& s, tcp::socket socket) : srv_(s), stream_(std::move(socket)), timer_(s.ioc) {
        srv_.connections.push_front(this);
        pos_ = srv_.connections.begin();
    }
    ~Connection() {
        leaveOpen();
        endLinger();
        endStream();
        unwait();
        if (sub_) srv_.feed.unsubscribe(sub_);
        srv_.connections.erase(pos_);
    }

    // A connection within the limit: counted as open, serves requests.
    void serve() {
        counted_ = true;
        ++srv_.open;
        readHead();
    }

    // Over the limit: 503 at once, then closed.
    void refuse() {
        leaveOpen();
        if (state_ == State::Closed) return;
        if (srv_.closing >= MaxClosing) return closeNow();
        send(Text(503, "too many connections", true, false), false);
    }

    // Makes room for a new connection: this one, waiting for a request, is
    // refused instead.
    void evict() {
        evicted_ = true;
        leaveOpen();
        beast::error_code ec;
        stream_.socket().cancel(ec);  // its read ends; the handler refuses
    }

    bool waitingForHead() const { return counted_ && !evicted_ && (state_ == State::Idle || state_ == State::Head); }
    Clock::time_point waitingSince() const { return waitingSince_; }
    void wake() { timer_.cancel(); }

    void closeNow() {
        if (state_ == State::Closed) return;
        state_ = State::Closed;
        file_.reset();
        leaveOpen();
        endLinger();
        endStream();
        unwait();
        timer_.cancel();
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
        stream_.close();
    }

private:
    enum class State { Idle, Head, Busy, Streaming, Closing, Closed };
    static constexpr qint64 FileChunkBytes = 64 * 1024;  // a file is sent in pieces of this size

    void leaveOpen() {
        if (!counted_) return;
        counted_ = false;
        --srv_.open;
    }
    void endLinger() {
        if (!lingering_) return;
        lingering_ = false;
        --srv_.closing;
    }
    void endStream() {
        if (!streamCounted_) return;
        streamCounted_ = false;
        srv_.streamEnded();
    }
    void unwait() {
        auto& w = srv_.waitingStreams;
        w.erase(std::remove(w.begin(), w.end(), this), w.end());
    }

    // ---- request heads ----

    void readHead() {
        if (!buf_) buf_ = std::make_unique<char[]>(WebServer::MaxHeaderBytes);
        waitingSince_ = Clock::now();
        if (used_ > 0) {  // the next request came with the last one
            state_ = State::Head;
            stream_.expires_after(srv_.headTime);
            return checkHead();
        }
        state_ = State::Idle;
        stream_.expires_after(srv_.idle);
        readSome();
    }

    void readSome() {
        stream_.async_read_some(net::buffer(buf_.get() + used_, size_t(WebServer::MaxHeaderBytes) - used_),
                                [self = shared_from_this()](beast::error_code ec, size_t n) { self->onRead(ec, n); });
    }

    void onRead(beast::error_code ec, size_t n) {
        if (state_ == State::Closed) return;
        if (evicted_) return refuse();
        if (ec) return closeNow();  // gone, idle too long, or the head took too long
        if (state_ == State::Idle) {
            // The head's first byte: the whole head must follow in time.
            state_ = State::Head;
            stream_.expires_after(srv_.headTime);
        }
        used_ += n;
        checkHead();
    }

    void checkHead() {
        const size_t end = HeadEnd(buf_.get(), used_, scanned_);
        if (end) return handleHead(end);
        scanned_ = used_;
        if (used_ < size_t(WebServer::MaxHeaderBytes)) return readSome();
        // Full and no end in sight: no request line ends within it (414), or
        // the header fields do not (431). Nothing more is read.
        const bool lineEnded = std::memchr(buf_.get(), '\n', used_) != nullptr;
        state_ = State::Busy;
        if (lineEnded) return fail(431, "request header fields too large", true);
        fail(414, "request target too long", true);
    }

    void handleHead(size_t end) {
        state_ = State::Busy;
        RequestHead req;
        req.eager(false);
        req.header_limit(WebServer::MaxHeaderBytes + 1);  // the buffer is the limit
        beast::error_code ec;
        req.put(net::buffer(buf_.get(), end), ec);
        if (!ec && !req.is_header_done()) ec = http::error::partial_message;
        std::memmove(buf_.get(), buf_.get() + end, used_ - end);
        used_ -= end;
        scanned_ = 0;
        const bool head = req.verb == http::verb::head;
        if (ec) {
            if (req.tooManyFields || ec == http::error::header_limit) return fail(431, "too many header fields", !head);
            if (ec == http::error::body_limit) return fail(413, "no request body is taken", !head);
            return fail(400, "bad request", !head);
        }
        if (req.target.size() > size_t(WebServer::MaxTargetBytes)) return fail(414, "request target too long", !head);
        if (req.hosts > 1) return fail(400, "more than one Host header", !head);
        if (req.version >= 11 && req.hosts == 0) return fail(400, "Host header missing", !head);
        if (req.chunked() || req.content_length().value_or(0) > 0) return fail(413, "no request body is taken", !head);
        keepAlive_ = req.keep_alive() && !srv_.stopping;
        respond(req, head);
    }

    // An error answer after which the connection is closed.
    void fail(int status, const char* text, bool sendBody) { send(Text(status, text, sendBody, false), false); }

    void reply(std::string bytes) { send(std::move(bytes), keepAlive_); }

    // ---- the routes ----

    bool hostAllowed(const RequestHead& req) {
        if (req.hosts == 0) return true;  // HTTP/1.0: nothing to rebind
        const std::string h = HostName(req.host);
        beast::error_code ec;
        auto local = stream_.socket().local_endpoint(ec).address();
        if (!ec) {
            if (local.is_v6() && local.to_v6().is_v4_mapped())
                local = net::ip::make_address_v4(net::ip::v4_mapped, local.to_v6());
            if (h == Lower(local.to_string())) return true;
        }
        return std::find(srv_.hosts.begin(), srv_.hosts.end(), h) != srv_.hosts.end();
    }

    bool tokenOk(std::string_view query, const RequestHead& req) {
        if (srv_.token.empty()) return true;
        std::string given;
        if (QueryValue(query, "token", &given) && SameText(given, srv_.token)) return true;
        // "Bearer TOKEN"; the scheme's case does not matter.
        const std::string& auth = req.authorization;
        const size_t space = auth.find(' ');
        if (space == std::string::npos || Lower(auth.substr(0, space)) != "bearer") return false;
        const size_t start = auth.find_first_not_of(' ', space);
        return start != std::string::npos && SameText(auth.substr(start), srv_.token);
    }

    void respond(const RequestHead& req, bool head) {
        const bool body = !head;
        if (req.verb != http::verb::get && !head)
            return reply(Text(405, "read-only", body, keepAlive_, "Allow: GET, HEAD\r\n"));
        const std::string_view target = req.target;
        const size_t q = target.find('?');
        const std::string_view path = target.substr(0, q);
        const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
        if (!hostAllowed(req)) return reply(Text(421, "unknown host", body, keepAlive_));
        if (!tokenOk(query, req)) return reply(Text(401, "token needed", body, keepAlive_, "WWW-Authenticate: Bearer\r\n"));

        const auto json = [&](const QByteArray& b) {
            reply(Answer(200, "application/json; charset=utf-8", std::string_view(b.constData(), size_t(b.size())), body, keepAlive_));
        };
        WebFeed& feed = srv_.feed;
        if (path == "/") {
            const std::string qs = srv_.token.empty() ? std::string() : "?token=" + Str(QUrl::toPercentEncoding(QString::fromStdString(srv_.token)));
            // The token goes where the page says, forward from each
            // replacement (a token may hold a placeholder itself).
            const auto withToken = [&qs](std::string part) {
                for (size_t at = 0; (at = part.find("__QS__", at)) != std::string::npos; at += qs.size()) part.replace(at, 6, qs);
                return part;
            };
            // The state as it is now, in the page itself: shown before the
            // page has loaded, without a request more. '<' is escaped so
            // that no text in it can end the script.
            std::string initial = "{\"status\":" + Str(feed.statusJson()) + ",\"log\":" + Str(feed.logJson(0)) +
                                  ",\"stats\":" + Str(feed.statsJson()) + ",\"texts\":" + Str(qm::WebTextsJson()) + "}";
            for (size_t at = 0; (at = initial.find('<', at)) != std::string::npos;) initial.replace(at, 1, "\\u003c");
            const std::string& page = srv_.page;
            const size_t at = std::min(page.find("__INITIAL__"), page.size());
            const std::string p = withToken(page.substr(0, at)) + (at < page.size() ? initial + withToken(page.substr(at + 11)) : std::string());
            return reply(Answer(200, "text/html; charset=utf-8", p, body, keepAlive_,
                                "Content-Security-Policy: default-src 'self'; script-src 'self' 'unsafe-inline'; "
                                "style-src 'self' 'unsafe-inline'; img-src 'self'; connect-src 'self'; frame-ancestors 'none'\r\n"));
        }
        if (path == "/uPlot.iife.min.js") return reply(Answer(200, "text/javascript; charset=utf-8", srv_.uplotJs, body, keepAlive_));
        if (path == "/uPlot.min.css") return reply(Answer(200, "text/css; charset=utf-8", srv_.uplotCss, body, keepAlive_));
        if (path == "/api/status") return json(feed.statusJson());
        if (path == "/api/stats") return json(feed.statsJson());
        if (path == "/api/log") {
            int64_t since = 0;
            std::string text;
            if (QueryValue(query, "since", &text)) {
                bool ok = false;
                since = QString::fromStdString(text).toLongLong(&ok);
                if (!ok) return reply(Text(400, "since: a cycle number", body, keepAlive_));
            }
            return json(feed.logJson(since));
        }
        if (path == "/screen.png") {
            const QByteArray png = feed.screenPng();
            if (png.isEmpty()) return reply(Text(404, "no screen image yet", body, keepAlive_));
            return reply(Answer(200, "image/png", std::string_view(png.constData(), size_t(png.size())), body, keepAlive_));
        }
        if (path == "/api/log.csv") return sendLogFile(feed.logFilePath(), body);
        if (path == "/metrics") return reply(Answer(200, "text/plain; version=0.0.4; charset=utf-8", feed.metricsText(), body, keepAlive_));
        if (path == "/api/events") {
            if (head) return send(StreamHead(), false);
            return startStream();
        }
        reply(Text(404, "not found", body, keepAlive_));
    }

    // The run's log file, as it is on disk now: its size when opened, read
    // and sent a piece at a time, so that a large log is never held whole.
    void sendLogFile(const QString& fileName, bool body) {
        if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) return reply(Text(404, "no log file yet", body, keepAlive_));
        auto file = std::make_unique<QFile>(fileName);
        if (!file->open(QIODevice::ReadOnly)) {
            const std::string why = "cannot read the log file: " + file->errorString().toStdString();
            return reply(Text(500, why.c_str(), body, keepAlive_));
        }
        const qint64 size = file->size();
        std::string headBytes = AnswerHead(200, "text/csv; charset=Shift_JIS", uint64_t(size), keepAlive_,
                                           AttachmentHeader(QFileInfo(fileName).fileName()));
        if (!body || size == 0) return reply(std::move(headBytes));
        file_ = std::move(file);
        fileLeft_ = size;
        out_ = std::move(headBytes);
        sendFilePiece();
    }

    // Adds the next piece of the file to out_ and writes it.
    void sendFilePiece() {
        const qint64 want = std::min(fileLeft_, FileChunkBytes);
        const size_t at = out_.size();
        out_.resize(at + size_t(want));
        const qint64 got = file_->read(out_.data() + at, want);
        if (got <= 0) {
            // Cut back (or unreadable) since it was opened: the answer
            // cannot be completed, and the client sees it cut short.
            std::fprintf(stderr, "--serve: the log file ended early: %s\n", qPrintable(file_->errorString()));
            file_.reset();
            return closeNow();
        }
        out_.resize(at + size_t(got));
        fileLeft_ -= got;
        stream_.expires_after(std::chrono::seconds(WebServer::WriteSeconds));
        net::async_write(stream_, net::buffer(out_), [self = shared_from_this()](beast::error_code ec, size_t) {
            self->out_.clear();  // its capacity stays for the next piece
            if (self->state_ == State::Closed) return;
            if (ec) return self->closeNow();
            if (self->fileLeft_ > 0) return self->sendFilePiece();
            self->file_.reset();
            std::string().swap(self->out_);
            if (self->keepAlive_) return self->readHead();
            self->linger();
        });
    }

    // ---- writing, closing ----

    void send(std::string bytes, bool thenNextRequest) {
        out_ = std::move(bytes);
        sent_ = 0;
        sendPiece(thenNextRequest);
    }

    // A piece of out_ at a time, each under its own deadline: a slow client
    // that keeps taking data gets a large answer (the page with the whole
    // log) whole; one that takes nothing for WriteSeconds is dropped.
    void sendPiece(bool thenNextRequest) {
        const size_t n = std::min(out_.size() - sent_, size_t(FileChunkBytes));
        stream_.expires_after(std::chrono::seconds(WebServer::WriteSeconds));
        net::async_write(stream_, net::buffer(out_.data() + sent_, n),
                         [self = shared_from_this(), thenNextRequest, n](beast::error_code ec, size_t) {
            if (self->state_ == State::Closed || ec) {
                std::string().swap(self->out_);
                if (self->state_ != State::Closed) self->closeNow();
                return;
            }
            self->sent_ += n;
            if (self->sent_ < self->out_.size()) return self->sendPiece(thenNextRequest);
            std::string().swap(self->out_);
            if (thenNextRequest) return self->readHead();
            self->linger();
        });
    }

    // The answer is out: no more is sent, what the client still sends is
    // read and dropped (bounded), then the connection is closed.
    void linger() {
        leaveOpen();
        if (state_ == State::Closed) return;
        if (srv_.closing >= MaxClosing || srv_.stopping) return closeNow();
        state_ = State::Closing;
        lingering_ = true;
        ++srv_.closing;
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        stream_.expires_after(LingerTime);
        drain();
    }

    void drain() {
        stream_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t n) {
            if (self->state_ == State::Closed) return;
            self->drained_ += n;
            if (ec || self->drained_ > MaxLingerBytes) return self->closeNow();
            self->drain();
        });
    }

    // ---- the event stream ----

    void startStream() {
        state_ = State::Streaming;
        buf_.reset();  // no more requests on this connection
        sub_ = srv_.feed.subscribe();
        {
            std::lock_guard lock(srv_.streamsMutex);
            ++srv_.activeStreams;
        }
        streamCounted_ = true;
        std::string s = StreamHead() + "retry: 2000\n\n";
        bool closed = false;
        s += srv_.feed.take(*sub_, &closed, MaxTakeBytes);
        streamDone_ = closed;
        stream_.expires_never();
        watchEnd();
        writeStream(std::move(s));
    }

    // A stream's client sends nothing more; its close is seen here at once.
    void watchEnd() {
        stream_.async_read_some(net::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (self->state_ == State::Closed) return;
            if (ec) return self->closeNow();
            self->watchEnd();
        });
    }

    void writeStream(std::string s) {
        out_ = std::move(s);
        stream_.expires_after(std::chrono::seconds(WebServer::WriteSeconds));  // the write only: the read is pending
        net::async_write(stream_, net::buffer(out_), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (self->state_ != State::Streaming) return;
            if (ec) return self->closeNow();  // a client that took nothing for WriteSeconds, or gone
            self->lastWrite_ = Clock::now();
            if (self->streamDone_) return self->endStreamGracefully();
            self->pump();
        });
    }

    void pump() {
        bool closed = false;
        std::string s = srv_.feed.take(*sub_, &closed, MaxTakeBytes);
        streamDone_ = closed;
        if (!s.empty()) return writeStream(std::move(s));
        if (closed) return endStreamGracefully();
        // Nothing new: sleep until the feed has events (the server wakes
        // the waiting streams) or a keep-alive comment is due.
        srv_.waitingStreams.push_back(this);
        timer_.expires_at(lastWrite_ + std::chrono::seconds(WebServer::KeepAliveSeconds));
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            self->unwait();
            if (self->state_ != State::Streaming) return;
            if (ec == net::error::operation_aborted) return self->pump();
            self->writeStream(": idle\n\n");
        });
    }

    // The feed is closed and this stream has sent all of it: the server
    // ends its side; the client's close (or a short wait) ends the rest.
    void endStreamGracefully() {
        endStream();
        leaveOpen();
        state_ = State::Closing;
        beast::error_code ec;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
        timer_.expires_after(LingerTime);
        timer_.async_wait([self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->closeNow();
        });
    }

    Server& srv_;
    beast::tcp_stream stream_;
    net::steady_timer timer_;
    std::list<Connection*>::iterator pos_;
    State state_ = State::Idle;
    bool counted_ = false;        // one of the open connections
    bool evicted_ = false;
    bool lingering_ = false;      // counted in srv_.closing
    bool streamCounted_ = false;  // counted in srv_.activeStreams
    bool keepAlive_ = false;
    bool streamDone_ = false;
    Clock::time_point waitingSince_ = Clock::now();
    Clock::time_point lastWrite_ = Clock::now();
    std::unique_ptr<char[]> buf_;  // the request head, MaxHeaderBytes
    size_t used_ = 0;
    size_t scanned_ = 0;
    std::array<char, 512> scratch_{};
    size_t drained_ = 0;
    std::string out_;
    size_t sent_ = 0;  // of out_, by send()
    std::shared_ptr<WebSubscriber> sub_;
    std::unique_ptr<QFile> file_;  // a file being sent
    qint64 fileLeft_ = 0;          // its bytes still to send
};

void Server::accept() {
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (stopping) return;
        if (ec) {
            // Out of descriptors or the like: try again shortly.
            std::fprintf(stderr, "--serve: cannot accept a connection: %s\n", ec.message().c_str());
            acceptRetry.expires_after(std::chrono::milliseconds(100));
            acceptRetry.async_wait([this](beast::error_code e) {
                if (!e && !stopping) accept();
            });
            return;
        }
        admit(std::move(socket));
        accept();
    });
}

void Server::admit(tcp::socket socket) {
    beast::error_code ec;
    socket.set_option(tcp::no_delay(true), ec);
    auto c = std::make_shared<Connection>(*this, std::move(socket));
    if (open.load() >= WebServer::MaxConnections) {
        ++refused;
        Connection* oldest = nullptr;
        for (Connection* o : connections)
            if (o->waitingForHead() && (!oldest || o->waitingSince() < oldest->waitingSince())) oldest = o;
        if (!oldest) return c->refuse();
        oldest->evict();
    }
    c->serve();
}

void Server::wakeStreams() {
    batch.expires_after(BatchTime);
    batch.async_wait([this](beast::error_code ec) {
        if (ec) return;
        wakePending = false;  // an event from now on posts a wake again
        for (Connection* c : waitingStreams) c->wake();
    });
}

void Server::shutdown() {
    stopping = true;
    beast::error_code ec;
    acceptor.close(ec);
    acceptRetry.cancel();
    batch.cancel();
    const std::vector<Connection*> all(connections.begin(), connections.end());
    for (Connection* c : all) c->closeNow();
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

struct WebServer::Impl : Server {
    using Server::Server;
};

WebServer::WebServer() = default;

WebServer::~WebServer() { stop(); }

QString WebServer::start(const WebServerOptions& options) {
    if (d_) return QStringLiteral("the server runs already");
    auto d = std::make_unique<Impl>(*this);
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
    d->idle = std::chrono::seconds(std::max(1, options.idleSeconds));
    d->headTime = std::chrono::milliseconds(std::max(1, options.headMs));

    beast::error_code ec;
    const auto ip = net::ip::make_address(d->address, ec);
    if (ec) return QStringLiteral("not an IP address: %1").arg(options.address);
    const tcp::endpoint at(ip, options.port);
    const auto cannot = [&] {
        return options.port ? QStringLiteral("cannot listen on %1 port %2: %3").arg(options.address).arg(options.port).arg(QString::fromStdString(ec.message()))
                            : QStringLiteral("cannot listen on %1: %2").arg(options.address, QString::fromStdString(ec.message()));
    };
    d->acceptor.open(at.protocol(), ec);
    if (ec) return cannot();
#ifndef _WIN32
    // A port left in TIME_WAIT by an earlier run can be taken again at once
    // (on Windows this option would let two servers share a port).
    d->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    d->acceptor.bind(at, ec);
    if (ec) return cannot();
    // A page opens several connections at once: a long queue keeps a burst
    // of them from being dropped.
    d->acceptor.listen(2 * MaxConnections, ec);
    if (ec) return cannot();
    d->port = d->acceptor.local_endpoint(ec).port();

    Impl* p = d.get();
    setEventHook([p] {
        if (!p->wakePending.exchange(true)) net::post(p->ioc, [p] { p->wakeStreams(); });
    });
    p->accept();
    d->thread = std::thread([p] {
        for (;;) {
            try {
                p->ioc.run();
                break;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "--serve: %s\n", e.what());
            }
        }
        p->finished.set_value();
    });
    d_ = std::move(d);
    return {};
}

bool WebServer::finishStreams(int maxMs) {
    closeAll();
    if (!d_) return true;
    std::unique_lock lock(d_->streamsMutex);
    return d_->streamsCv.wait_for(lock, std::chrono::milliseconds(maxMs), [this] { return d_->activeStreams == 0; });
}

void WebServer::stop() {
    setEventHook(nullptr);  // waits for a call in progress on the run's thread
    closeAll();
    if (!d_) return;
    Impl* p = d_.get();
    net::post(p->ioc, [p] { p->shutdown(); });
    // Every socket is closed now; the thread ends once their handlers have
    // run. Should one take long, the loop is stopped (the rest is freed
    // here, with the io_context).
    if (p->done.wait_for(std::chrono::seconds(1)) != std::future_status::ready) p->ioc.stop();
    p->thread.join();
    d_.reset();
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

}  // namespace qm
