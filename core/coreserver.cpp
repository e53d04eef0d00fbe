#include "coreserver.h"

#include "platform/logging.h"
#include "protocol/coreprotocol.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

CoreServer::CoreServer(QObject *parent)
    : QObject(parent)
{ }

CoreServer::~CoreServer()
{
    if (m_player)
        m_player->abort();
}

QLocalServer *CoreServer::createServer(const QString &channel)
{
    if (channel.isEmpty() || channel.contains(QLatin1Char('/')) || channel.contains(QLatin1Char('\\'))) {
        qCWarning(lcCore).noquote() << "refusing channel name" << channel;
        return nullptr;
    }
    const QString name = CoreProtocol::socketName(channel);
    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name) && server->serverError() == QAbstractSocket::AddressInUseError) {
        // Only a socket file nobody answers on is ours to take over.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            probe.abort();
        } else {
            QLocalServer::removeServer(name);
            server->listen(name);
        }
    }
    if (!server->isListening()) {
        qCWarning(lcCore).noquote() << "cannot listen on channel" << channel << ":" << server->errorString();
        delete server;
        return nullptr;
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] { accept(server); });
    qCInfo(lcCore).noquote() << "listening on channel" << channel;
    return server;
}

bool CoreServer::listen(const QString &channel)
{
    QLocalServer *server = createServer(channel);
    if (!server)
        return false;
    delete m_server;
    m_server = server;
    return true;
}

bool CoreServer::moveTo(const QString &channel)
{
    if (m_server && m_server->serverName() == CoreProtocol::socketName(channel))
        return true;
    QLocalServer *server = createServer(channel);
    if (!server)
        return false;
    // The player keeps its current connection until it notices the new name.
    dropOldServer();
    m_oldServer = m_server;
    m_server = server;
    return true;
}

void CoreServer::dropOldServer()
{
    if (!m_oldServer)
        return;
    m_oldServer->close();
    m_oldServer->deleteLater();
    m_oldServer = nullptr;
}

QString CoreServer::channel() const
{
    return m_server ? QFileInfo(m_server->serverName()).fileName() : QString();
}

QString CoreServer::fullServerName() const
{
    return m_server ? m_server->fullServerName() : QString();
}

bool CoreServer::isConnected() const
{
    return m_player && m_player->state() == QLocalSocket::ConnectedState;
}

qint64 CoreServer::pendingBytes() const
{
    return m_player ? m_player->bytesToWrite() : 0;
}

void CoreServer::accept(QLocalServer *server)
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        if (m_player) {
            qCInfo(lcCore).noquote() << "a new player connection replaces the old one";
            QLocalSocket *old = m_player;
            old->disconnect(this);
            old->abort();
            old->deleteLater();
        }
        m_player = socket;
        m_reader.clear();
        connect(socket, &QLocalSocket::readyRead, this, &CoreServer::readRequests);
        connect(socket, &QLocalSocket::bytesWritten, this, &CoreServer::replyBytesWritten);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            if (m_player == socket) {
                qCInfo(lcCore).noquote() << "player disconnected";
                m_player = nullptr;
                emit playerDisconnected();
            }
        });
        if (server == m_server)
            dropOldServer();
        qCInfo(lcCore).noquote() << "player connected on channel" << server->serverName();
        emit playerConnected();
    }
}

void CoreServer::readRequests()
{
    QLocalSocket *socket = m_player;
    if (!socket)
        return;
    m_reader.append(socket->readAll());
    CoreRequest request;
    FrameReader::Status status;
    while ((status = m_reader.next(request)) == FrameReader::FrameReady) {
        emit requestReceived(request.type, request.arguments);
        if (m_player != socket)
            return; // the handler replaced or lost the connection
    }
    if (status == FrameReader::Corrupt) {
        qCWarning(lcCore).noquote() << "malformed request frame, dropping the connection:"
                                    << m_reader.errorString();
        m_reader.clear();
        socket->abort();
    }
}

void CoreServer::send(qint32 type, const QList<QStringList> &rows)
{
    if (!isConnected())
        return;
    m_player->write(CoreProtocol::encodeReply(type, rows));
}
