#pragma once
// The measurement session: owns the link to the instrument and the worker
// thread that runs measurement runs with blocking I/O. The window (or the
// headless front end) starts and stops runs here and observes them through
// queued signals; file outputs plug in as sinks called on the worker thread.
#include "engine/model/InstrumentConfig.h"
#include "engine/link/HostLookups.h"
#include "engine/link/StopToken.h"
#include "engine/link/WaitClock.h"
#include "engine/model/LiveSettings.h"
#include "engine/run/RunLimits.h"
#include "engine/model/RunSink.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace qm {

class Questions;
struct SessionState;
class Transport;

// The instrument's own TCP port.
inline constexpr quint16 kInstrumentTcpPort = 5198;

// What a run takes once, at its start.
struct RunRequest {
    bool serial = false;      // USB ticked: the serial port named by comText; else TCP
    QString address;          // IPｱﾄﾞﾚｽ
    quint16 tcpPort = kInstrumentTcpPort;
    QString comText;          // "COM2"
    bool transferOnly = false;
    QString repeatText;       // 繰返回数: the leading number, at most 10000
    bool invCheckOn = true;   // INVなし: the invert states are not asked
    QString dataFolder;       // where the display image BufferFile.bmp (or .png) goes
    // Per-cycle files of earlier runs: when this run would write one that
    // exists, it asks first; with refuseOverwrite it does not start instead.
    bool refuseOverwrite = false;
    // > 0: a link that cannot be opened at the start, or is lost during the
    // run, is connected again for at most this many minutes, and the
    // interrupted cycle repeated.
    double reconnectMinutes = 0;
    // 表示にも PNG を使う: the display image is fetched as PNG (BufferFile.png)
    // instead of BMP; with DS画面格納 too, the one PNG of a cycle is shown and
    // saved (one transfer instead of two).
    bool screenPngForDisplay = false;
    // The run's time-outs and pauses, and the clock of its waits (empty: the
    // steady clock). Tests shorten the one and put in the other.
    qm::RunLimits limits;
    std::shared_ptr<const qm::WaitClock> clock;
};

// The TCP interface as the confirmation names it: the address, followed by
// ":" and the port when that is not the instrument's own 5198 ("[::1]:47999"
// for an IPv6 address).
QString TcpInterfaceName(const QString& address, quint16 port);

class Session : public QObject {
    Q_OBJECT
public:
    explicit Session(QObject* parent = nullptr);
    ~Session() override;

    // Sinks are called on the worker thread in the order they were added,
    // before the session's own signals go out. Add them while no run is active.
    void addSink(RunSink* sink);
    LiveSettings& live() { return live_; }

    // Starts a run on the worker thread. False (nothing happens) while a run
    // is active. `questions` must outlive the run.
    bool start(const RunRequest& request, Questions& questions);
    // 測定中断: the run ends at its next test point or wait.
    void stop();
    bool active() const { return active_.load(); }
    // Waits (bounded) until no run is active. True when none is; then
    // everything the run did (its sinks' runEnded() included) is seen by
    // this thread.
    bool waitIdle(int ms) const;

    // The number of the next cycle: 1 after start-up and after clear().
    int32_t cycleNo() const { return cycleNo_.load(); }
    // クリア: the cycle count starts again at 1. Ignored while a run is active.
    void clear();
    // Sets the number of the next cycle (a test's shortcut to a long log).
    // Ignored while a run is active.
    void setCycleNo(int32_t next) {
        if (!active_) cycleNo_ = next;
    }

    // True once a run has opened the link; it stays open between runs.
    bool linkOpen() const { return linkOpen_.load(); }
    // The program ends: a run is aborted (it sends and writes nothing more),
    // waited for (bounded), the link's pending output is written out and the
    // link closed, and the worker thread and the host name lookups end.
    // False when a thread did not end within the bound (a file output or a
    // host name lookup the system does not return from): shutdownProblem()
    // says which, and the caller must end the process without destroying the
    // session, which that thread still uses. A later call waits once more.
    bool shutdown(int waitMs = 3000);
    QString shutdownProblem() const { return shutdownProblem_; }

signals:
    void runStarted(const RunStartInfo& info);
    void repeatCountLimited(const QString& text);
    void measItemsRead(const MeasItemArray& items);
    void cycleLogged(const CycleRecord& record);
    // The display image of a cycle (empty when it could not be fetched).
    void screenForDisplay(const QByteArray& image);
    void statusChanged(const QString& text);
    void progressChanged(int value);
    void cycleNumberChanged(int next);
    void waitChanged(const RunWait& wait);
    void runFinished(const RunEndInfo& end);

private:
    class SignalSink;
    struct Pending {
        RunRequest request;
        Questions* questions = nullptr;
    };
    // The worker thread: waits for a run, the link's close or the end.
    void workerLoop();
    void runOnWorker(const Pending& run, std::vector<RunSink*> sinks);

    std::unique_ptr<QThread> thread_;  // runs workerLoop(), no event loop
    std::vector<RunSink*> sinks_;
    std::unique_ptr<SignalSink> signalSink_;
    LiveSettings live_;
    qm::StopToken stop_;
    std::atomic<bool> active_{false};
    std::atomic<bool> linkOpen_{false};
    std::atomic<int32_t> cycleNo_{1};
    bool shutDown_ = false;
    bool workerEnded_ = false;
    bool lookupsEnded_ = false;
    QString shutdownProblem_;
    qm::HostLookups lookups_;  // the runs' host name lookups, joined at shutdown
    // The hand-overs between the threads go through these (plain mutex and
    // condition variables, so that every tool sees them): the worker waits
    // on wake_ for a run (pending_), the link's close or the end (quit_);
    // the caller waits on idle_ for a run's end (active_ false) or the
    // close. Held only for the hand-over itself.
    mutable std::mutex idleMutex_;
    mutable std::condition_variable idle_;
    std::condition_variable wake_;
    std::optional<Pending> pending_;
    bool closeLink_ = false;
    bool linkClosed_ = false;
    bool quit_ = false;

    // Worker-thread state, kept between runs.
    qm::SessionState* state_;
};

}  // namespace qm

Q_DECLARE_METATYPE(qm::RunStartInfo)
