#include "app/Signals.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {
// What the signal handler reaches, and all it reaches: the write end of the
// StopSignals' socket pair (-1: none). A handler can only reach globals; a
// lock-free atomic is safe to read there.
std::atomic<int> g_signalWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSignals[2] = {SIGINT, SIGTERM};

void OnSignal(int) {
    const int saved = errno;
    const int fd = g_signalWriteFd.load();
    const char c = 1;
    if (fd >= 0) {
        [[maybe_unused]] const auto written = ::write(fd, &c, 1);
    }
    errno = saved;
}
}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    // Non-blocking: a handler never waits, however many signals come.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        std::perror("quillmeter: SIGINT/SIGTERM cannot be watched");
        fds_[0] = fds_[1] = -1;
        return;
    }
    auto* notifier = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char c;
        if (::read(fds_[1], &c, 1) == 1) emit stopRequested();
    });
    g_signalWriteFd.store(fds_[0]);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int k = 0; k < 2; ++k) sigaction(kSignals[k], &action, &before_[k]);
}

StopSignals::~StopSignals() {
    if (fds_[0] < 0) return;
    for (int k = 0; k < 2; ++k) sigaction(kSignals[k], &before_[k], nullptr);
    g_signalWriteFd.store(-1);
    ::close(fds_[0]);
    ::close(fds_[1]);
}

}  // namespace qm

#elif defined(Q_OS_WIN)
#include "engine/text/WinApi.h"

#include <atomic>

namespace qm {

namespace {
// What the console handler reaches, and all it reaches: the StopSignals that
// takes the events (nullptr: none). The handler runs on a thread of the
// system's; the call is queued to the main thread.
std::atomic<StopSignals*> g_stopSignals{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            if (StopSignals* watcher = g_stopSignals.load())
                QMetaObject::invokeMethod(watcher, &StopSignals::stopRequested, Qt::QueuedConnection);
            // Closing the console ends the process once this returns: give the
            // run time to stop and the files time to be written out (the
            // system allows about 5 s; the process may end earlier by itself).
            if (event == CTRL_CLOSE_EVENT) Sleep(4500);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    g_stopSignals.store(this);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_stopSignals.store(nullptr);
}

}  // namespace qm

#else
namespace qm {
StopSignals::StopSignals(QObject* parent) : QObject(parent) {}
StopSignals::~StopSignals() = default;
}  // namespace qm
#endif
