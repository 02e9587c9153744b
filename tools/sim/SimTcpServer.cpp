#include "sim/SimTcpServer.h"

#include "sim/SimInstrument.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace qmsim {

SimTcpServer::SimTcpServer(SimInstrument* instrument, QObject* parent)
    : QObject(parent), m_instrument(instrument), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &SimTcpServer::onNewConnection);
    connect(m_instrument, &SimInstrument::output, this, &SimTcpServer::onOutput);
    connect(m_instrument, &SimInstrument::dropRequested, this, &SimTcpServer::onDrop);
}

SimTcpServer::~SimTcpServer()
{
    for (QTcpSocket* s : m_sockets)
        m_instrument->detach(s);
}

bool SimTcpServer::listen(const QHostAddress& address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 SimTcpServer::port() const
{
    return m_server->serverPort();
}

QHostAddress SimTcpServer::address() const
{
    return m_server->serverAddress();
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
    m_server->close();
    dropConnections();
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

QTcpSocket* SimTcpServer::current() const
{
    for (QTcpSocket* s : m_sockets)
        if (s == m_instrument->client())
            return s;
    return nullptr;
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
