#include "link/CommPort.h"

#include "engine/text/Errors.h"

#include <QSerialPort>
#include <QStringList>

CommPort::CommPort(QObject* parent) : QObject(parent), serial_(new QSerialPort(this)) {}

CommPort::~CommPort() {
    if (serial_->isOpen()) serial_->close();
}

QString CommPort::DeviceForPort(int n) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QByteArray env = qgetenv(QStringLiteral("QUILLMETER_COM%1").arg(n).toLatin1().constData());
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    return QStringLiteral("/dev/ttyACM%1").arg(n - 1);
#endif
}

bool CommPort::PortOpen() const { return serial_->isOpen(); }

void CommPort::SetPortOpen(bool open) {
    if (!open) {
        if (serial_->isOpen()) serial_->close();
        return;
    }
    if (serial_->isOpen()) return;
    if (port_ <= 0) throw LinkError(QStringLiteral("COM%1 は使えないポート番号です").arg(port_));

    // "38400,n,8,1": baud rate, parity, data bits, stop bits.
    const QStringList f = settings_.split(QLatin1Char(','));
    bool ok = f.size() == 4;
    const int baud = ok ? f[0].trimmed().toInt(&ok) : 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    if (ok) {
        const QString p = f[1].trimmed().toLower();
        if (p == QLatin1String("n")) parity = QSerialPort::NoParity;
        else if (p == QLatin1String("e")) parity = QSerialPort::EvenParity;
        else if (p == QLatin1String("o")) parity = QSerialPort::OddParity;
        else if (p == QLatin1String("m")) parity = QSerialPort::MarkParity;
        else if (p == QLatin1String("s")) parity = QSerialPort::SpaceParity;
        else ok = false;
    }
    const int bits = ok ? f[2].trimmed().toInt(&ok) : 0;
    const QString stop = ok ? f[3].trimmed() : QString();
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    if (stop == QLatin1String("1")) stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5")) stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2")) stopBits = QSerialPort::TwoStop;
    else ok = false;
    if (!ok || baud <= 0 || bits < 5 || bits > 8) throw LinkError(QStringLiteral("通信設定 \"%1\" が不正です").arg(settings_));

    serial_->setPortName(DeviceForPort(port_));
    if (!serial_->open(QIODevice::ReadWrite))
        throw LinkError(QStringLiteral("%1 (%2) を開けません: %3").arg(QStringLiteral("COM%1").arg(port_), serial_->portName(),
                                                                    serial_->errorString()));
    serial_->setBaudRate(baud);
    serial_->setParity(parity);
    serial_->setDataBits(static_cast<QSerialPort::DataBits>(bits));
    serial_->setStopBits(stopBits);
    serial_->setFlowControl(handshaking_ == 0 ? QSerialPort::NoFlowControl : QSerialPort::HardwareControl);
}

bool CommPort::DeviceFailed() const {
    if (!serial_->isOpen()) return true;
    const auto err = serial_->error();
    return err == QSerialPort::ResourceError || err == QSerialPort::PermissionError ||
           err == QSerialPort::DeviceNotFoundError;
}

int CommPort::InBufferCount() {
    if (!serial_->isOpen()) throw LinkError(QStringLiteral("シリアルポートが開いていません"));
    if (DeviceFailed())
        throw LinkError(QStringLiteral("シリアルポート %1 が使えなくなりました: %2").arg(serial_->portName(), serial_->errorString()));
    return static_cast<int>(serial_->bytesAvailable());
}

QByteArray CommPort::take() {
    if (!serial_->isOpen()) throw LinkError(QStringLiteral("シリアルポートが開いていません"));
    if (inputLen_ > 0) return serial_->read(inputLen_);
    return serial_->readAll();
}

QString CommPort::InputText() { return QString::fromLatin1(take()); }

QByteArray CommPort::InputBytes() { return take(); }

void CommPort::Output(const QByteArray& bytes) {
    if (!serial_->isOpen()) throw LinkError(QStringLiteral("シリアルポートが開いていません"));
    if (serial_->write(bytes) != bytes.size())
        throw LinkError(QStringLiteral("シリアルポート %1 に書き込めません: %2").arg(serial_->portName(), serial_->errorString()));
}
