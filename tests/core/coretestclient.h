#pragma once

#include "protocol/coreprotocol.h"
#include "protocol/replyreader.h"

#include <QList>
#include <QLocalSocket>
#include <QObject>

#include <functional>
#include <optional>

// Plays the player's side of the socket: writes request frames and keeps
// every reply frame it reads, in order.
class CoreTestClient : public QObject
{
    Q_OBJECT

public:
    using Match = std::function<bool(const CoreReply &)>;

    explicit CoreTestClient(QObject *parent = nullptr);

    // Retries until the core listens under the name or the time is up.
    bool connectTo(const QString &channel, int timeoutMs = 15000);
    void disconnectFromCore();
    bool isConnected() const;
    QLocalSocket &socket() { return m_socket; }

    void send(qint32 type, const QStringList &arguments);
    void sendRaw(const QByteArray &bytes);

    // Index of the next reply to arrive; waits can start from here.
    int mark() const { return int(m_replies.size()); }
    const QList<CoreReply> &replies() const { return m_replies; }
    // The first reply of this type at or after index from that matches.
    std::optional<CoreReply> waitFor(qint32 type, int timeoutMs, const Match &match = {}, int from = 0);

    // The status row of this hash in a reply 13, empty when absent.
    static QStringList statusRow(const CoreReply &reply, const QString &hash);

private:
    void read();

    QLocalSocket m_socket;
    ReplyReader m_reader;
    QList<CoreReply> m_replies;
};
