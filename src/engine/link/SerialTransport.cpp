#include "engine/link/SerialTransport.h"

#include "engine/link/StreamTransport.h"

#include <QSerialPort>
#include <algorithm>
#include <limits>

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;

constexpr qint64 kTakeAll = std::numeric_limits<int>::max();
constexpr int kBaud = 38400;

qint64 MsUntil(SteadyClock::time_point t) { return std::chrono::ceil<Ms>(t - SteadyClock::now()).count(); }

class SerialTransport final : public StreamTransport {
public:
    SerialTransport(std::unique_ptr<QSerialPort> port, QString name, const LinkLimits& limits)
        : StreamTransport(limits), port_(std::move(port)), name_(std::move(name)) {}
    ~SerialTransport() override {
        if (port_->isOpen()) port_->close();
    }

    QString describe() const override { return name_; }
    WriteResult write(const QByteArray& bytes, const StopToken& stop) override;
    LineResult readLine(int32_t maxBytes, double timeoutSeconds, const StopToken& stop) override;
    void close(int flushMs) override;

protected:
    Pull pull(QByteArray& dst, qint64 max, int waitMs) override;
    double nominalBytesPerSecond() const override { return kBaud / 10.0; }
    bool keepsTail() const override { return false; }

private:
    // False (and the link marked lost) once the device is gone: unplugged,
    // closed, or reads and writes fail.
    bool deviceOk();

    std::unique_ptr<QSerialPort> port_;
    QString name_;
};

bool SerialTransport::deviceOk() {
    if (lost_) return false;
    if (!port_->isOpen()) {
        markLost(QStringLiteral("ポートが閉じています"));
        return false;
    }
    switch (port_->error()) {
        case QSerialPort::ResourceError:
        case QSerialPort::PermissionError:
        case QSerialPort::DeviceNotFoundError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            markLost(port_->errorString());
            return false;
        default:
            return true;
    }
}

StreamTransport::Pull SerialTransport::pull(QByteArray& dst, qint64 max, int waitMs) {
    if (!deviceOk()) return Pull::Lost;
    if (port_->bytesAvailable() == 0) {
        port_->waitForReadyRead(waitMs);
        if (!deviceOk()) return Pull::Lost;
        if (port_->bytesAvailable() == 0) return Pull::Quiet;
    }
    // read(n) sets n bytes aside first: never ask for more than waits.
    dst += port_->read(std::min(max, port_->bytesAvailable()));
    return Pull::Data;
}

WriteResult SerialTransport::write(const QByteArray& bytes, const StopToken& stop) {
    WriteResult r;
    if (!deviceOk()) return lostWrite();
    if (port_->write(bytes) != bytes.size()) {
        markLost(port_->errorString());
        return lostWrite();
    }
    const auto start = SteadyClock::now();
    const auto until = start + Ms(limits_.sendTimeoutMs);
    while (port_->bytesToWrite() > 0) {
        if (!deviceOk()) return lostWrite();
        if (stop.interrupts(start)) {
            r.status = IoStatus::Stopped;
            return r;
        }
        const qint64 left = MsUntil(until);
        if (left <= 0) {
            markLost(QStringLiteral("送信が %1 秒以上止まっています").arg(limits_.sendTimeoutMs / 1000.0));
            return lostWrite();
        }
        port_->waitForBytesWritten(int(std::min<qint64>(left, kStopSliceMs)));
    }
    return r;
}

LineResult SerialTransport::readLine(int32_t, double timeoutSeconds, const StopToken& stop) {
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

void SerialTransport::close(int flushMs) {
    if (port_->isOpen() && deviceOk()) {
        // Closing commands ("TRMD ...", "GTL") must leave before the port closes.
        const auto until = SteadyClock::now() + Ms(std::max(flushMs, 0));
        port_->flush();
        while (port_->bytesToWrite() > 0 && deviceOk()) {
            const qint64 left = MsUntil(until);
            if (left <= 0) break;
            port_->waitForBytesWritten(int(std::min<qint64>(left, kStopSliceMs)));
        }
    }
    if (port_->isOpen()) port_->close();
    markLost(QStringLiteral("ポートは閉じられています"));
}
}  // namespace

QString SerialDeviceFor(int comNumber) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comNumber);
#else
    const QByteArray env = qgetenv(QStringLiteral("QUILLMETER_COM%1").arg(comNumber).toLatin1().constData());
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    return QStringLiteral("/dev/ttyACM%1").arg(comNumber - 1);
#endif
}

OpenResult OpenSerial(int comNumber, const StopToken& stop) { return OpenSerial(comNumber, stop, LinkLimits{}); }

OpenResult OpenSerial(int comNumber, const StopToken& stop, const LinkLimits& limits) {
    OpenResult out;
    const QString com = QStringLiteral("COM%1").arg(comNumber);
    if (stop.aborted()) {
        out.stopped = true;
        out.error = QStringLiteral("%1 を開く前に中断しました").arg(com);
        return out;
    }
    if (comNumber <= 0) {
        out.error = QStringLiteral("%1 は使えないポート番号です").arg(com);
        return out;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(SerialDeviceFor(comNumber));
    port->setBaudRate(kBaud);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        out.error = QStringLiteral("%1 (%2) を開けません: %3").arg(com, port->portName(), port->errorString());
        return out;
    }
    // What waits in the port from before answers nothing this link asked.
    port->clear(QSerialPort::Input);
    port->readAll();
    const QString name = QStringLiteral("%1 (%2)").arg(com, port->portName());
    out.transport = std::make_unique<SerialTransport>(std::move(port), name, limits);
    return out;
}

}  // namespace qm
