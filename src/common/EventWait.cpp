#include "common/EventWait.h"

#include "engine/text/Errors.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace qm {
namespace {
bool g_closing = false;

void CheckClosing() {
    if (g_closing) throw AppClosing();
}
}  // namespace

void SetAppClosing(bool closing) { g_closing = closing; }
bool IsAppClosing() { return g_closing; }

void YieldEvents() {
    CheckClosing();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    CheckClosing();
}

void SleepEvents(int ms) {
    CheckClosing();
    if (ms < 0) ms = 0;
    // A single-shot timer guarantees a wake-up; any other event wakes earlier.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(ms);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    CheckClosing();
}

bool WaitUntil(const std::function<bool()>& done, QDeadlineTimer deadline) {
    for (;;) {
        CheckClosing();
        if (done()) return true;
        if (deadline.hasExpired()) return done();
        qint64 left = deadline.remainingTime();  // -1 when forever
        int slice = WaitSliceMs;
        if (left >= 0 && left < slice) slice = static_cast<int>(left);
        SleepEvents(slice);
    }
}

}  // namespace qm
