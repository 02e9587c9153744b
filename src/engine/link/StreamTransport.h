#pragma once
// What the TCP and the serial transport share: waiting for input in slices
// that see the stop token, binary blocks, draining a spoiled answer, and the
// text rules of an answer line. A transport only provides pull(): wait a
// little for input and take what is waiting.
#include "engine/link/LinkLimits.h"
#include "engine/link/Transport.h"

#include <QByteArrayView>

namespace qm {

// The answer up to its first CR or LF, NUL bytes dropped.
QByteArray CutLine(QByteArrayView bytes);

// True when the rest of a line that was read and dropped held more than its
// line end (CR bytes before the LF count as line end).
bool HoldsText(QByteArrayView dropped);

// The ten header bytes of a block, "#8" and eight digits (spaces may pad the
// number). n >= 0 on success, else `error` says what is wrong for the user.
struct BlockHeader {
    int32_t n = -1;
    QString error;
};
BlockHeader ParseBlockHeader(const QByteArray& head, int32_t limit);

// Milliseconds from a time-out in seconds: NaN and negatives give 0, the
// rest is capped at a day.
qint64 TimeoutMs(double seconds);

class StreamTransport : public Transport {
public:
    BlockResult readBlock(int32_t limit, const StopToken& stop) override;
    void drain(const StopToken& stop) override;
    bool lost() const override { return lost_; }

protected:
    explicit StreamTransport(const LinkLimits& limits) : limits_(limits) {}

    enum class Pull { Data, Quiet, Lost };
    // Waits at most waitMs (0: not at all) for input, then appends what is
    // waiting, at most `max` bytes, to dst. Lost once the link is gone (after
    // markLost()).
    virtual Pull pull(QByteArray& dst, qint64 max, int waitMs) = 0;
    // Bytes a second the link carries, for a block's deadline.
    virtual double nominalBytesPerSecond() const = 0;
    // TCP: bytes after a block stay for the next read. Serial: every read
    // takes all that waits, and what came after the block's end is dropped.
    virtual bool keepsTail() const = 0;

    enum class Wait { Data, Expired, Lost, Stopped };
    // pull() in slices of at most kStopSliceMs until some input arrived,
    // `until` passed, the link was lost or the stop token gave up the
    // exchange that began at waitStart.
    Wait pullUntil(QByteArray& dst, qint64 max, SteadyClock::time_point until, SteadyClock::time_point waitStart,
                   const StopToken& stop);

    // Records the loss of the link; `reason` is the system's text.
    void markLost(const QString& reason);
    // "装置との接続が切れました (...): reason".
    QString lostText() const;
    // A write that found the link gone.
    WriteResult lostWrite() const {
        WriteResult r;
        r.status = IoStatus::Lost;
        r.error = lostText();
        return r;
    }
    // The end of a line read that did not get its line.
    LineResult lineFailure(Wait why);
    // The line `r` was over-long and the end of its answer was not found
    // (more than overlongDropMax bytes, or the time-out passed): the link is
    // out of step. Everything read so far and all input until the line has
    // been quiet for `quietMs` (at most limits_.resyncQuietMaxMs) is dropped,
    // within twice that time and at most limits_.resyncDropMax bytes. Then
    // `r` is returned, `overlong`; a line that does not fall quiet so gives
    // Failed: the answers can no longer be told apart.
    LineResult resynchronise(LineResult r, qint64 quietMs, SteadyClock::time_point waitStart, const StopToken& stop);

    LinkLimits limits_;
    QByteArray pending_;  // input read but not yet used (TCP only)
    bool lost_ = false;
    QString lostReason_;
    SteadyClock::time_point noticedFor_{};  // the wait whose slow notice was given
};

}  // namespace qm
