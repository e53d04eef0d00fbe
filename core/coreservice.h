#pragma once

#include "coresettings.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class CoreServer;
class TorrentSession;

// The core's request handling: one request (type, arguments) in, replies
// (type, rows) out. Also sends the status list on its own: once a second
// while a player is connected, and at once (at most every 100 ms) when
// metadata or a piece of the played file arrives.
class CoreService : public QObject
{
    Q_OBJECT

public:
    CoreService(const CoreSettings &settings, const QString &backupFolder, QObject *parent = nullptr);
    ~CoreService() override;

    TorrentSession *session() const { return m_session; }
    void setStatusInterval(int milliseconds);
    void setPlayerConnected(bool connected);
    // Bytes written to the player and not yet read by it; status lists wait
    // while there are more than maxBacklogBytes.
    void setBacklogProbe(std::function<qint64()> probe) { m_backlog = std::move(probe); }
    // Where other players find the downloads' files; told to players that
    // read our own replies.
    void setStreamAddresses(const QStringList &addresses) { m_streamAddresses = addresses; }
    static constexpr qint64 maxBacklogBytes = 1024 * 1024;
    // The player read some of what was written.
    void replyDrained();

public slots:
    void handleRequest(qint32 type, const QStringList &arguments);

signals:
    void reply(qint32 type, const QList<QStringList> &rows);
    // Request 18: the caller moves the server.
    void channelChangeRequested(const QString &channel);

private:
    void addFiles(const QStringList &paths);
    void addMagnets(const QStringList &uris);
    void addUrls(const QStringList &texts);
    void describeMagnets(const QStringList &hashes);
    void forEachHash(
        const QStringList &hashes, const char *what, bool (TorrentSession::*action)(const QString &));
    void removeAll(const QStringList &hashes, bool withFiles);
    void playFile(const QStringList &arguments);
    void prioritise(const QStringList &arguments);
    void setDiskCache(const QStringList &arguments);
    void setRateLimits(const QStringList &arguments);
    void sendStatus();
    void sendStatusSoon();
    void emitStatus();
    // Rows over as many frames as they need (all), or as fit one frame: the
    // player asks for the others' descriptions when their status comes.
    void sendRows(qint32 type, const QList<QStringList> &rows, bool all);
    void addFailed(const QString &item, const QString &reason);

    CoreSettings m_settings;
    TorrentSession *m_session;
    bool m_playerConnected = false;
    bool m_extendedReplies = false;
    // Magnet rows this player lists without their files yet.
    QSet<QString> m_magnetsListed;
    // A status list asked of libtorrent and not sent yet.
    bool m_statusPending = false;
    // A status list was due while the player was behind.
    bool m_statusSkipped = false;
    std::function<qint64()> m_backlog;
    QStringList m_streamAddresses;
    QTimer m_statusTimer;
    QTimer m_urgentTimer;
    QElapsedTimer m_sinceStatus;
};
