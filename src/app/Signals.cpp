#include "app/Signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_sigFd[2] = {-1, -1};
void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_sigFd[0], &c, 1);
}
}  // namespace

void WatchStopSignals(std::function<void()> onSignal) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_sigFd) != 0) return;
    auto* notifier = new QSocketNotifier(g_sigFd[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onSignal = std::move(onSignal)] {
        char c;
        [[maybe_unused]] auto r = ::read(g_sigFd[1], &c, 1);
        onSignal();
    });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
}
#elif defined(Q_OS_WIN)
#include "engine/WinApi.h"

namespace {
std::function<void()> g_onSignal;

// Runs on a thread of the system's: the call is queued to the main thread.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] { g_onSignal(); }, Qt::QueuedConnection);
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

void WatchStopSignals(std::function<void()> onSignal) {
    g_onSignal = std::move(onSignal);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
#else
void WatchStopSignals(std::function<void()>) {}
#endif
