#include "link/BlockRead.h"

#include "engine/text/Errors.h"
#include "common/EventWait.h"
#include "engine/text/NumText.h"
#include "link/CommPort.h"
#include "link/SockControl.h"

#include <QDeadlineTimer>
#include <algorithm>

namespace {
// Waits until have() reaches `want`; the silence bound restarts whenever more
// bytes arrive. Raises LinkError on silence or a lost link.
template <typename Have, typename Lost>
void WaitForBytes(qint64 want, Have have, Lost lost, const char* what) {
    qint64 last = have();
    QDeadlineTimer silence(kBlockSilenceMs);
    while (last < want) {
        if (lost()) throw LinkError(QStringLiteral("データの受信中に装置との接続が切れました (%1)").arg(QLatin1String(what)));
        if (silence.hasExpired())
            throw LinkError(QStringLiteral("装置からのデータが途中で止まりました (%1: %2 / %3 バイト)")
                                .arg(QLatin1String(what))
                                .arg(last)
                                .arg(want));
        qm::WaitUntil([&] { return have() != last || lost(); }, silence);
        const qint64 now = have();
        if (now != last) {
            last = now;
            silence = QDeadlineTimer(kBlockSilenceMs);
        }
    }
}

// After a block that went wrong (bad header, too long, stalled) the rest of it
// may still be on its way. Left alone it would be taken as the answer to the
// next query, so it is read and dropped until the line has been quiet for
// kDrainQuietMs (never longer than kDrainCapMs). waiting() and discard() may
// raise LinkError when the link fails meanwhile; the caller's error stands.
template <typename Waiting, typename Discard>
void DrainInput(Waiting waiting, Discard discard) {
    constexpr int kDrainQuietMs = 150;
    constexpr int kDrainCapMs = 2000;
    try {
        const QDeadlineTimer cap(kDrainCapMs);
        for (;;) {
            if (waiting() > 0) discard();
            if (cap.hasExpired()) return;
            const QDeadlineTimer quiet(std::min<qint64>(kDrainQuietMs, cap.remainingTime()));
            if (!qm::WaitUntil([&] { return waiting() > 0; }, quiet)) return;
        }
    } catch (const LinkError&) {
    }
}

// The ten header characters "#8dddddddd": the length n, checked against the
// caller's limit before anything is allocated.
int32_t ParseHeader(const QByteArray& head, int32_t limit) {
    const QByteArray field = head.mid(2, 8);
    const auto n = qm::StrictNumber(QString::fromLatin1(field));
    bool digitsOnly = field.size() == 8;
    for (char c : field)
        if (c != ' ' && (c < '0' || c > '9')) digitsOnly = false;
    if (head.size() != 10 || head[0] != '#' || !n || !digitsOnly || *n < 0)
        throw LinkError(QStringLiteral("装置からのデータのヘッダが不正です: \"%1\"").arg(QString::fromLatin1(head.toPercentEncoding(" #"))));
    if (*n > limit)
        throw LinkError(QStringLiteral("装置からのデータが大きすぎます (%1 バイト、上限 %2 バイト)")
                            .arg(static_cast<qint64>(*n))
                            .arg(limit));
    return static_cast<int32_t>(*n);
}
}  // namespace

namespace {
int32_t ReadSerialBlock(CommPort& MSComm1, QByteArray& bd, int32_t limit) {
    MSComm1.SetInputLen(1);
    MSComm1.SetInputMode(CommPort::comInputModeText);
    QByteArray head;
    for (int k = 0; k < 10; ++k) {
        WaitForBytes(1, [&] { return qint64(MSComm1.InBufferCount()); }, [] { return false; }, "header");
        head += MSComm1.InputBytes();
    }
    const int32_t n = ParseHeader(head, limit);
    MSComm1.SetInputLen(0);
    MSComm1.SetInputMode(CommPort::comInputModeBinary);
    QByteArray data;
    data.reserve(n);
    // The data and at least the terminator: n + 1 bytes. Bytes past the
    // terminator that arrive in the same chunk are dropped.
    qint64 received = 0;
    while (received <= n) {
        WaitForBytes(1, [&] { return qint64(MSComm1.InBufferCount()); }, [] { return false; }, "block");
        const QByteArray chunk = MSComm1.InputBytes();
        const qint64 room = n - static_cast<qint64>(data.size());
        if (room > 0) data.append(chunk.constData(), std::min<qint64>(room, chunk.size()));
        received += chunk.size();
    }
    bd = data;
    return n;
}

int32_t ReadTcpBlock(SockControl& dso, QByteArray& bd, int32_t limit) {
    const auto have = [&] { return dso.BytesReceived(); };
    const auto lost = [&] { return dso.Lost(); };
    WaitForBytes(10, have, lost, "header");
    const QByteArray head = dso.GetDataBytes(10);
    const int32_t n = ParseHeader(head, limit);
    WaitForBytes(qint64(n) + 1, have, lost, "block");
    QByteArray data = dso.GetDataBytes(n);
    dso.GetDataBytes(1);  // the terminator
    bd = std::move(data);
    return n;
}
}  // namespace

int32_t ReadBinFromComm(CommPort& MSComm1, QByteArray& bd, int32_t limit) {
    if (!MSComm1.PortOpen()) return 0;
    try {
        return ReadSerialBlock(MSComm1, bd, limit);
    } catch (const LinkError&) {
        if (!MSComm1.DeviceFailed())
            DrainInput([&] { return qint64(MSComm1.InBufferCount()); },
                       [&] {
                           MSComm1.SetInputLen(0);
                           MSComm1.SetInputMode(CommPort::comInputModeBinary);
                           MSComm1.InputBytes();
                       });
        throw;
    }
}

int32_t GetVBinWaveRS(CommPort& MSComm1, QByteArray& bd, int32_t limit) { return ReadBinFromComm(MSComm1, bd, limit); }

int32_t ReadBlockTcp(SockControl& dso, QByteArray& bd, int32_t limit) {
    try {
        return ReadTcpBlock(dso, bd, limit);
    } catch (const LinkError&) {
        if (!dso.Lost())
            DrainInput([&] { return dso.BytesReceived(); }, [&] { dso.GetDataBytes(dso.BytesReceived()); });
        throw;
    }
}
