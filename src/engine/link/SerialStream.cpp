#include "engine/link/SerialStream.h"

#include <limits>

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
        out.error = QStringLiteral("%1 を開く前に中断しました").arg(com);
    } else if (comNumber <= 0) {
        out.error = QStringLiteral("%1 は使えないポート番号です").arg(com);
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

OpenResult OpenSerial(int comNumber, const StopToken& stop) { return OpenSerial(comNumber, stop, LinkLimits{}); }

LineResult SerialStream::readLine(int32_t, double timeoutSeconds, const StopToken& stop) {
    const auto start = SteadyClock::now();
    const Ms silence(TimeoutMs(timeoutSeconds));
    auto last = start;
    QByteArray got;
    for (;;) {
        const Wait w = pullUntil(got, kTakeAll, last + silence, start, stop);
        if (w != Wait::Data) return lineFailure(w);
        last = SteadyClock::now();
        if (got.endsWith('\n') || got.size() >= kSerialLineLimit) break;
    }
    LineResult r;
    r.line = CutLine(got);
    if (got.contains('\n')) return r;  // a second line that came with the first is dropped

    // The limit was reached inside the line: the rest of it, up to its LF,
    // must not become the next answer.
    const auto until = SteadyClock::now() + silence;
    qint64 dropped = 0;
    bool text = false;
    QByteArray scratch;
    for (;;) {
        scratch.resize(0);
        const Wait w = pullUntil(scratch, kTakeAll, until, start, stop);
        if (w != Wait::Data) return lineFailure(w);
        const qsizetype lf = scratch.indexOf('\n');
        text = text || HoldsText(QByteArrayView(scratch).first(lf < 0 ? scratch.size() : lf));
        if (lf >= 0) {
            r.overlong = text;
            return r;
        }
        dropped += scratch.size();
        if (dropped > limits_.overlongDropMax) {
            r.overlong = true;
            return r;
        }
    }
}

}  // namespace qm
