#include "torrentsession.h"

#include "alertdispatcher.h"
#include "disktrouble.h"
#include "peerbans.h"
#include "peerredial.h"
#include "rowbuilder.h"
#include "saveschedule.h"
#include "streamingscheduler.h"

#include "platform/logging.h"

#include <libtorrent/alert.hpp>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/magnet_uri.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {
constexpr int defaultSaveIntervalMs = 30000;
constexpr int saveAllTimeoutMs = 10000;
constexpr auto statusQuery = lt::torrent_handle::query_pieces | lt::torrent_handle::query_torrent_file
    | lt::torrent_handle::query_save_path;
constexpr qint64 maxTorrentFileBytes = 32 * 1024 * 1024;
}

TorrentSession::TorrentSession(const CoreSettings &settings, const QString &backupFolder, QObject *parent)
    : QObject(parent)
    , m_config(settings)
    , m_store(backupFolder)
    , m_stateFile(QDir(backupFolder).filePath(QStringLiteral("session.state")))
    , m_dhtState(m_stateFile.load())
{
    lt::session_params params = m_config.sessionParams();
    if (!m_config.settings().loopback)
        params.dht_state = m_dhtState;
    m_session = std::make_unique<lt::session>(std::move(params));
    m_config.attach(*m_session);
    m_alerts = new AlertDispatcher(*m_session, this);
    m_scheduler = new StreamingScheduler(*m_session, m_torrents, this);
    m_disk = new DiskTrouble(m_torrents, this);
    m_saves = new SaveSchedule(this);
    m_redial = new PeerRedial(
        *m_session, m_torrents, [this] { return m_scheduler->playedHash(); }, this);
    m_bans = new PeerBans(*m_session, this);
    m_lastRunKilled = m_store.setMayBeStale(true);

    connect(m_alerts, &AlertDispatcher::resumeDataReady, this, &TorrentSession::onResumeData);
    connect(m_alerts, &AlertDispatcher::resumeDataFailed, this, &TorrentSession::onResumeDataFailed);
    connect(m_alerts, &AlertDispatcher::peerBanned, m_bans, &PeerBans::banned);
    connect(m_alerts, &AlertDispatcher::pieceRead, this,
        [this](const lt::torrent_handle &h, int piece, const QByteArray &data) {
            const QString key = keyOf(h);
            m_scheduler->onPieceRead(key, h, piece, data);
            if (!key.isEmpty())
                emit pieceRead(key, piece, data);
        });
    connect(
        m_scheduler, &StreamingScheduler::playedPieceFinished, this, &TorrentSession::playedPieceFinished);
    connect(m_alerts, &AlertDispatcher::stateChanged, this,
        [this](const lt::torrent_handle &h) { requestSave(h, lt::torrent_handle::save_info_dict); });
    connect(m_alerts, &AlertDispatcher::checked, this, [this](const lt::torrent_handle &h) {
        // libtorrent takes a check only once its resume data is read.
        if (m_recheckPending.remove(keyOf(h)))
            h.force_recheck();
        else
            m_scheduler->reapply(keyOf(h), h);
    });
    connect(m_alerts, &AlertDispatcher::metadataReceived, this, [this](const lt::torrent_handle &h) {
        const QString key = keyOf(h);
        if (key.isEmpty())
            return;
        const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
        QString why;
        const QString savePath
            = QString::fromStdString(h.status(lt::torrent_handle::query_save_path).save_path);
        if (info && !RowBuilder::fitsReplies(*info, savePath, &why)) {
            qCWarning(lcCore).noquote() << "magnet" << key << "refused:" << why;
            const QString name = QString::fromStdString(info->name());
            remove(key, false);
            emit refused(key, name, why);
            return;
        }
        m_scheduler->headFirst(key, h);
        h.unset_flags(lt::torrent_flags::sequential_download);
        emit metadataArrived(key);
    });

    connect(m_alerts, &AlertDispatcher::statusUpdated, this, &TorrentSession::onStatusUpdated);
    connect(m_alerts, &AlertDispatcher::diskError, this,
        [this](const lt::torrent_handle &h, const lt::error_code &error, const QString &file) {
            const QString key = keyOf(h);
            if (key.isEmpty())
                return;
            m_disk->record(key, h, error, file);
            // The row says so now, not at the next change libtorrent reports.
            m_statusCache.forget(key);
        });
    connect(m_alerts, &AlertDispatcher::pieceFinished, this, [this](const lt::torrent_handle &h, int piece) {
        const QString key = keyOf(h);
        if (key.isEmpty())
            return;
        // A piece written: whatever stopped the writes is over.
        if (m_disk->clear(key))
            m_statusCache.forget(key);
        m_saves->pieceWritten(key);
        m_scheduler->onPieceFinished(key, h, piece);
        emit pieceFinished(key, piece);
    });
    connect(m_saves, &SaveSchedule::due, this,
        [this](const QString &key) { requestSave(handle(key), lt::torrent_handle::save_info_dict); });

    m_saveTimer.setInterval(defaultSaveIntervalMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &TorrentSession::savePeriodically);
    m_saveTimer.start();

    m_saveAllTimeout.setSingleShot(true);
    m_saveAllTimeout.setInterval(saveAllTimeoutMs);
    connect(&m_saveAllTimeout, &QTimer::timeout, this, [this] {
        qCWarning(lcCore).noquote() << "resume data of" << m_pendingSaveAll.size()
                                    << "downloads did not come in time";
        m_pendingSaveAll.clear();
        emit allResumeDataSaved();
    });
}

