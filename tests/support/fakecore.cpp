#include "fakecore.h"

#include "protocol/coreprotocol.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTest>
#include <QTimer>
#include <QUuid>

FakeCore::FakeCore(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &FakeCore::accept);
}

FakeCore::~FakeCore()
{
    if (m_client)
        m_client->abort();
}

QString FakeCore::uniqueChannelName(const QString &stem)
{
    return stem + QLatin1Char('-') + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-')
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
}

bool FakeCore::listen(const QString &name)
{
    m_server->close();
    QLocalServer::removeServer(CoreProtocol::socketName(name));
    m_name = name;
    return m_server->listen(CoreProtocol::socketName(name));
}

void FakeCore::stopListening()
{
    m_server->close();
}

bool FakeCore::hasClient() const
{
    return m_client && m_client->state() == QLocalSocket::ConnectedState;
}

bool FakeCore::waitForClient(int timeoutMs)
{
    return QTest::qWaitFor([this] { return hasClient(); }, timeoutMs);
}

bool FakeCore::waitForConnectionCount(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return m_connections >= count && hasClient(); }, timeoutMs);
}

bool FakeCore::waitForRequests(int count, int timeoutMs)
{
    return QTest::qWaitFor([this, count] { return m_requests.size() >= count; }, timeoutMs);
}

QList<CoreRequest> FakeCore::requestsOfType(int type) const
{
    QList<CoreRequest> out;
    for (const CoreRequest &request : m_requests)
        if (request.type == type)
            out.append(request);
    return out;
}

void FakeCore::clearRecorded()
{
    m_requests.clear();
    m_received.clear();
}

void FakeCore::accept()
{
    while (QLocalSocket *next = m_server->nextPendingConnection()) {
        // One client at a time, like the real core.
        if (m_client) {
            m_client->disconnect(this);
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = next;
        m_reader.clear();
        ++m_connections;
        connect(next, &QLocalSocket::readyRead, this, &FakeCore::readClient);
        connect(next, &QLocalSocket::disconnected, this, &FakeCore::clientDisconnected);
        emit clientConnected();
        readClient();
    }
}

void FakeCore::readClient()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    m_received += bytes;
    m_reader.append(bytes);
    CoreRequest request;
    FrameReader::Status status;
    while ((status = m_reader.next(request)) == FrameReader::FrameReady) {
        m_requests.append(request);
        emit requestReceived(request);
        const auto it = m_answers.constFind(request.type);
        if (it != m_answers.constEnd())
            sendRaw(it.value());
    }
    if (status == FrameReader::Corrupt) {
        emit badRequest(m_reader.errorString());
        dropClient();
    }
}

void FakeCore::reply(int type, const QList<QStringList> &rows)
{
    sendRaw(CoreProtocol::encodeReply(type, rows));
}

void FakeCore::sendRaw(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void FakeCore::sendInPieces(const QByteArray &bytes, const QList<qsizetype> &cuts, int gapMs)
{
    qsizetype from = 0;
    int delay = 0;
    QList<qsizetype> ends = cuts;
    ends.append(bytes.size());
    for (qsizetype end : ends) {
        const QByteArray piece = bytes.mid(from, end - from);
        from = end;
        QTimer::singleShot(delay, this, [this, piece] { sendRaw(piece); });
        delay += gapMs;
    }
}

void FakeCore::dropClient()
{
    if (m_client)
        m_client->abort();
}
