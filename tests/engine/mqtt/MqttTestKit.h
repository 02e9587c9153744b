#pragma once
// What the MQTT tests (and bench/bench_mqtt) need around the sink: a real
// broker (Debian's mosquitto, started with a configuration of the test's own
// on a free loopback port), a real subscriber (libmosquitto), and two fake
// brokers for the bad cases: one that drops every connection, one that
// accepts the login and then never acknowledges anything.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qmtest {

inline bool WaitUntil(const std::function<bool()>& done, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QThread::msleep(10);
    }
    return true;
}

inline bool Accepts(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A listening socket on 127.0.0.1 (port 0: any free one); -1 on failure.
inline int Listen(quint16 port, quint16* bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    if (bound) *bound = ntohs(a.sin_port);
    return fd;
}

inline quint16 FreePort() {
    quint16 port = 0;
    const int fd = Listen(0, &port);
    ::close(fd);
    return port;
}

inline bool HaveBroker() { return QFile::exists(QStringLiteral("/usr/sbin/mosquitto")); }

// Debian's mosquitto with a configuration of its own in `dir`.
class TestBroker {
public:
    explicit TestBroker(QString dir) : dir_(std::move(dir)) {}
    ~TestBroker() { kill(); }

    // `extra`: more configuration lines (a password file ...); "{PORT2}" in
    // it becomes a second free port (port2()). The same port again after
    // kill() restarts it; persistence keeps subscriptions. A free port can
    // be taken by another program before the broker listens on it: then the
    // start is tried again with other ports.
    bool start(quint16 port = 0, const QString& extra = {}) {
        const bool chosen = port == 0 && port_ == 0;
        for (int attempt = 0; attempt < (chosen ? 4 : 1); ++attempt) {
            port_ = port ? port : port_ && !chosen ? port_ : FreePort();
            port2_ = extra.contains(QLatin1String("{PORT2}")) ? FreePort() : 0;
            if (tryStart(QString(extra).replace(QLatin1String("{PORT2}"), QString::number(port2_)))) return true;
            kill();
        }
        return false;
    }
    // SIGKILL: no goodbye to any client.
    void kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(5000);
    }
    quint16 port() const { return port_; }
    quint16 port2() const { return port2_; }
    QString dir() const { return dir_; }

private:
    bool tryStart(const QString& extra) {
        QDir().mkpath(dir_);
        QString conf = QStringLiteral("listener %1 127.0.0.1\n").arg(port_);
        if (!extra.contains(QLatin1String("password_file"))) conf += QStringLiteral("allow_anonymous true\n");
        if (::geteuid() == 0) conf += QStringLiteral("user root\n");
        conf += QStringLiteral("persistence true\npersistence_location %1/\nautosave_interval 1\nautosave_on_changes true\n"
                               "log_dest none\n")
                    .arg(dir_);
        conf += extra;
        QFile f(QDir(dir_).filePath(QStringLiteral("broker.conf")));
        if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0) return false;
        f.close();
        process_.setProgram(QStringLiteral("/usr/sbin/mosquitto"));
        process_.setArguments({QStringLiteral("-c"), f.fileName()});
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QDir(dir_).filePath(QStringLiteral("broker.err")));
        process_.start();
        if (!process_.waitForStarted(5000)) return false;
        const auto listening = [&] { return Accepts(port_) && (!port2_ || Accepts(port2_)); };
        return WaitUntil([&] { return listening() || process_.state() != QProcess::Running; }, 5000) &&
               process_.state() == QProcess::Running && listening();
    }

    QString dir_;
    quint16 port_ = 0;
    quint16 port2_ = 0;
    QProcess process_;
};

