#pragma once
// A small read-only HTTP server beside the run (--serve): the page at "/",
// the JSON routes under /api/, the event stream /api/events and the latest
// saved screen image /screen.png. It serves from its own threads (one per
// open connection, at most MaxConnections) and takes the run's state from
// its WebFeed base, the RunSink added to the session.
#include "engine/web/WebFeed.h"

#include <QString>
#include <memory>

struct WebServerOptions {
    QString address = QStringLiteral("127.0.0.1");  // where to listen
    quint16 port = 0;                                // 0: any free port
    // Asked of every request when set; on an address that is not loopback
    // a random one is made when none is given.
    QString token;
    // An idle connection (no request, or a request not finished) is closed
    // after this many seconds.
    int idleSeconds = 60;
};

// "[ADDRESS:]PORT" ("8080", "0.0.0.0:8080", "[::1]:8080") into the options'
// address and port. False with *error naming the fault.
bool ParseServeAddress(const QString& text, WebServerOptions* out, QString* error);

class WebServer : public WebFeed {
public:
    static constexpr int MaxConnections = 32;
    static constexpr int MaxHeaderBytes = 16 * 1024;
    static constexpr int WriteSeconds = 5;   // a client that takes no data this long is dropped
    // An idle event stream gets a comment line this often: a client that has
    // gone is noticed by the failed write within two of them.
    static constexpr int KeepAliveSeconds = 2;
    static constexpr int PollMs = 100;           // an event stream looks for new events this often

    WebServer();
    ~WebServer() override;

    // Listens and serves on a thread of its own. Returns an error text, or
    // an empty one when the server runs.
    QString start(const WebServerOptions& options);
    // Ends the server; waits (bounded) for its connections to finish.
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
