#pragma once

#include "coresettings.h"
#include "resumestore.h"
#include "sessionstatefile.h"
#include "statuscache.h"

#include <QBitArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <memory>

class AlertDispatcher;
class StallGuard;

// The libtorrent session and the downloads in it, keyed by their 40-hex
// info-hash. Every operation the player can ask for has one method here;
// the methods answer with the rows the downloads list reads.
class TorrentSession : public QObject
{
    Q_OBJECT

public:
    TorrentSession(const CoreSettings &settings, const QString &backupFolder, QObject *parent = nullptr);
    ~TorrentSession() override;

    static bool isHash(const QString &text);

    // Brings back every stored download.
    void restore();

    // Each returns the key of the download (also when it was already there),
    // or an empty string with the reason in *error.
    QString addTorrentFile(const QString &path, QString *error);
    QString addTorrentData(const QByteArray &data, QString *error);
    QString addMagnet(const QString &uri, QString *error);

    bool contains(const QString &hash) const;
    QStringList hashes() const;
    bool hasMetadata(const QString &hash) const;

    bool remove(const QString &hash, bool withFiles);
    bool pause(const QString &hash);
    bool resume(const QString &hash);
    void resumeAll();

    // The player plays this file (numbered as in the description row).
    bool setPlayedFile(const QString &hash, int fileRow, QString *error);
    // Playback needs pieces from firstWanted on, up to the file's end.
    bool setStreamingWindow(const QString &hash, int fileStart, int firstWanted, int fileEnd, QString *error);

    // Empty while the download has no metadata.
    QStringList descriptionRow(const QString &hash) const;
    QList<QStringList> startupRows() const;
    // Asks libtorrent for what changed; statusReady() follows.
    void requestStatus();
    QList<QStringList> statusRows();
    // Whether the download's rows, saved there, fit a reply frame; the
    // reason when not.
    bool fitsReplies(const lt::torrent_info &info, const QString &savePath, QString *why) const;

    void setSavePath(const QString &path);
    QString savePath() const { return m_settings.savePath; }
    void setIpv6(bool enabled);
    void setDiskCache(unsigned int megabytes);
    // KiB/s (0: none) and a connection cap (0: libtorrent's default).
    void setRateLimits(unsigned int downloadKib, unsigned int uploadKib, unsigned int maxConnections);
    void setResumeSaveInterval(int milliseconds);
    // How often downloads stopped by a disk error try again on their own.
    void setDiskRetryInterval(int milliseconds);

    // Asks every download for its resume data; allResumeDataSaved() follows.
    // The session's own state (the DHT's nodes) is written at once.
    void saveAllResumeData();
    QString sessionStatePath() const { return m_stateFile.path(); }
    // Quitting: no piece may finish after the last save. Lifted when a player
    // comes back instead of stopping us.
    void holdForQuit(bool hold);

    QString backupFolder() const { return m_store.folder(); }
    int listenPort() const;

signals:
    void metadataArrived(const QString &hash);
    void playedPieceFinished(const QString &hash, int piece);
    void allResumeDataSaved();
    void statusReady();
    // A magnet's metadata showed a download too large to list: it is gone.
    void refused(const QString &hash, const QString &name, const QString &why);

private:
    // The file being played and the window of pieces ahead of the player.
    // One at a time: playing a file elsewhere ends the previous one.
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

    lt::settings_pack sessionSettings() const;
    void limitsInto(lt::settings_pack &pack) const;
    void limitLoopbackPeers();
    void saveSessionState();
    QString add(lt::add_torrent_params params, const QString &knownKey, QString *error);
    void confineToLoopback(lt::add_torrent_params &params) const;
    static QString keyOf(const lt::info_hash_t &hashes);
    QString keyOf(const lt::torrent_handle &handle) const;
    lt::torrent_handle handle(const QString &hash) const;
    void requestSave(const lt::torrent_handle &handle, lt::resume_data_flags_t flags);
    void onResumeData(const lt::torrent_handle &handle, const QByteArray &data);
    void onResumeDataFailed(const lt::torrent_handle &handle);
    void onPieceFinished(const lt::torrent_handle &handle, int piece);
    void onPieceRead(const lt::torrent_handle &handle, int piece, const QByteArray &data);
    void savePeriodically();
    QByteArray withoutStreaming(const QByteArray &resumeData, bool yielding) const;
    // Starts playing pieces [fileStart, fileEnd] of a download from origin.
    void play(const QString &key, const lt::torrent_handle &handle, int fileRow, int fileStart, int fileEnd,
        int origin);
    void stopPlaying();
    // Request queue settings while a file with pieces of this length plays;
    // 0: the defaults again.
    static lt::settings_pack requestQueueSettings(int playedPieceLength);
    void headFirst(const lt::torrent_handle &handle);
    // Priorities for the whole torrent and a fresh window from the origin.
    void applyLayers(const lt::torrent_handle &handle);
    // The window from the origin, up to its size past the first missing piece.
    void extendWindow(const lt::torrent_handle &handle, const QBitArray &have);
    void planTail(const lt::torrent_handle &handle, const QBitArray &have);
    void readHead(const lt::torrent_handle &handle, const QBitArray &have);
    void setYielding(bool yielding);
    void reapplyStreaming(const lt::torrent_handle &handle);
    void settleSaveAll(const QString &key);
    void onStatusUpdated(const std::vector<lt::torrent_status> &statuses);
    void fillStatusCache();
    void onDiskError(const lt::torrent_handle &handle, const lt::error_code &error, const QString &file);
    QString diskTrouble(const QString &key, const lt::torrent_status &status) const;
    void retryDisk();

    CoreSettings m_settings;
    ResumeStore m_store;
    SessionStateFile m_stateFile;
    lt::dht::dht_state m_dhtState;
    std::unique_ptr<lt::session> m_session;
    AlertDispatcher *m_alerts = nullptr;
    std::shared_ptr<StallGuard> m_stallGuard;
    QHash<QString, lt::torrent_handle> m_torrents;
    QHash<quint32, QString> m_keysById;
    Playing m_playing;
    // Other downloads slowed while a file plays.
    QSet<QString> m_yielding;
    QSet<QString> m_pendingSaveAll;
    QTimer m_saveTimer;
    QTimer m_saveAllTimeout;
    StatusCache m_statusCache;
    mutable QHash<QString, QStringList> m_descriptions;
    // Why a download stopped writing, until it writes again or the user
    // pauses it.
    QHash<QString, QString> m_diskTrouble;
    QTimer m_diskRetry;
};
