#include "engine/link/StreamTransport.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <limits>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(StreamTransport)
};
}  // namespace

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;

constexpr qint64 kDrainChunk = 64 * 1024;

qint64 MsUntil(SteadyClock::time_point t) { return std::chrono::ceil<Ms>(t - SteadyClock::now()).count(); }
}  // namespace

QByteArray CutLine(QByteArrayView bytes) {
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        if (c == '\r' || c == '\n') break;
        if (c != '\0') out.append(c);
    }
    return out;
}

bool HoldsText(QByteArrayView dropped) {
    return std::any_of(dropped.begin(), dropped.end(), [](char c) { return c != '\r' && c != '\n'; });
}

BlockHeader ParseBlockHeader(const QByteArray& head, int32_t limit) {
    // "#8", then the length in eight places: spaces, digits, spaces.
    bool ok = head.size() == 10 && head[0] == '#' && head[1] == '8';
    int32_t n = 0;
    int digits = 0;
    qsizetype p = 2;
    while (ok && p < 10 && head[p] == ' ') ++p;
    while (ok && p < 10 && head[p] >= '0' && head[p] <= '9') {
        n = n * 10 + (head[p++] - '0');  // eight digits fit
        ++digits;
    }
    while (ok && p < 10 && head[p] == ' ') ++p;
    if (!ok || digits == 0 || p != 10)
        return {-1, Texts::tr("装置からのデータのヘッダが不正です: \"%1\"")
                        .arg(QString::fromLatin1(head.toPercentEncoding(" #")))};
    if (n > limit)
        return {-1, Texts::tr("装置からのデータが大きすぎます (%1 バイト、上限 %2 バイト)").arg(n).arg(limit)};
    return {n, {}};
}

qint64 TimeoutMs(double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<qint64>(std::ceil(std::min(seconds, 86400.0) * 1000.0));
}

StreamTransport::Wait StreamTransport::pullUntil(QByteArray& dst, qint64 max, SteadyClock::time_point until,
                                                 SteadyClock::time_point waitStart, const StopToken& stop) {
    for (;;) {
        if (stop.interrupts(waitStart)) return Wait::Stopped;
        if (slowNotice_ && noticedFor_ != waitStart && SteadyClock::now() - waitStart >= Ms(limits_.slowNoticeMs)) {
            noticedFor_ = waitStart;
            slowNotice_();
        }
        const int slice = static_cast<int>(std::clamp<qint64>(MsUntil(until), 0, kStopSliceMs));
        switch (pull(dst, max, slice)) {
            case Pull::Data:
                return Wait::Data;
            case Pull::Lost:
                return Wait::Lost;
            case Pull::Quiet:
                break;
        }
        if (SteadyClock::now() >= until) return Wait::Expired;
    }
}

void StreamTransport::markLost(const QString& reason) {
    if (lost_) return;
    lost_ = true;
    lostReason_ = reason;
}

QString StreamTransport::lostText() const {
    return Texts::tr("装置との接続が切れました (%1): %2").arg(describe(), lostReason_);
}

LineResult StreamTransport::lineFailure(Wait why) {
    // Whatever part of the answer came is dropped with it.
    pending_.clear();
    LineResult r;
    switch (why) {
        case Wait::Expired:
            r.status = IoStatus::TimedOut;
            break;
        case Wait::Stopped:
            r.status = IoStatus::Stopped;
            break;
        case Wait::Lost:
        case Wait::Data:  // not an end; treated as lost to be safe
            r.status = IoStatus::Lost;
            r.error = lostText();
            break;
    }
    return r;
}

LineResult StreamTransport::resynchronise(LineResult r, qint64 quietMs, SteadyClock::time_point waitStart,
                                         const StopToken& stop) {
    pending_.clear();
    const Ms quiet(std::max<qint64>(0, std::min(quietMs, limits_.resyncQuietMaxMs)));
    const auto begin = SteadyClock::now();
    const auto bound = begin + 2 * quiet;
    auto last = begin;
    qint64 dropped = 0;
    QByteArray scratch;
    for (;;) {
        scratch.resize(0);
        const Wait w = pullUntil(scratch, kDrainChunk, std::min(last + quiet, bound), waitStart, stop);
        if (w == Wait::Data) {
            last = SteadyClock::now();
            dropped += scratch.size();
            if (dropped <= limits_.resyncDropMax) continue;
        } else if (w != Wait::Expired) {
            return lineFailure(w);
        } else if (SteadyClock::now() - last >= quiet) {
            r.overlong = true;
            return r;
        }
        LineResult failed;
        failed.status = IoStatus::Failed;
        failed.error = Texts::tr("装置の応答が終わりません (%1: %2 バイトを読み捨てました)")
                           .arg(describe())
                           .arg(dropped);
        return failed;
    }
}

