#include "sim/SimTcpServer.h"

#include "sim/SimInstrument.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtDebug>

namespace qmsim {

SimTcpServer::SimTcpServer(SimInstrument* instrument, QObject* parent)
    : QObject(parent), m_instrument(instrument), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimTcpServer::onNewConnection);
    connect(m_instrument, &SimInstrument::output, this, &SimTcpServer::onOutput);
    connect(m_instrument, &SimInstrument::dropRequested, this, &SimTcpServer::onDrop);
    connect(m_instrument, &SimInstrument::outageRequested, this, [this](int ms) {
        if (current())
            outage(ms);
    });
    connect(m_instrument, &SimInstrument::backlogRequested, this, [this](const QObject* client, qint64* bytes) {
        if (QTcpSocket* s = socketOf(client))
            *bytes += s->bytesToWrite();
    });
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, &SimTcpServer::onResumeTimer);
}

SimTcpServer::~SimTcpServer()
{
    for (QTcpSocket* s : m_sockets)
        m_instrument->detach(s);
}

bool SimTcpServer::listen(const QHostAddress& address, quint16 port)
{
    if (!m_server->listen(address, port))
        return false;
    m_address = m_server->serverAddress();
    m_port = m_server->serverPort();
    m_paused = false;
    m_resumeTimer.stop();
    return true;
}

quint16 SimTcpServer::port() const
{
    return m_paused ? m_port : m_server->serverPort();
}

QHostAddress SimTcpServer::address() const
{
    return m_paused ? m_address : m_server->serverAddress();
}

bool SimTcpServer::isListening() const
{
    return m_server->isListening();
}

QString SimTcpServer::errorString() const
{
    return m_server->errorString();
}

void SimTcpServer::dropConnections()
{
    const QList<QTcpSocket*> sockets = m_sockets;
    for (QTcpSocket* s : sockets)
        s->abort();  // emits disconnected(), which forgets the socket
}

void SimTcpServer::close()
{
    m_resumeTimer.stop();
    m_paused = false;
    m_server->close();
    dropConnections();
}

void SimTcpServer::pause()
{
    m_resumeTimer.stop();
    if (!m_server->isListening())
        return;
    m_server->close();
    m_paused = true;
    emit listeningChanged(false);
}

bool SimTcpServer::resume()
{
    m_resumeTimer.stop();
    if (!m_paused)
        return m_server->isListening();
    if (!m_server->listen(m_address, m_port))
        return false;
    m_paused = false;
    emit listeningChanged(true);
    return true;
}

void SimTcpServer::outage(int ms)
{
    QTcpSocket* cur = current();
    const QList<QTcpSocket*> sockets = m_sockets;
    for (QTcpSocket* s : sockets) {
        if (s == cur)
            s->disconnectFromHost();  // written answers still leave
        else
            s->abort();
    }
    pause();
    if (m_paused)
        m_resumeTimer.start(std::max(0, ms));
}

void SimTcpServer::onResumeTimer()
{
    if (resume())
        return;
    // Someone else holds the port for now: try again soon.
    qWarning("quillmeter-sim: cannot listen again on port %u: %s", unsigned(m_port),
             qPrintable(m_server->errorString()));
    m_resumeTimer.start(100);
}

void SimTcpServer::onNewConnection()
{
    while (QTcpSocket* s = m_server->nextPendingConnection()) {
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_sockets << s;
        connect(s, &QTcpSocket::readyRead, this, [this, s] { m_instrument->feed(s->readAll(), s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            if (!m_sockets.removeOne(s))
                return;
            m_instrument->detach(s);
            s->deleteLater();
            emit clientDisconnected();
        });
        emit clientConnected();
    }
}

QTcpSocket* SimTcpServer::socketOf(const QObject* client) const
{
    for (QTcpSocket* s : m_sockets)
        if (s == client)
            return s;
    return nullptr;
}

QTcpSocket* SimTcpServer::current() const
{
    return socketOf(m_instrument->client());
}

void SimTcpServer::onOutput(const QByteArray& bytes)
{
    if (QTcpSocket* s = current())
        s->write(bytes);
}

void SimTcpServer::onDrop()
{
    // Written answers still leave before the connection closes.
    if (QTcpSocket* s = current())
        s->disconnectFromHost();
}

}  // namespace qmsim
