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
#else
void WatchStopSignals(std::function<void()>) {}
#endif
