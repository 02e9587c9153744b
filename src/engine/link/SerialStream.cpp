#include "engine/link/SerialStream.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(SerialStream)
};
}  // namespace

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;
constexpr qint64 kTakeAll = std::numeric_limits<int>::max();
}  // namespace

QString SerialDevicePath(int comNumber, bool windows, const QString& override) {
    if (windows) return QStringLiteral("\\\\.\\COM%1").arg(comNumber);
    if (!override.isEmpty()) return override;
    return QStringLiteral("/dev/ttyACM%1").arg(comNumber - 1);
}

QString SerialLinkName(int comNumber, const QString& device) {
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (device == QStringLiteral("\\\\.\\") + com) return com;
    return QStringLiteral("%1 (%2)").arg(com, device);
}

OpenResult SerialOpenRefusal(int comNumber, const StopToken& stop) {
    OpenResult out;
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (stop.aborted()) {
        out.stopped = true;
        out.error = Texts::tr("%1 を開く前に中断しました").arg(com);
    } else if (comNumber <= 0) {
        out.error = Texts::tr("%1 は使えないポート番号です").arg(com);
        out.failure = OpenFailure::PortMissing;
    }
    return out;
}

QString SerialDeviceFor(int comNumber) {
#ifdef _WIN32
    return SerialDevicePath(comNumber, true, {});
#else
    const QByteArray env = qgetenv(QStringLiteral("QUILLMETER_COM%1").arg(comNumber).toLatin1().constData());
    return SerialDevicePath(comNumber, false, QString::fromLocal8Bit(env));
#endif
}


LineResult SerialStream::readLine(int32_t, double timeoutSeconds, const StopToken& stop) {
    const auto start = SteadyClock::now();
    const qint64 timeoutMs = TimeoutMs(timeoutSeconds);
    const Ms silence(timeoutMs);
    auto last = start;
    QByteArray got;
    qsizetype lf = -1;
    while (lf < 0 && got.size() < kSerialLineLimit) {
        const qsizetype had = got.size();
        const Wait w = pullUntil(got, kTakeAll, last + silence, start, stop);
        if (w != Wait::Data) return lineFailure(w);
        last = SteadyClock::now();
        lf = got.indexOf('\n', had);
    }
    LineResult r;
    if (lf >= 0 && lf <= kSerialLineLimit) {
        // The answer is the text up to its first LF: what came after it in
        // the same read is dropped, and said when it was more than line ends.
        r.line = CutLine(QByteArrayView(got).first(lf));
        r.overlong = HoldsText(QByteArrayView(got).sliced(lf + 1));
        return r;
    }

    // The answer is longer than the limit: the rest of it, up to its LF, must
    // not become the next answer. When its end does not come within
    // overlongDropMax bytes and the time-out (counted from here), the link is
    // resynchronised.
    r.line = CutLine(QByteArrayView(got).first(kSerialLineLimit));
    const auto until = SteadyClock::now() + silence;
    QByteArray rest = got.sliced(kSerialLineLimit);
    got.clear();
    qint64 dropped = 0;
    bool text = false;
    for (;;) {
        const qsizetype window = std::clamp<qint64>(limits_.overlongDropMax - dropped + 1, 0, rest.size());
        const QByteArrayView seen = QByteArrayView(rest).first(window);
        lf = seen.indexOf('\n');
        text = text || HoldsText(lf < 0 ? seen : seen.first(lf));
        if (lf >= 0) {
            r.overlong = text || HoldsText(QByteArrayView(rest).sliced(lf + 1));
            return r;
        }
        dropped += window;
        if (dropped > limits_.overlongDropMax) return resynchronise(std::move(r), timeoutMs, start, stop);
        rest.resize(0);
        const Wait w = pullUntil(rest, kTakeAll, until, start, stop);
        if (w == Wait::Expired) return resynchronise(std::move(r), timeoutMs, start, stop);
        if (w != Wait::Data) return lineFailure(w);
    }
}

}  // namespace qm
