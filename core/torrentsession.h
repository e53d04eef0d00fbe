#pragma once

#include "coresettings.h"
#include "resumestore.h"
#include "sessionconfig.h"
#include "sessionstatefile.h"
#include "statuscache.h"

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
class DiskTrouble;
class PeerBans;
class PeerRedial;
class SaveSchedule;
class StreamingScheduler;

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

    // Empty while the download has no metadata.
    QStringList descriptionRow(const QString &hash) const;
    QList<QStringList> startupRows() const;
    // Asks libtorrent for what changed; statusReady() follows.
    void requestStatus();
    QList<QStringList> statusRows();

    QString savePath() const { return m_config.settings().savePath; }
    // The settings the player changes while we run.
    SessionConfig &config() { return m_config; }
    // The order of pieces while a file plays (requests 9 and 11).
    StreamingScheduler *scheduler() const { return m_scheduler; }
    DiskTrouble *diskTrouble() const { return m_disk; }
    void setResumeSaveInterval(int milliseconds);

    // Asks every download for its resume data; allResumeDataSaved() follows.
    // The session's own state (the DHT's nodes) is written at once.
    void saveAllResumeData();
    QString sessionStatePath() const { return m_stateFile.path(); }
    // Quitting: no piece may finish after the last save. Lifted when a player
    // comes back instead of stopping us.
    void holdForQuit(bool hold);

    QString backupFolder() const { return m_store.folder(); }
    // Invalid when there is no such download.
    lt::torrent_handle handle(const QString &hash) const;
    int listenPort() const;

signals:
    void metadataArrived(const QString &hash);
    void playedPieceFinished(const QString &hash, int piece);
    // Any piece of any download passed its check.
    void pieceFinished(const QString &hash, int piece);
    // What read_piece() asked for; empty data when it could not be read.
    void pieceRead(const QString &hash, int piece, const QByteArray &data);
    void downloadRemoved(const QString &hash);
    void allResumeDataSaved();
    void statusReady();
    // A magnet's metadata showed a download too large to list: it is gone.
    void refused(const QString &hash, const QString &name, const QString &why);

private:
    void saveSessionState();
    QString add(lt::add_torrent_params params, const QString &knownKey, QString *error);
    static QString keyOf(const lt::info_hash_t &hashes);
    QString keyOf(const lt::torrent_handle &handle) const;
    void requestSave(const lt::torrent_handle &handle, lt::resume_data_flags_t flags);
    void onResumeData(const lt::torrent_handle &handle, const QByteArray &data);
    void onResumeDataFailed(const lt::torrent_handle &handle);
    void savePeriodically();
    void settleSaveAll(const QString &key);
    void onStatusUpdated(const std::vector<lt::torrent_status> &statuses);

    SessionConfig m_config;
    ResumeStore m_store;
    SessionStateFile m_stateFile;
    lt::dht::dht_state m_dhtState;
    std::unique_ptr<lt::session> m_session;
    AlertDispatcher *m_alerts = nullptr;
    QHash<QString, lt::torrent_handle> m_torrents;
    QHash<quint32, QString> m_keysById;
    StreamingScheduler *m_scheduler = nullptr;
    DiskTrouble *m_disk = nullptr;
    SaveSchedule *m_saves = nullptr;
    PeerRedial *m_redial = nullptr;
    PeerBans *m_bans = nullptr;
    // After a kill, what is on disk may be ahead of the resume data: the
    // restored downloads are checked once their resume data is read (a
    // magnet's once its metadata came).
    bool m_lastRunKilled = false;
    QSet<QString> m_recheckPending;
    QSet<QString> m_pendingSaveAll;
    QTimer m_saveTimer;
    QTimer m_saveAllTimeout;
    StatusCache m_statusCache;
    mutable QHash<QString, QStringList> m_descriptions;
};
