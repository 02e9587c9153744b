#pragma once
// The socket control: a thin adapter over QTcpSocket with the states,
// events and reads that the TCP transport expects of it.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

class QTcpSocket;

class SockControl : public QObject {
    Q_OBJECT
public:
    // The control's state values.
    enum State : int16_t {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9
    };

    explicit SockControl(QObject* parent = nullptr);
    ~SockControl() override;

    QString RemoteHost() const { return host_; }
    void SetRemoteHost(const QString& h) { host_ = h; }
    int32_t RemotePort() const { return port_; }
    void SetRemotePort(int32_t p) { port_ = p; }

    void Connect();
    void Close();
    int16_t State() const;
    // True once the peer closed the connection or the socket failed after
    // being connected.
    bool Lost() const { return lost_; }
    QString ErrorText() const;

    // Sends the text as bytes (Latin-1). Raises LinkError when not connected.
    void SendData(const QByteArray& bytes);
    // Bytes received and waiting to be read.
    qint64 BytesReceived() const;
    // Reads waiting data as text, at most maxLen characters.
    QString GetDataText(qint64 maxLen);
    // Reads exactly n waiting bytes (fewer if fewer are waiting).
    QByteArray GetDataBytes(qint64 n);
    // Bytes still queued for sending.
    qint64 BytesToWrite() const;

    QTcpSocket* socket() const { return sock_; }

private:
    QTcpSocket* sock_;
    QString host_;
    int32_t port_ = 0;
    bool lost_ = false;
    bool errorState_ = false;
};