TorrentSession::~TorrentSession()
{
    m_alerts->detach();
    m_session.reset();
}

bool TorrentSession::isHash(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{40}$"));
    return hex.match(text).hasMatch();
}

QString TorrentSession::keyOf(const lt::info_hash_t &hashes)
{
    // The v1 hash when there is one: it stays the same when a hybrid
    // torrent's metadata arrives for a magnet that only named its v1 hash.
    const lt::sha1_hash hash = hashes.has_v1() ? hashes.v1 : hashes.get_best();
    return QString::fromLatin1(QByteArray(hash.data(), int(hash.size())).toHex());
}

QString TorrentSession::keyOf(const lt::torrent_handle &handle) const
{
    return m_keysById.value(handle.id());
}

lt::torrent_handle TorrentSession::handle(const QString &hash) const
{
    return m_torrents.value(hash.toLower());
}

bool TorrentSession::contains(const QString &hash) const
{
    return m_torrents.contains(hash.toLower());
}

QStringList TorrentSession::hashes() const
{
    return m_torrents.keys();
}

bool TorrentSession::hasMetadata(const QString &hash) const
{
    const lt::torrent_handle h = handle(hash);
    return h.is_valid() && h.torrent_file() != nullptr;
}

QString TorrentSession::add(lt::add_torrent_params params, const QString &knownKey, QString *error)
{
    const QString key
        = knownKey.isEmpty() ? keyOf(params.ti ? params.ti->info_hashes() : params.info_hashes) : knownKey;
    if (m_torrents.contains(key))
        return key;
    // A download stopped by a full disk once must not stay stopped for good.
    params.flags &= ~lt::torrent_flags::upload_mode;
    if (params.save_path.empty())
        params.save_path = m_config.settings().savePath.toStdString();
    if (params.ti && !RowBuilder::fitsReplies(*params.ti, QString::fromStdString(params.save_path), error))
        return QString();
    // We start and stop downloads ourselves: no queueing behind our back.
    if (knownKey.isEmpty())
        params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    else
        params.flags &= ~lt::torrent_flags::auto_managed;
    m_config.confineToLoopback(params);
    // The moment a magnet's metadata arrives libtorrent asks its peers for
    // pieces, before we can set any priority: in order from the first, not
    // at random. Lifted with the metadata.
    const bool fresh = knownKey.isEmpty() && !params.ti;
    if (fresh)
        params.flags |= lt::torrent_flags::sequential_download;

    // Peers handed over with the download (a magnet's hint) are otherwise
    // only tried on libtorrent's next one-second tick; added paused and then
    // resumed, the torrent connects to them at once.
    const bool wasPaused = bool(params.flags & lt::torrent_flags::paused);
    const std::vector<lt::tcp::endpoint> hints = params.peers;
    const bool boost = !hints.empty() && !wasPaused;
    if (boost) {
        params.flags |= lt::torrent_flags::paused;
        params.peers.clear();
    }
    lt::error_code ec;
    const lt::torrent_handle h = m_session->add_torrent(params, ec);
    if (ec || !h.is_valid()) {
        if (error)
            *error = QString::fromStdString(ec.message());
        return QString();
    }
    m_torrents.insert(key, h);
    m_keysById.insert(h.id(), key);
    m_scheduler->downloadAdded();
    if (boost) {
        for (const lt::tcp::endpoint &peer : hints)
            h.connect_peer(peer);
        h.resume();
        params.flags &= ~lt::torrent_flags::paused;
        params.peers = hints;
    }
    if (knownKey.isEmpty() && params.ti)
        m_scheduler->headFirst(key, h);
    if (fresh)
        params.flags &= ~lt::torrent_flags::sequential_download;
    if (knownKey.isEmpty()) {
        // On disk before the player hears of it: a kill right after the
        // answer must not lose the download.
        const std::vector<char> buffer = lt::write_resume_data_buf(params);
        m_store.save(key, QByteArray(buffer.data(), qsizetype(buffer.size())));
    }
    return key;
}

