#pragma once
// What a headless run prints: the status texts on stdout, one a line and
// nothing else; messages and the run's progress on stderr. On a terminal the
// progress is one line at the bottom of stderr, rewritten in place (and put
// aside while another line is printed); elsewhere, when asked, one line per
// finished cycle. Thread-safe: messages may come from the run's worker.
#include "engine/model/RunSink.h"

#include <QDateTime>
#include <QString>
#include <cstdio>
#include <mutex>
#include <optional>

namespace qm {

class HeadlessConsole {
public:
    enum class Progress {
        None,   // no progress (stderr is no terminal, no --progress)
        Live,   // one line rewritten in place (stderr is a terminal)
        Lines,  // a line per finished cycle (--progress)
    };
    // `columns`: the terminal's width (0: unknown); the live line is cut to fit.
    HeadlessConsole(Progress mode, FILE* out, FILE* err, int columns = 0)
        : mode_(mode), out_(out), err_(err), columns_(columns) {}

    // A status text: one line on stdout.
    void status(const QString& text);
    // A message: its lines on stderr.
    void message(const QString& text);

    // The run's events, for the progress.
    void runStarted(const RunStartInfo& info);
    void itemsRead(const MeasItemArray& items);
    void cycleLogged(const CycleRecord& record);
    void cycleDone(int32_t next);
    void waitChanged(const RunWait& wait);
    // Redraws the live line (the elapsed time goes on).
    void tick();
    // The run is over: the live line is cleared.
    void finish();

    // The progress at `now`: "サイクル 3/5  経過 0:02  残り 0:03  A 1.5 V  B ...".
    QString progressText(const QDateTime& now) const;

private:
    QString progressTextLocked(const QDateTime& now) const;
    void drawLocked();
    void clearLocked();
    void flush();

    const Progress mode_;
    FILE* const out_;
    FILE* const err_;
    const int columns_;
    mutable std::mutex mutex_;
    int shownWidth_ = 0;  // the live line on the terminal, in columns (0: none shown)

    bool started_ = false;
    QDateTime runStart_;
    int32_t lastCycle_ = 1;       // the number of the run's last cycle
    int32_t done_ = 0;            // cycles finished in this run
    int32_t lastDone_ = 0;        // the number of the last finished cycle
    QDateTime cycleStart_;        // when the cycle under way (or the next) started
    qint64 busyMsTotal_ = 0;      // the finished cycles' time from their start to their end
    std::optional<qint64> periodMs_;  // start to start, when an interval set it
    std::optional<QDateTime> nextStart_;  // an interval wait: the next cycle starts then
    MeasItemArray items_;
    std::optional<CycleRecord> last_;
};

// Columns a text takes on a terminal: wide (East Asian) characters take two.
int TerminalWidth(const QString& text);

}  // namespace qm
