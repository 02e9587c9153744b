#pragma once
// The simulated instrument on a TCP port. Any number of clients may be
// connected; they all talk to the one instrument, and its answers go to the
// client that sent the last bytes. A drop requested by the instrument closes
// that client's connection; an outage requested by it closes every connection
// and refuses new ones for a while (see outage()).
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

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
    // While paused: the port that resume() listens on again.
    quint16 port() const;
    QHostAddress address() const;
    QString errorString() const;
    bool isListening() const;
    bool isPaused() const { return m_paused; }
    int connectionCount() const { return int(m_sockets.size()); }
    // Closes every client connection (the server keeps listening).
    void dropConnections();
    // Stops listening and closes every client connection.
    void close();

    // Closes the listening socket, so that clients see "connection refused";
    // open connections stay. Cancels a resume planned by outage().
    void pause();
    // Listens again on the same address and port. False (see errorString())
    // when that fails or when the server was never listening.
    bool resume();
    // Closes every connection (the current one after its written answers),
    // pauses, and resumes after `ms`.
    void outage(int ms);

signals:
    void clientConnected();
    void clientDisconnected();
    void listeningChanged(bool listening);

private:
    void onNewConnection();
    void onOutput(const QByteArray& bytes);
    void onDrop();
    void onResumeTimer();
    QTcpSocket* socketOf(const QObject* client) const;
    QTcpSocket* current() const;

    SimInstrument* m_instrument;
    QTcpServer* m_server;
    QList<QTcpSocket*> m_sockets;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_paused = false;
    QTimer m_resumeTimer;
};

}  // namespace qmsim