void TorrentSession::restore()
{
    for (const ResumeStore::Entry &entry : m_store.loadAll()) {
        lt::error_code ec;
        lt::add_torrent_params params
            = lt::read_resume_data({ entry.data.constData(), int(entry.data.size()) }, ec);
        if (ec) {
            qCWarning(lcCore).noquote()
                << "stored download" << entry.hash << "unreadable:" << QString::fromStdString(ec.message());
            continue;
        }
        // Saved by a core that streamed in sequential mode: its priorities
        // only served that playback. Back to rarest-first.
        if (params.flags & lt::torrent_flags::sequential_download) {
            params.flags &= ~lt::torrent_flags::sequential_download;
            params.file_priorities.clear();
            params.piece_priorities.clear();
        }
        // After a kill, pieces written since the last save are only on disk.
        // Finished or paused downloads were saved as they stopped.
        const bool check = m_lastRunKilled && !(params.flags & lt::torrent_flags::paused)
            && !(params.ti && params.have_pieces.size() == params.ti->num_pieces()
                && params.have_pieces.all_set());
        QString error;
        if (add(std::move(params), entry.hash, &error).isEmpty())
            qCWarning(lcCore).noquote() << "stored download" << entry.hash << "not restored:" << error;
        else if (check)
            m_recheckPending.insert(entry.hash);
    }
    qCInfo(lcCore).noquote() << "restored" << m_torrents.size() << "downloads";
}

QString TorrentSession::addTorrentFile(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        *error = QStringLiteral("no such file");
        return QString();
    }
    if (info.size() > maxTorrentFileBytes) {
        *error = QStringLiteral("file too large for a torrent");
        return QString();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return QString();
    }
    return addTorrentData(file.readAll(), error);
}

QString TorrentSession::addTorrentData(const QByteArray &data, QString *error)
{
    // libtorrent's own 10 MB cap on .torrent files is below what a magnet
    // may bring as metadata: our size cap and the listing check decide.
    lt::error_code ec;
    const lt::bdecode_node node = lt::bdecode(lt::span<char const>(data.constData(), int(data.size())), ec);
    std::shared_ptr<lt::torrent_info> info;
    if (!ec)
        info = std::make_shared<lt::torrent_info>(node, ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return QString();
    }
    lt::add_torrent_params params;
    params.ti = info;
    return add(std::move(params), QString(), error);
}

QString TorrentSession::addMagnet(const QString &uri, QString *error)
{
    lt::error_code ec;
    lt::add_torrent_params params = lt::parse_magnet_uri(uri.trimmed().toStdString(), ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return QString();
    }
    return add(std::move(params), QString(), error);
}

bool TorrentSession::remove(const QString &hash, bool withFiles)
{
    const QString key = hash.toLower();
    const lt::torrent_handle h = m_torrents.take(key);
    if (!h.is_valid())
        return false;
    m_keysById.remove(h.id());
    m_pendingSaveAll.remove(key);
    m_statusCache.forget(key);
    m_descriptions.remove(key);
    m_recheckPending.remove(key);
    m_saves->forget(key);
    m_redial->forget(key);
    m_disk->clear(key);
    m_scheduler->downloadRemoved(key);
    m_session->remove_torrent(h, withFiles ? lt::session_handle::delete_files : lt::remove_flags_t {});
    m_store.remove(key);
    emit downloadRemoved(key);
    return true;
}

bool TorrentSession::pause(const QString &hash)
{
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid())
        return false;
    h.unset_flags(lt::torrent_flags::auto_managed);
    h.pause(lt::torrent_handle::graceful_pause);
    m_disk->clear(hash.toLower()); // paused by the user: no retrying
    return true;
}

bool TorrentSession::resume(const QString &hash)
{
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid())
        return false;
    // Starting clears what stopped it: a disk error, or the upload-only mode
    // libtorrent leaves only for downloads it manages itself.
    h.clear_error();
    h.unset_flags(lt::torrent_flags::auto_managed | lt::torrent_flags::upload_mode);
    h.resume();
    m_disk->clear(hash.toLower());
    return true;
}

