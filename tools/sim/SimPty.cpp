#include "sim/SimPty.h"

#include "sim/SimInstrument.h"

#include <QSocketNotifier>
#include <QtDebug>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace qmsim {

SimPty::SimPty(SimInstrument* instrument, QObject* parent) : QObject(parent), m_instrument(instrument)
{
    connect(m_instrument, &SimInstrument::output, this, &SimPty::onOutput);
    connect(m_instrument, &SimInstrument::dropRequested, this, [this] {
        if (m_instrument->client() == this)
            close();
    });
    connect(m_instrument, &SimInstrument::outageRequested, this, [this](int ms) {
        if (m_instrument->client() == this)
            outage(ms);
    });
    connect(m_instrument, &SimInstrument::backlogRequested, this, [this](const QObject* client, qint64* bytes) {
        if (client == this)
            *bytes += m_out.size();
    });
    connect(&m_drainTimer, &QTimer::timeout, this, &SimPty::onDrainTimer);
    m_reopenTimer.setSingleShot(true);
    connect(&m_reopenTimer, &QTimer::timeout, this, [this] {
        if (!open())
            qWarning("quillmeter-sim: cannot open the pseudo-terminal again: %s", qPrintable(m_error));
    });
}

SimPty::~SimPty()
{
    close();
}

bool SimPty::fail(const QString& what)
{
    m_error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    close();
    return false;
}

bool SimPty::open()
{
    close();
    m_error.clear();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (::grantpt(m_master) != 0)
        return fail(QStringLiteral("grantpt"));
    if (::unlockpt(m_master) != 0)
        return fail(QStringLiteral("unlockpt"));
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);

    // Our own slave descriptor: the master never reads EIO when a client closes.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return fail(QStringLiteral("open ") + m_slavePath);
    termios t{};
    if (::tcgetattr(m_slave, &t) != 0)
        return fail(QStringLiteral("tcgetattr"));
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
    if (::tcsetattr(m_slave, TCSANOW, &t) != 0)
        return fail(QStringLiteral("tcsetattr"));

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(QStringLiteral("fcntl"));

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimPty::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimPty::flush);

    if (!makeLink()) {
        const QString error = m_error;
        close();
        m_error = error;
        return false;
    }
    emit opened();
    return true;
}

void SimPty::outage(int ms)
{
    m_outageMs = std::max(0, ms);
    if (m_master < 0) {
        close();
        m_reopenTimer.start(m_outageMs);
        return;
    }
    // A hang-up discards what the client has not read yet: first let it read.
    // The instrument is gone from now on, so nothing new is read or answered
    // meanwhile (a client that keeps asking would otherwise put the hang-up
    // off for as long as it asks).
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    m_drainClock.start();
    m_drainTimer.start(10);
}

void SimPty::onDrainTimer()
{
    // The slave's input queue is shared by the client's descriptor and ours.
    int unread = 0;
    if (::ioctl(m_slave, FIONREAD, &unread) != 0)
        unread = 0;
    if ((!m_out.isEmpty() || unread > 0) && m_drainClock.elapsed() < 1000)
        return;
    close();
    m_reopenTimer.start(m_outageMs);
}

bool SimPty::setLinkPath(const QString& path)
{
    removeLink();
    m_linkPath = path;
    return m_master < 0 || makeLink();
}

// Points the link at the slave: a new link beside it, renamed over the old.
bool SimPty::makeLink()
{
    if (m_linkPath.isEmpty() || m_master < 0)
        return true;
    const QByteArray link = m_linkPath.toLocal8Bit();
    struct stat st{};
    if (::lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        m_error = QStringLiteral("%1 exists and is no symbolic link").arg(m_linkPath);
        return false;
    }
    const QByteArray fresh = link + ".new";
    ::unlink(fresh.constData());
    if (::symlink(m_slavePath.toLocal8Bit().constData(), fresh.constData()) != 0) {
        m_error = QStringLiteral("symlink %1: %2").arg(m_linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::rename(fresh.constData(), link.constData()) != 0) {
        m_error = QStringLiteral("rename to %1: %2").arg(m_linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        ::unlink(fresh.constData());
        return false;
    }
    m_linkMade = true;
    return true;
}

// Removes the link this pty made, nothing else.
void SimPty::removeLink()
{
    if (!m_linkMade)
        return;
    m_linkMade = false;
    const QByteArray link = m_linkPath.toLocal8Bit();
    struct stat st{};
    if (::lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode))
        ::unlink(link.constData());
}

void SimPty::close()
{
    m_reopenTimer.stop();
    m_drainTimer.stop();
    removeLink();
    const bool wasOpen = m_master >= 0;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_out.clear();
    m_instrument->detach(this);
    if (wasOpen)
        emit closed();
}

void SimPty::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            if (m_drainTimer.isActive())
                continue;  // the device is going: lost
            m_instrument->feed(QByteArray(buf, int(n)), this);
            if (m_master < 0)
                return;  // dropped while handling
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;  // EAGAIN: all read
    }
}

void SimPty::onOutput(const QByteArray& bytes)
{
    if (m_master < 0 || m_instrument->client() != this)
        return;
    m_out += bytes;
    flush();
}

void SimPty::flush()
{
    while (m_master >= 0 && !m_out.isEmpty()) {
        const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
        if (n > 0) {
            m_out.remove(0, qsizetype(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;  // the terminal's queue is full: go on when it drains
        } else {
            m_out.clear();
            break;
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_out.isEmpty());
}

}  // namespace qmsim

#else  // !Q_OS_UNIX

// Windows has no pseudo-terminals: the simulator serves TCP only there.
namespace qmsim {

SimPty::SimPty(SimInstrument* instrument, QObject* parent) : QObject(parent), m_instrument(instrument) {}
SimPty::~SimPty() = default;
bool SimPty::open() { return fail(QStringLiteral("pseudo-terminals exist only on Unix systems")); }
void SimPty::close() {}
void SimPty::outage(int) {}
bool SimPty::setLinkPath(const QString& path)
{
    m_linkPath = path;
    return true;
}
void SimPty::onReadable() {}
void SimPty::onOutput(const QByteArray&) {}
void SimPty::flush() {}
void SimPty::onDrainTimer() {}
bool SimPty::fail(const QString& what)
{
    m_error = what;
    return false;
}
bool SimPty::makeLink() { return false; }
void SimPty::removeLink() {}

}  // namespace qmsim
#endif