BlockResult StreamTransport::readBlock(int32_t limit, const StopToken& stop) {
    BlockResult r;
    if (lost_) {
        r.status = IoStatus::Lost;
        r.error = lostText();
        return r;
    }
    const auto start = SteadyClock::now();
    const Ms silence(limits_.blockSilenceMs);
    auto deadline = start + Ms(limits_.blockBaseMs);
    auto lastArrival = start;

    // Waits for more of the block; false (with r filled in) when the block is given up.
    const char* what = "header";
    qint64 want = 10;
    const auto more = [&](QByteArray& into, qint64 max) {
        const auto until = std::min(lastArrival + silence, deadline);
        const Wait w = pullUntil(into, max, until, start, stop);
        if (w == Wait::Data) {
            lastArrival = SteadyClock::now();
            return true;
        }
        pending_.clear();
        if (w == Wait::Stopped) {
            r.status = IoStatus::Stopped;
        } else if (w == Wait::Lost) {
            r.status = IoStatus::Lost;
            r.error = Texts::tr("データの受信中に装置との接続が切れました (%1): %2").arg(describe(), lostReason_);
        } else if (until == deadline && SteadyClock::now() >= deadline) {
            r.status = IoStatus::Failed;
            r.error = Texts::tr("装置からのデータが時間内に届きません (%1: %2 / %3 バイト、%4 秒)")
                          .arg(QLatin1String(what))
                          .arg(into.size())
                          .arg(want)
                          .arg(std::chrono::duration<double>(deadline - start).count(), 0, 'f', 1);
        } else {
            r.status = IoStatus::Failed;
            r.error = Texts::tr("装置からのデータが途中で止まりました (%1: %2 / %3 バイト)")
                          .arg(QLatin1String(what))
                          .arg(into.size())
                          .arg(want);
        }
        return false;
    };
    const auto failed = [&](BlockResult&& res) {
        // The rest of a spoiled block would otherwise be taken for the next answer.
        if (res.status == IoStatus::Failed && !lost_) drain(stop);
        return std::move(res);
    };

    QByteArray head = pending_.left(10);
    pending_.remove(0, head.size());
    while (head.size() < 10)
        if (!more(head, 10 - head.size())) return failed(std::move(r));

    const BlockHeader h = ParseBlockHeader(head, limit);
    if (h.n < 0) {
        r.status = IoStatus::Failed;
        r.error = h.error;
        return failed(std::move(r));
    }
    const double rate = limits_.blockBytesPerSecond > 0 ? limits_.blockBytesPerSecond : nominalBytesPerSecond();
    deadline += Ms(static_cast<qint64>(std::ceil(2000.0 * h.n / rate)));

    // The data and the terminator byte.
    what = "block";
    want = qint64(h.n) + 1;
    QByteArray data;
    data.reserve(want);
    data.append(pending_.constData(), std::min<qint64>(pending_.size(), want));
    pending_.remove(0, data.size());
    while (data.size() < want) {
        const qint64 max = keepsTail() ? want - data.size() : std::numeric_limits<int>::max();
        if (!more(data, max)) return failed(std::move(r));
        if (data.size() > want) data.truncate(want);  // serial: what came after the block is dropped
    }
    data.truncate(h.n);
    r.data = std::move(data);
    r.announced = h.n;
    return r;
}

void StreamTransport::drain(const StopToken& stop) {
    pending_.clear();
    const auto start = SteadyClock::now();
    const auto cap = start + Ms(limits_.drainCapMs);
    QByteArray scratch;
    for (;;) {
        const auto quietUntil = std::min(SteadyClock::now() + Ms(limits_.drainQuietMs), cap);
        scratch.clear();
        if (pullUntil(scratch, kDrainChunk, quietUntil, start, stop) != Wait::Data) return;
        if (SteadyClock::now() >= cap) return;
    }
}

}  // namespace qm