void TorrentSession::resumeAll()
{
    for (const QString &key : m_torrents.keys())
        resume(key);
}

QStringList TorrentSession::descriptionRow(const QString &hash) const
{
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid())
        return {};
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info)
        return {};
    const lt::torrent_status status = h.status(lt::torrent_handle::query_save_path);
    const QString savePath = QString::fromStdString(status.save_path);
    // Built once: for a torrent of many files it takes seconds, and every
    // new player connection asks for it.
    QStringList &row = m_descriptions[hash.toLower()];
    if (row.size() < 5 || row.at(3) != savePath)
        row = RowBuilder::descriptionRow(hash.toLower(), *info, savePath, status.is_seeding);
    row[4] = status.is_seeding ? QStringLiteral("1") : QStringLiteral("0");
    return row;
}

QList<QStringList> TorrentSession::startupRows() const
{
    QList<QStringList> rows;
    QStringList keys = m_torrents.keys();
    keys.sort();
    for (const QString &key : keys) {
        const QStringList row = descriptionRow(key);
        rows.append(row.isEmpty() ? QStringList { key } : row);
    }
    return rows;
}

void TorrentSession::requestStatus()
{
    m_session->post_torrent_updates(statusQuery);
}

void TorrentSession::onStatusUpdated(const std::vector<lt::torrent_status> &statuses)
{
    for (const lt::torrent_status &status : statuses) {
        const QString key = keyOf(status.handle);
        if (!key.isEmpty()) // else being removed
            m_statusCache.update(key, status, m_disk->reason(key, status));
    }
    emit statusReady();
}

QList<QStringList> TorrentSession::statusRows()
{
    // libtorrent reports changes only: a download it has not reported yet
    // is asked once.
    for (auto it = m_torrents.cbegin(); it != m_torrents.cend(); ++it) {
        if (!m_statusCache.contains(it.key())) {
            const lt::torrent_status status = it.value().status(statusQuery);
            m_statusCache.update(it.key(), status, m_disk->reason(it.key(), status));
        }
    }
    return m_statusCache.rows();
}

void TorrentSession::saveSessionState()
{
    const lt::session_params live = m_session->session_state(lt::session::save_dht_state);
    m_dhtState = SessionStateFile::merged(m_dhtState, live.dht_state);
    m_stateFile.save(m_dhtState);
}

void TorrentSession::setResumeSaveInterval(int milliseconds)
{
    m_saveTimer.setInterval(milliseconds);
}

int TorrentSession::listenPort() const
{
    return m_session->listen_port();
}

void TorrentSession::requestSave(const lt::torrent_handle &h, lt::resume_data_flags_t flags)
{
    if (h.is_valid() && !keyOf(h).isEmpty())
        h.save_resume_data(flags);
}

void TorrentSession::savePeriodically()
{
    for (const lt::torrent_handle &h : std::as_const(m_torrents))
        requestSave(h, lt::torrent_handle::save_info_dict | lt::torrent_handle::only_if_modified);
}

void TorrentSession::saveAllResumeData()
{
    saveSessionState();
    m_pendingSaveAll.clear();
    for (auto it = m_torrents.cbegin(); it != m_torrents.cend(); ++it) {
        m_pendingSaveAll.insert(it.key());
        it.value().save_resume_data(
            lt::torrent_handle::save_info_dict | lt::torrent_handle::flush_disk_cache);
    }
    if (m_pendingSaveAll.isEmpty()) {
        m_store.setMayBeStale(false);
        emit allResumeDataSaved();
        return;
    }
    m_saveAllTimeout.start();
}

void TorrentSession::holdForQuit(bool hold)
{
    if (hold) {
        m_session->pause();
    } else if (m_session->is_paused()) {
        m_store.setMayBeStale(true);
        m_session->resume();
    }
}

void TorrentSession::settleSaveAll(const QString &key)
{
    if (!m_pendingSaveAll.remove(key) || !m_pendingSaveAll.isEmpty())
        return;
    m_saveAllTimeout.stop();
    m_store.setMayBeStale(false);
    emit allResumeDataSaved();
}

void TorrentSession::onResumeData(const lt::torrent_handle &h, const QByteArray &data)
{
    const QString key = keyOf(h);
    if (key.isEmpty())
        return; // removed meanwhile: its file must stay gone
    m_store.save(key, m_scheduler->forStorage(key, data));
    settleSaveAll(key);
}

void TorrentSession::onResumeDataFailed(const lt::torrent_handle &h)
{
    const QString key = keyOf(h);
    if (!key.isEmpty())
        settleSaveAll(key);
}
