#pragma once
// A small read-only HTTP server beside the run (--serve): the page at "/",
// the JSON routes under /api/, the event stream /api/events, the latest
// saved screen image /screen.png and the Prometheus metrics /metrics. It serves every connection from one thread
// of its own (an event loop, apart from the run's worker and the GUI thread)
// and takes the run's state from its WebFeed base, the RunSink added to the
// session. Every connection's memory is bounded before anything is parsed:
// a request head is read into a buffer of MaxHeaderBytes and must arrive
// whole within headMs of its first byte.
#include "engine/web/WebFeed.h"

#include <QString>
#include <memory>

struct WebServerOptions {
    QString address = QStringLiteral("127.0.0.1");  // where to listen
    quint16 port = 0;                                // 0: any free port
    // Asked of every request when set; on an address that is not loopback
    // a random one is made when none is given.
    QString token;
    // A connection that starts no request (a new one, or a kept-alive one
    // between requests) is closed after this many seconds.
    int idleSeconds = 60;
    // A request head must have arrived whole this long after its first byte,
    // else the connection is closed.
    int headMs = 10 * 1000;
};

// "[ADDRESS:]PORT" ("8080", "0.0.0.0:8080", "[::1]:8080") into the options'
// address and port. False with *error naming the fault.
bool ParseServeAddress(const QString& text, WebServerOptions* out, QString* error);

class WebServer : public WebFeed {
public:
    // Connections open at once. One more takes the place of the connection
    // that has waited longest for a request head (a slow or idle client),
    // which gets 503; when every one is answering or streaming, the new one
    // gets 503.
    static constexpr int MaxConnections = 32;
    static constexpr int MaxHeaderBytes = 16 * 1024;  // request line and header fields
    static constexpr int MaxHeaderLines = 100;        // header fields in one request
    static constexpr int MaxTargetBytes = 8 * 1024;   // longer request targets get 414
    static constexpr int WriteSeconds = 5;   // a client that takes no data this long is dropped
    // An idle event stream gets a comment line this often: a client that has
    // gone is noticed by the failed write within two of them.
    static constexpr int KeepAliveSeconds = 2;

    WebServer();
    ~WebServer() override;

    // Listens and serves on a thread of its own. Returns an error text, or
    // an empty one when the server runs.
    QString start(const WebServerOptions& options);
    // Closes the feed and waits up to `maxMs` until every event stream has
    // sent what the feed held for it and ended. True when all have.
    bool finishStreams(int maxMs);
    // Ends the server: closes every connection and joins its thread (within
    // about a second whatever the clients do).
    void stop();
    bool running() const;

    quint16 port() const;
    QString token() const;          // empty when none is asked
    // The page's address to give the user (with ?token= when one is asked).
    QString url() const;
    int openConnections() const;
    uint64_t refusedConnections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};
