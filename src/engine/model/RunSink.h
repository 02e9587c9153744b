#pragma once
// The run's events, as seen by its outputs. Sinks are called on the worker
// thread, in order, synchronously: a file sink has written (or failed) when
// its call returns, so nothing is reported as written that was not. A sink
// that feeds a window forwards the event as a queued signal.
#include "engine/model/InstrumentConfig.h"
#include "engine/model/FileResult.h"
#include "engine/model/CycleRecord.h"
#include "engine/model/WaveData.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

namespace qm {

struct RunStartInfo {
    bool transferOnly = false;
    int32_t firstCycle = 1;
    int32_t repeatCount = 0;
    QDateTime started;
};

// A screen image as the instrument sent it (an image file's bytes).
struct ScreenImage {
    int32_t cycle = 0;
    QString format;     // "bmp" or "png" (the display's as the run was asked; saved ones "png")
    QByteArray bytes;
    QString fileName;   // where it is to be stored
    bool forDisplay = false;  // the display image (BufferFile.bmp or .png); else the cycle's PNG file
};

// The traces of a cycle, for the waveform file.
struct TraceSet {
    int32_t cycle = 0;
    const InstrumentConfig& config;
    const WaveArrays& data;
    QString fileName;
};

// What the run waits for between cycles, for a countdown beside the status.
struct RunWait {
    enum class Kind {
        None,      // the run is busy (or over): no wait to show
        Interval,  // the repeat interval: the next cycle starts at `nextStart`
        Question,  // the manual-continue question is open
    };
    Kind kind = Kind::None;
    int32_t nextCycle = 0;  // the cycle that follows the wait
    QDateTime nextStart;    // Interval: the PC time the next cycle starts
};

enum class RunOutcome {
    Normal,         // count reached, stopped, Cancel in manual mode, transfer-only cycle done
    ConnectFailed,  // declined or the link could not be opened
    Error,          // ended on an error (instrument lost, bad answer ...)
    Aborted,        // the program is closing
};

struct RunEndInfo {
    RunOutcome outcome = RunOutcome::Normal;
    QString message;      // the failure shown to the user (empty for a normal end)
    bool linkLost = false;  // Error: the run ended because the link to the instrument was lost
    int writeFailures = 0;  // files the run failed to write
    QStringList failedFiles;  // the files asked for that are not on disk (or lack lines), each once
};

// The exit code of a run for --exit-after-run and --headless: 0 normal end
// with everything written, 1 connection failed, 2 ended on an error, 3 normal
// end but a file could not be written.
inline int ExitCodeFor(RunOutcome outcome, bool writeFailed) {
    switch (outcome) {
    case RunOutcome::ConnectFailed: return 1;
    case RunOutcome::Error: return 2;
    default: return writeFailed ? 3 : 0;
    }
}

// What a status text stands for, for the outputs that follow the run's
// state (the web page, MQTT): the text itself is in the user's language.
enum class StatusKind {
    Plain,
    TriggerWait,   // the run waits for the instrument's trigger
    Reconnecting,  // the link is lost and the run connects again
    FileFailure,   // a file the run was to write is not on disk (or lacks lines)
};

class RunSink {
public:
    virtual ~RunSink() = default;
    virtual void runStarted(const RunStartInfo&) {}
    // The repeat count was above 10000: its box now reads `text`.
    virtual void repeatCountLimited(const QString& /*text*/) {}
    virtual void measItemsRead(const MeasItemArray&) {}
    // The file outputs answer what became of their file (qm::FileResult:
    // ok, or the file, the system's reason and the user's text); an output
    // that writes no file answers ok.
    // A logged cycle; logFileName is the log CSV this cycle goes to.
    virtual qm::FileResult cycleLogged(const CycleRecord&, const QString& logFileName) { return {}; }
    virtual qm::FileResult screenImage(const ScreenImage&) { return {}; }
    virtual qm::FileResult traces(const TraceSet&, const std::function<void(int)>& progress) { return {}; }
    virtual void statusChanged(const QString& /*text*/, StatusKind /*kind*/) {}
    // A file the run was to write is not on disk (each time one is counted
    // in RunEndInfo::writeFailures, and a log file that ends the run).
    virtual void fileFailed(const qm::FileResult&) {}
    virtual void progressChanged(int) {}
    // The number of the next cycle (the label "n/").
    virtual void cycleNumberChanged(int32_t) {}
    // The run begins or ends a wait between cycles (Kind::None: the wait is over).
    virtual void waitChanged(const RunWait&) {}
    // The link was lost or is back (`reconnected`, with --reconnect): a line
    // for the record.
    virtual void linkEvent(const QString& /*text*/, bool /*reconnected*/, int32_t /*cycle*/, const QString& /*folder*/,
                           const QString& /*header*/) {}
    // Output that could not be written by the end of the run, for the end
    // message (empty when there is none).
    virtual QString unwrittenOutput() const { return {}; }
    virtual void runEnded(const RunEndInfo&) {}
};

}  // namespace qm

Q_DECLARE_METATYPE(qm::RunEndInfo)
Q_DECLARE_METATYPE(qm::RunWait)
