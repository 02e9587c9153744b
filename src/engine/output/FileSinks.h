#pragma once
// The run's file outputs: the log CSV, the screen images (the display image
// BufferFile.bmp and the cycle's PNG) and the waveform CSV. Each is a sink
// called on the worker thread; a call returns once its bytes are safely out,
// or with the reason they are not.
#include "engine/model/RunSink.h"

#include <deque>

namespace qm {

// The log CSV: Shift-JIS, CR LF lines, six cells, no quoting; four header
// lines before the first line of a file that is new, empty or holds only the
// start of those header lines (a file with anything else in it never gets
// header lines); only ever appended to, each cycle's bytes in one write. An
// append that fails is cut back to the file's earlier length, so the file
// never holds half a line; the line stays queued and is written, in order,
// before the next one as soon as the file can be written again. When
// `waitingLinesMax` lines wait, the failure ends the run (no line is ever
// dropped).
class LogCsvSink : public RunSink {
public:
    explicit LogCsvSink(int waitingLinesMax = 10000) : waitingLinesMax_(waitingLinesMax) {}
    void measItemsRead(const MeasItemArray& items) override { items_ = items; }
    qm::FileResult cycleLogged(const CycleRecord& record, const QString& logFileName) override;
    // Lines that could not be written yet.
    int waitingLines() const { return int(waiting_.size()); }
    QString unwrittenOutput() const override;

    // The four header lines for the measurement slots.
    static QByteArray HeaderBytes(const MeasItemArray& items);

private:
    struct Line {
        QString fileName;
        QStringList cells;
    };
    qm::FileResult append(const Line& line);
    int waitingLinesMax_;
    MeasItemArray items_;
    std::deque<Line> waiting_;
};

// Screen images: exactly the bytes the instrument sent, under the file name
// the run chose, through a temporary file that takes the name only when
// complete.
class ScreenFileSink : public RunSink {
public:
    qm::FileResult screenImage(const ScreenImage& image) override;
};

// The waveform CSV of a cycle.
class WaveCsvSink : public RunSink {
public:
    qm::FileResult traces(const TraceSet& traces, const std::function<void(int)>& progress) override;
};

// With --reconnect: each loss of the link, each try to connect again, the
// reconnection or the giving up, one UTF-8 line with the PC's date and time
// and the cycle number, appended to <folder>/<header>_events.log, so a gap in
// the log can be explained. Lines that could not be written are named at the
// end of the run.
class EventLogSink : public RunSink {
public:
    void runStarted(const RunStartInfo&) override { unwritten_ = 0; }
    void linkEvent(const QString& text, bool reconnected, int32_t cycle, const QString& folder, const QString& header) override;
    QString unwrittenOutput() const override;

private:
    int unwritten_ = 0;
    QString fileName_;
    QString reason_;
};

// Writes `bytes` to `fileName` through a temporary file beside it; on failure
// the result carries the system's reason (its message is left to the
// caller; nothing is left under the final name then, an older file of that
// name keeps its bytes, and the temporary file is gone).
qm::FileResult SaveFileBytes(const QString& fileName, const QByteArray& bytes);

}  // namespace qm