// A server on a loopback port that is no broker: it drops every connection
// at once, or it takes the CONNECT, answers CONNACK and then never answers
// anything again (no PUBACK, no PINGRESP), reading all it is sent.
class FakeBroker {
public:
    enum class Mode { DropEvery, NeverAck };
    explicit FakeBroker(Mode mode) : mode_(mode) {
        fd_ = Listen(0, &port_);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeBroker() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    quint16 port() const { return port_; }
    int connections() const { return connections_.load(); }

private:
    void run() {
        std::vector<pollfd> fds{{fd_, POLLIN, 0}};
        std::vector<bool> answered{false};
        while (!stop_) {
            if (::poll(fds.data(), nfds_t(fds.size()), 50) <= 0) continue;
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[65536];
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    continue;
                }
                if (!answered[i] && (uint8_t(buf[0]) & 0xF0) == 0x10) {  // CONNECT
                    const char connack[] = {0x20, 0x02, 0x00, 0x00};
                    [[maybe_unused]] const ssize_t w = ::write(fds[i].fd, connack, sizeof connack);
                    answered[i] = true;
                }
            }
            if (fds[0].revents & POLLIN) {
                const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) {
                    ++connections_;
                    if (mode_ == Mode::DropEvery) {
                        ::close(c);
                    } else {
                        fds.push_back({c, POLLIN, 0});
                        answered.push_back(false);
                    }
                }
            }
        }
        for (size_t i = 1; i < fds.size(); ++i)
            if (fds[i].fd >= 0) ::close(fds[i].fd);
    }
    Mode mode_;
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

struct Message {
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
    QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

// A real MQTT client subscribed to `filter` (QoS 1), on libmosquitto's own
// thread. `persistent`: a session the broker keeps (clean session off), so
// that what is published while it reconnects waits for it.
class Subscriber {
public:
    Subscriber() {
        static std::once_flag init;
        std::call_once(init, [] { mosquitto_lib_init(); });
    }
    ~Subscriber() { stop(); }

    bool start(quint16 port, const QByteArray& filter, bool persistent = false) {
        filter_ = filter;
        const QByteArray id = "test-sub-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(++counter());
        m_ = mosquitto_new(id.constData(), !persistent, this);
        if (!m_) return false;
        mosquitto_reconnect_delay_set(m_, 1, 1, false);
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int rc) {
            if (rc == 0) mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.constData(), 1);
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Subscriber*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* msg) {
            auto* s = static_cast<Subscriber*>(self);
            std::lock_guard lock(s->mutex_);
            s->messages_.push_back({QByteArray(msg->topic),
                                    QByteArray(static_cast<const char*>(msg->payload), msg->payloadlen), msg->retain});
        });
        if (mosquitto_connect(m_, "127.0.0.1", port, 10) != MOSQ_ERR_SUCCESS) return false;
        if (mosquitto_loop_start(m_) != MOSQ_ERR_SUCCESS) return false;
        return WaitUntil([&] { return subscribed_.load(); }, 5000);
    }
    void stop() {
        if (!m_) return;
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
        m_ = nullptr;
    }
    QList<Message> messages(const QByteArray& topicEnd = {}) const {
        std::lock_guard lock(mutex_);
        QList<Message> out;
        for (const Message& m : messages_)
            if (topicEnd.isEmpty() || m.topic.endsWith(topicEnd)) out << m;
        return out;
    }
    // The cycle numbers of the "cycle" messages, in the order they came.
    QList<int> cycles() const {
        QList<int> out;
        for (const Message& m : messages("/cycle")) out << m.json().value(QStringLiteral("cycle")).toInt();
        return out;
    }
    // The same without repeats (a record sent again after a lost
    // connection comes twice; a consumer drops it by its id).
    QList<int> distinctCycles() const {
        QList<int> out;
        QSet<QString> seen;
        for (const Message& m : messages("/cycle")) {
            const QJsonObject o = m.json();
            if (seen.contains(o.value(QStringLiteral("id")).toString())) continue;
            seen.insert(o.value(QStringLiteral("id")).toString());
            out << o.value(QStringLiteral("cycle")).toInt();
        }
        return out;
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }
    mosquitto* m_ = nullptr;
    QByteArray filter_;
    std::atomic<bool> subscribed_{false};
    mutable std::mutex mutex_;
    QList<Message> messages_;
};

inline QList<int> Range(int from, int to) {
    QList<int> out;
    for (int n = from; n <= to; ++n) out << n;
    return out;
}

}  // namespace qmtest
