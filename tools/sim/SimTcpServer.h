#pragma once
// The simulated instrument on a TCP port. Any number of clients may be
// connected; they all talk to the one instrument, and its answers go to the
// client that sent the last bytes. A drop requested by the instrument closes
// that client's connection.
#include <QHostAddress>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace qmsim {

class SimInstrument;

class SimTcpServer : public QObject {
    Q_OBJECT
public:
    // The instrument is not owned; it must outlive the server.
    explicit SimTcpServer(SimInstrument* instrument, QObject* parent = nullptr);
    ~SimTcpServer() override;

    // Port 0 picks a free port. False (see errorString()) when it cannot listen.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;
    QHostAddress address() const;
    QString errorString() const;
    int connectionCount() const { return int(m_sockets.size()); }
    // Closes every client connection (the server keeps listening).
    void dropConnections();
    // Stops listening and closes every client connection.
    void close();

signals:
    void clientConnected();
    void clientDisconnected();

private:
    void onNewConnection();
    void onOutput(const QByteArray& bytes);
    void onDrop();
    QTcpSocket* current() const;

    SimInstrument* m_instrument;
    QTcpServer* m_server;
    QList<QTcpSocket*> m_sockets;
};

}  // namespace qmsim
