#pragma once

#include <QBitArray>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <libtorrent/session.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <memory>

class StallGuard;

// The order pieces come in while the player plays a file: the next seconds
// of playback first, then a window ahead, then the rest; other downloads
// give way meanwhile. One file at a time: playing a file elsewhere ends the
// previous one.
class StreamingScheduler : public QObject
{
    Q_OBJECT

public:
    // torrents: the session's downloads by key.
    StreamingScheduler(
        lt::session &session, const QHash<QString, lt::torrent_handle> &torrents, QObject *parent = nullptr);

    // The player plays this file (numbered as in the description row).
    bool setPlayedFile(const QString &hash, int fileRow, QString *error);
    // Playback needs pieces from firstWanted on, up to the file's end.
    bool setStreamingWindow(const QString &hash, int fileStart, int firstWanted, int fileEnd, QString *error);

    // Another program reads the file (numbered as in the description row)
    // at offset bytes into it: the same as the player's request 11 there.
    bool readerAt(const QString &hash, int fileRow, qint64 offset, QString *error);

    // The download being played; empty when none.
    QString playedHash() const { return m_playing.hash; }
    // A download joined the session: it gives way if a file plays.
    void downloadAdded();
    // A download left the session (before its handle goes).
    void downloadRemoved(const QString &key);
    // A new download's likely played file: its first pieces ahead of the rest.
    void headFirst(const QString &key, const lt::torrent_handle &handle);
    // The files were checked: the picker starts afresh, the layers again.
    void reapply(const QString &key, const lt::torrent_handle &handle);
    void onPieceFinished(const QString &key, const lt::torrent_handle &handle, int piece);
    void onPieceRead(const QString &key, const lt::torrent_handle &handle, int piece, const QByteArray &data);
    // Resume data as it is stored: nothing of a playback outlives a restart.
    QByteArray forStorage(const QString &key, const QByteArray &resumeData) const;

signals:
    void playedPieceFinished(const QString &hash, int piece);

private:
    // The file being played and the window of pieces ahead of the player.
    struct Playing
    {
        QString hash;
        int fileRow = -1; // -1 when only a window was asked for
        int fileStart = -1;
        int fileEnd = -1;
        qint64 fileOffset = 0; // bytes into the torrent
        qint64 fileBytes = 0;
        int origin = -1; // where playback reads
        QElapsedTimer since; // when it read there
        int windowEnd = -1; // last piece given a deadline
        qint64 bytesPerSecond = 0;
        bool tailFirst = false; // the container is read from its end at open
        bool tailWanted = false; // the player is reading the end
        int tailFrom = -1; // first piece of the end the player reads; -1: the last
        int headNext = -1; // next piece to read for the head's facts; -1: done
        QByteArray head;
    };

    lt::torrent_handle handle(const QString &hash) const;
    // The download's handle and metadata; null with the reason in *error.
    std::shared_ptr<const lt::torrent_info> playable(
        const QString &key, lt::torrent_handle *h, QString *error) const;
    QByteArray withoutStreaming(const QByteArray &resumeData, bool yielding) const;
    // Starts playing pieces [fileStart, fileEnd] of a download from origin.
    void play(const QString &key, const lt::torrent_handle &handle, int fileRow, int fileStart, int fileEnd,
        int origin);
    void stopPlaying();
    // Request queue settings while a file with pieces of this length plays;
    // 0: the defaults again.
    static lt::settings_pack requestQueueSettings(int playedPieceLength);
    // Priorities for the whole torrent and a fresh window from the origin.
    void applyLayers(const lt::torrent_handle &handle);
    // The window from the origin, up to its size past the first missing piece.
    void extendWindow(const lt::torrent_handle &handle, const QBitArray &have);
    void planTail(const lt::torrent_handle &handle, const QBitArray &have);
    void readHead(const lt::torrent_handle &handle, const QBitArray &have);
    void setYielding(bool yielding);

    lt::session *m_session;
    const QHash<QString, lt::torrent_handle> &m_torrents;
    Playing m_playing;
    // Other downloads slowed while a file plays.
    QSet<QString> m_yielding;
    std::shared_ptr<StallGuard> m_stallGuard;
};
