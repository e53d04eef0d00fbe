#include "coretestclient.h"

#include "protocol/coreprotocol.h"

#include <QDeadlineTimer>
#include <QTest>

CoreTestClient::CoreTestClient(QObject *parent)
    : QObject(parent)
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &CoreTestClient::read);
}

bool CoreTestClient::connectTo(const QString &channel, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    m_reader.clear();
    while (!deadline.hasExpired()) {
        m_socket.connectToServer(CoreProtocol::socketName(channel));
        if (m_socket.waitForConnected(1000))
            return true;
        m_socket.abort();
        QTest::qWait(50); // the core is still starting: poll its socket
    }
    return false;
}

void CoreTestClient::disconnectFromCore()
{
    m_socket.disconnectFromServer();
    if (m_socket.state() != QLocalSocket::UnconnectedState)
        m_socket.waitForDisconnected(2000);
}

bool CoreTestClient::isConnected() const
{
    return m_socket.state() == QLocalSocket::ConnectedState;
}

void CoreTestClient::send(qint32 type, const QStringList &arguments)
{
    sendRaw(CoreProtocol::encodeRequest(type, arguments));
}

void CoreTestClient::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void CoreTestClient::read()
{
    m_reader.append(m_socket.readAll());
    CoreReply reply;
    while (m_reader.next(reply) == FrameReader::FrameReady)
        m_replies.append(reply);
}

std::optional<CoreReply> CoreTestClient::waitFor(qint32 type, int timeoutMs, const Match &match, int from)
{
    int scanned = from;
    std::optional<CoreReply> found;
    auto look = [&] {
        for (; scanned < m_replies.size(); ++scanned) {
            const CoreReply &reply = m_replies.at(scanned);
            if (reply.type == type && (!match || match(reply))) {
                found = reply;
                return true;
            }
        }
        return false;
    };
    if (!look())
        (void)QTest::qWaitFor(look, timeoutMs);
    return found;
}

QStringList CoreTestClient::statusRow(const CoreReply &reply, const QString &hash)
{
    for (const QStringList &row : reply.rows) {
        if (!row.isEmpty() && row.first() == hash)
            return row;
    }
    return {};
}
