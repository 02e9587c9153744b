// The serial transport over QSerialPort (Linux and other Unix systems).
// The port belongs to the thread that opened it; all waits are the port's own
// blocking waits (waitForReadyRead, waitForBytesWritten) in slices that see
// the stop token, so no event loop runs.
#include "engine/link/SerialStream.h"
#include <QCoreApplication>

#ifndef _WIN32

#include <QFile>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <unistd.h>

// The context of this file's texts in the translation catalogues.
namespace {
struct Texts {
    Q_DECLARE_TR_FUNCTIONS(SerialTransport)
};
}  // namespace

namespace qm {

namespace {
using Ms = std::chrono::milliseconds;

qint64 MsUntil(SteadyClock::time_point t) { return std::chrono::ceil<Ms>(t - SteadyClock::now()).count(); }

class SerialTransport final : public SerialStream {
public:
    SerialTransport(std::unique_ptr<QSerialPort> port, QString name, const LinkLimits& limits)
        : SerialStream(std::move(name), limits), port_(std::move(port)) {}
    ~SerialTransport() override {
        if (port_->isOpen()) port_->close();
    }

    WriteResult write(const QByteArray& bytes, const StopToken& stop) override;
    void close(int flushMs) override;

protected:
    Pull pull(QByteArray& dst, qint64 max, int waitMs) override;

private:
    // False (and the link marked lost) once the device is gone: unplugged,
    // closed, or reads and writes fail.
    bool deviceOk();

    std::unique_ptr<QSerialPort> port_;
};

bool SerialTransport::deviceOk() {
    if (lost_) return false;
    if (!port_->isOpen()) {
        markLost(Texts::tr("ポートが閉じています"));
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
            markLost(Texts::tr("送信が %1 秒以上止まっています").arg(limits_.sendTimeoutMs / 1000.0));
            return lostWrite();
        }
        port_->waitForBytesWritten(int(std::min<qint64>(left, kStopSliceMs)));
    }
    return r;
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
    markLost(Texts::tr("ポートは閉じられています"));
}

// Why the port did not open, from QSerialPort's error (which it takes from
// errno): ENOENT and ENODEV are a missing device; EACCES, EBUSY and a lock
// held by another process all come as PermissionError, told apart here by
// whether this user may read and write the device at all.
OpenFailure OpenFailureOf(const QSerialPort& port, const QString& device) {
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError: return OpenFailure::PortMissing;
    case QSerialPort::PermissionError: {
        const QByteArray path = QFile::encodeName(device);
        if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) return OpenFailure::NoPermission;
        return OpenFailure::PortBusy;
    }
    default: return OpenFailure::Other;
    }
}
}  // namespace

OpenResult OpenSerial(int comNumber, const StopToken& stop, const LinkLimits& limits) {
    OpenResult out = SerialOpenRefusal(comNumber, stop);
    if (!out.error.isEmpty()) return out;
    const QString device = SerialDeviceFor(comNumber);
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(device);
    port->setBaudRate(kSerialBaud);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite))
        return OpenFailed(SerialLinkName(comNumber, device), OpenFailureOf(*port, device), port->errorString());
    // What waits in the port from before answers nothing this link asked.
    port->clear(QSerialPort::Input);
    port->readAll();
    const QString name = SerialLinkName(comNumber, port->portName());
    out.transport = std::make_unique<SerialTransport>(std::move(port), name, limits);
    return out;
}

}  // namespace qm

#endif  // !_WIN32
