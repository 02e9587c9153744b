#pragma once
// SIGINT and SIGTERM (Windows: Ctrl+C, Ctrl+Break, closing the console)
// delivered into the Qt event loop of the main thread.
#include <QObject>
#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace qm {

// While it lives, every SIGINT or SIGTERM (Unix) or console stop event
// (Windows) comes as stopRequested() on the main thread; afterwards the
// signals do what they did before. One at a time; needs a Q(Core)Application.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private:
#ifdef Q_OS_UNIX
    int fds_[2] = {-1, -1};     // [0] written by the signal handler, [1] read on the main thread
    struct sigaction before_[2];  // SIGINT's and SIGTERM's handlers before
#endif
};

}  // namespace qm
