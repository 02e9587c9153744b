#include "link/SockControl.h"

#include "engine/text/Errors.h"

#include <QTcpSocket>

SockControl::SockControl(QObject* parent) : QObject(parent), sock_(new QTcpSocket(this)) {
    connect(sock_, &QTcpSocket::connected, this, [this] {
        // Commands are short and often followed at once by a query: never let
        // them wait for a delayed acknowledgement.
        sock_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    });
    connect(sock_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        errorState_ = true;
        lost_ = true;
    });
    connect(sock_, &QTcpSocket::disconnected, this, [this] { lost_ = true; });
}

SockControl::~SockControl() { sock_->abort(); }

void SockControl::Connect() {
    lost_ = false;
    errorState_ = false;
    sock_->connectToHost(host_, static_cast<quint16>(port_));
}

void SockControl::Close() {
    sock_->abort();
    lost_ = false;
    errorState_ = false;
}

int16_t SockControl::State() const {
    switch (sock_->state()) {
    case QAbstractSocket::UnconnectedState: return errorState_ ? sckError : sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::BoundState: return sckOpen;
    case QAbstractSocket::ListeningState: return sckListening;
    case QAbstractSocket::ClosingState: return sckClosing;
    }
    return sckError;
}

QString SockControl::ErrorText() const { return sock_->errorString(); }

void SockControl::SendData(const QByteArray& bytes) {
    if (sock_->state() != QAbstractSocket::ConnectedState)
        throw LinkError(QStringLiteral("装置との接続が切れています (%1:%2)").arg(host_).arg(port_));
    if (sock_->write(bytes) != bytes.size())
        throw LinkError(QStringLiteral("装置へ送信できません: %1").arg(sock_->errorString()));
    sock_->flush();
}

qint64 SockControl::BytesReceived() const { return sock_->bytesAvailable(); }

qint64 SockControl::BytesToWrite() const { return sock_->bytesToWrite(); }

QString SockControl::GetDataText(qint64 maxLen) { return QString::fromLatin1(sock_->read(maxLen)); }

QByteArray SockControl::GetDataBytes(qint64 n) { return sock_->read(n); }
