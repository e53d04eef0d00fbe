#pragma once

#include "protocol/requestreader.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// The local socket the player talks to: one server under the channel name,
// reachable by this user only, and one player connection at a time (a new
// one replaces the old: a player that reconnects is the same player).
class CoreServer : public QObject
{
    Q_OBJECT

public:
    explicit CoreServer(QObject *parent = nullptr);
    ~CoreServer() override;

    // Listens under the name; a stale socket left by a killed core is
    // removed first (the caller holds the instance lock).
    bool listen(const QString &channel);
    // Listens under a second name too; the old one goes once a player
    // connects under the new name.
    bool moveTo(const QString &channel);

    QString channel() const;
    // The socket file, for checking who may connect.
    QString fullServerName() const;
    bool isConnected() const;
    // Bytes written to the player but not yet taken by it.
    qint64 pendingBytes() const;

    void send(qint32 type, const QList<QStringList> &rows = {});

signals:
    void requestReceived(qint32 type, const QStringList &arguments);
    void playerConnected();
    void playerDisconnected();
    // The player took some of the bytes written to it.
    void replyBytesWritten();

private:
    QLocalServer *createServer(const QString &channel);
    void accept(QLocalServer *server);
    void readRequests();
    void dropOldServer();

    QLocalServer *m_server = nullptr;
    QLocalServer *m_oldServer = nullptr;
    QPointer<QLocalSocket> m_player;
    RequestReader m_reader;
};
