#include "torrentsession.h"

#include "alertdispatcher.h"
#include "mediahead.h"
#include "rowbuilder.h"
#include "stallguard.h"
#include "streamingplan.h"

#include "platform/logging.h"

#include <libtorrent/alert.hpp>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/fingerprint.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/magnet_uri.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <QBitArray>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace {
constexpr int defaultSaveIntervalMs = 30000;
constexpr int saveAllTimeoutMs = 10000;
constexpr int diskRetryMs = 30000;
constexpr auto statusQuery = lt::torrent_handle::query_pieces | lt::torrent_handle::query_torrent_file
    | lt::torrent_handle::query_save_path;
constexpr qint64 maxTorrentFileBytes = 32 * 1024 * 1024;
// Well-known DHT routers, libtorrent's back-up when it knows no nodes.
constexpr const char *dhtRouters = "dht.libtorrent.org:25401,router.bittorrent.com:6881,"
                                   "router.utorrent.com:6881,dht.transmissionbt.com:6881";
// Layers below the window's bands (4-7): the played file ahead of the
// player, then behind it, then the other files.
constexpr lt::download_priority_t otherFilesPriority { 1 };
constexpr lt::download_priority_t behindPriority { 2 };
constexpr lt::download_priority_t playedFilePriority { 3 };
// What other downloads get while a file plays: enough to keep their peers.
constexpr int yieldingBytesPerSecond = 64 * 1024;

// A tracker may be used in loopback mode only when it is on this machine.
bool isLoopbackUrl(const std::string &url)
{
    const QString host = QUrl(QString::fromStdString(url)).host();
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    static const QRegularExpression loopback(QStringLiteral("^127\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    return loopback.match(host).hasMatch();
}

int diskCacheBytes(unsigned int megabytes)
{
    return int(std::clamp<qint64>(megabytes, 1, 1024) * 1024 * 1024);
}

QBitArray piecesOf(const lt::torrent_status &status, int pieceCount)
{
    QBitArray have(pieceCount);
    const QString bits = RowBuilder::bitField(status, pieceCount);
    for (int i = 0; i < bits.size(); ++i)
        have.setBit(i, bits.at(i) == QLatin1Char('1'));
    return have;
}
}

TorrentSession::TorrentSession(const CoreSettings &settings, const QString &backupFolder, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_store(backupFolder)
    , m_stateFile(QDir(backupFolder).filePath(QStringLiteral("session.state")))
    , m_dhtState(m_stateFile.load())
{
    lt::session_params params(sessionSettings());
    if (!m_settings.loopback)
        params.dht_state = m_dhtState;
    if (m_settings.loopback) {
        // Peers from magnet hints, exchange or trackers: only this machine.
        lt::ip_filter filter;
        filter.add_rule(
            lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), lt::ip_filter::blocked);
        filter.add_rule(lt::make_address("127.0.0.0"), lt::make_address("127.255.255.255"), 0);
        filter.add_rule(lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
            lt::ip_filter::blocked);
        filter.add_rule(lt::make_address("::1"), lt::make_address("::1"), 0);
        params.ip_filter = filter;
    }
    m_session = std::make_unique<lt::session>(std::move(params));
    limitLoopbackPeers();
    m_stallGuard = std::make_shared<StallGuard>();
    m_session->add_extension(m_stallGuard);
    m_alerts = new AlertDispatcher(*m_session, this);

    connect(m_alerts, &AlertDispatcher::resumeDataReady, this, &TorrentSession::onResumeData);
    connect(m_alerts, &AlertDispatcher::resumeDataFailed, this, &TorrentSession::onResumeDataFailed);
    connect(m_alerts, &AlertDispatcher::pieceFinished, this, &TorrentSession::onPieceFinished);
    connect(m_alerts, &AlertDispatcher::pieceRead, this, &TorrentSession::onPieceRead);
    connect(m_alerts, &AlertDispatcher::stateChanged, this,
        [this](const lt::torrent_handle &h) { requestSave(h, lt::torrent_handle::save_info_dict); });
    connect(m_alerts, &AlertDispatcher::checked, this, &TorrentSession::reapplyStreaming);
    connect(m_alerts, &AlertDispatcher::metadataReceived, this, [this](const lt::torrent_handle &h) {
        const QString key = keyOf(h);
        if (key.isEmpty())
            return;
        const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
        QString why;
        const QString savePath
            = QString::fromStdString(h.status(lt::torrent_handle::query_save_path).save_path);
        if (info && !fitsReplies(*info, savePath, &why)) {
            qCWarning(lcCore).noquote() << "magnet" << key << "refused:" << why;
            const QString name = QString::fromStdString(info->name());
            remove(key, false);
            emit refused(key, name, why);
            return;
        }
        headFirst(h);
        h.unset_flags(lt::torrent_flags::sequential_download);
        emit metadataArrived(key);
    });

    connect(m_alerts, &AlertDispatcher::statusUpdated, this, &TorrentSession::onStatusUpdated);
    connect(m_alerts, &AlertDispatcher::diskError, this, &TorrentSession::onDiskError);
    connect(m_alerts, &AlertDispatcher::pieceFinished, this, [this](const lt::torrent_handle &h) {
        // A piece written: whatever stopped the writes is over.
        const QString key = keyOf(h);
        if (m_diskTrouble.remove(key))
            m_statusCache.forget(key);
    });
    m_diskRetry.setInterval(diskRetryMs);
    connect(&m_diskRetry, &QTimer::timeout, this, &TorrentSession::retryDisk);
    m_diskRetry.start();

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

lt::settings_pack TorrentSession::sessionSettings() const
{
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask,
        lt::alert_category::status | lt::alert_category::storage | lt::alert_category::error
            | lt::alert_category::piece_progress);
    pack.set_str(lt::settings_pack::listen_interfaces, m_settings.listenInterfaces().toStdString());
    pack.set_str(lt::settings_pack::peer_fingerprint, lt::generate_fingerprint("MV", 1, 0, 5));
    pack.set_str(lt::settings_pack::user_agent, "MorvaneCore/1.05");
    const bool open = !m_settings.loopback;
    pack.set_bool(lt::settings_pack::enable_dht, open);
    pack.set_str(lt::settings_pack::dht_bootstrap_nodes, open ? dhtRouters : "");
    pack.set_bool(lt::settings_pack::enable_lsd, open);
    pack.set_bool(lt::settings_pack::enable_upnp, open);
    pack.set_bool(lt::settings_pack::enable_natpmp, open);
    // Loopback peers all come from 127.0.0.1; and uTP's congestion control
    // only slows a link that has no congestion (TCP is ~20x faster there).
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, m_settings.loopback);
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, open);
    pack.set_int(lt::settings_pack::max_queued_disk_bytes, diskCacheBytes(m_settings.diskCacheMb));
    // libtorrent picks its first pieces at random, whatever their priority;
    // a player waiting for its first pieces cannot afford that.
    pack.set_int(lt::settings_pack::initial_picker_threshold, 0);
    // New peers (a magnet's hint) are connected on the session tick: a
    // shorter tick gets a magnet's metadata to the player sooner.
    pack.set_int(lt::settings_pack::tick_interval, 100);
    // Blocks already asked of a peer are served before anything a seek
    // wants: keep about one second of requests queued, not three.
    pack.set_int(lt::settings_pack::request_queue_time, 1);
    limitsInto(pack);
    return pack;
}

void TorrentSession::limitsInto(lt::settings_pack &pack) const
{
    // The caps are what the player shows as rates: payload and protocol,
    // not libtorrent's estimate of the TCP/IP headers around them.
    pack.set_bool(lt::settings_pack::rate_limit_ip_overhead, false);
    pack.set_int(
        lt::settings_pack::download_rate_limit, CoreSettings::bytesPerSecond(m_settings.downloadLimitKib));
    pack.set_int(
        lt::settings_pack::upload_rate_limit, CoreSettings::bytesPerSecond(m_settings.uploadLimitKib));
    const int connections = m_settings.maxConnections > 0
        ? int(qMin(m_settings.maxConnections, unsigned(std::numeric_limits<int>::max())))
        : lt::default_settings().get_int(lt::settings_pack::connections_limit);
    pack.set_int(lt::settings_pack::connections_limit, connections);
}

void TorrentSession::limitLoopbackPeers()
{
    // libtorrent exempts local peers from the limits. In loopback mode every
    // peer is local, and tests must see the limits the user would.
    if (!m_settings.loopback)
        return;
    lt::peer_class_info local = m_session->get_peer_class(lt::session::local_peer_class_id);
    local.download_limit = CoreSettings::bytesPerSecond(m_settings.downloadLimitKib);
    local.upload_limit = CoreSettings::bytesPerSecond(m_settings.uploadLimitKib);
    m_session->set_peer_class(lt::session::local_peer_class_id, local);
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

void TorrentSession::confineToLoopback(lt::add_torrent_params &params) const
{
    if (!m_settings.loopback)
        return;
    std::vector<std::string> trackers;
    std::vector<int> tiers;
    for (std::size_t i = 0; i < params.trackers.size(); ++i) {
        if (isLoopbackUrl(params.trackers[i])) {
            trackers.push_back(params.trackers[i]);
            tiers.push_back(i < params.tracker_tiers.size() ? params.tracker_tiers[i] : 0);
        } else {
            qCInfo(lcCore).noquote() << "loopback mode: tracker left out:"
                                     << QString::fromStdString(params.trackers[i]);
        }
    }
    params.trackers = trackers;
    params.tracker_tiers = tiers;
    params.url_seeds.clear();
    params.dht_nodes.clear();
    if (params.ti) {
        auto info = std::make_shared<lt::torrent_info>(*params.ti);
        info->clear_trackers();
        for (const lt::announce_entry &entry : params.ti->trackers()) {
            if (isLoopbackUrl(entry.url))
                info->add_tracker(entry.url, entry.tier);
            else
                qCInfo(lcCore).noquote()
                    << "loopback mode: tracker left out:" << QString::fromStdString(entry.url);
        }
        info->clear_web_seeds();
        params.ti = info;
    }
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
        params.save_path = m_settings.savePath.toStdString();
    if (params.ti && !fitsReplies(*params.ti, QString::fromStdString(params.save_path), error))
        return QString();
    // We start and stop downloads ourselves: no queueing behind our back.
    if (knownKey.isEmpty())
        params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    else
        params.flags &= ~lt::torrent_flags::auto_managed;
    confineToLoopback(params);
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
    if (!m_playing.hash.isEmpty())
        setYielding(true);
    if (boost) {
        for (const lt::tcp::endpoint &peer : hints)
            h.connect_peer(peer);
        h.resume();
    }
    if (boost) {
        params.flags &= ~lt::torrent_flags::paused;
        params.peers = hints;
    }
    if (knownKey.isEmpty() && params.ti)
        headFirst(h);
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
        QString error;
        if (add(std::move(params), entry.hash, &error).isEmpty())
            qCWarning(lcCore).noquote() << "stored download" << entry.hash << "not restored:" << error;
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
    m_diskTrouble.remove(key);
    m_yielding.remove(key);
    if (m_playing.hash == key) {
        m_playing = Playing();
        m_stallGuard->watch(0);
        setYielding(false);
    }
    m_session->remove_torrent(h, withFiles ? lt::session_handle::delete_files : lt::remove_flags_t {});
    m_store.remove(key);
    return true;
}

bool TorrentSession::pause(const QString &hash)
{
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid())
        return false;
    h.unset_flags(lt::torrent_flags::auto_managed);
    h.pause(lt::torrent_handle::graceful_pause);
    m_diskTrouble.remove(hash.toLower()); // paused by the user: no retrying
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
    m_diskTrouble.remove(hash.toLower());
    return true;
}

void TorrentSession::resumeAll()
{
    for (const QString &key : m_torrents.keys())
        resume(key);
}

bool TorrentSession::setPlayedFile(const QString &hash, int fileRow, QString *error)
{
    const QString key = hash.toLower();
    const lt::torrent_handle h = handle(key);
    if (!h.is_valid()) {
        *error = QStringLiteral("unknown download");
        return false;
    }
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info) {
        *error = QStringLiteral("no metadata yet");
        return false;
    }
    const lt::file_storage &files = info->files();
    const QList<lt::file_index_t> visible = RowBuilder::visibleFiles(files);
    if (fileRow < 0 || fileRow >= visible.size()) {
        *error = QStringLiteral("no file %1").arg(fileRow);
        return false;
    }
    // The player says it again on every open: keep the live window.
    if (m_playing.hash == key && m_playing.fileRow == fileRow)
        return true;
    const lt::file_index_t played = visible.at(fileRow);
    const int first = RowBuilder::firstPiece(files, played);
    play(key, h, fileRow, first, RowBuilder::lastPiece(files, played), first);
    return true;
}

bool TorrentSession::setStreamingWindow(
    const QString &hash, int fileStart, int firstWanted, int fileEnd, QString *error)
{
    const QString key = hash.toLower();
    const lt::torrent_handle h = handle(key);
    if (!h.is_valid()) {
        *error = QStringLiteral("unknown download");
        return false;
    }
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info) {
        *error = QStringLiteral("no metadata yet");
        return false;
    }
    if (fileStart < 0 || fileStart > firstWanted || firstWanted > fileEnd || fileEnd >= info->num_pieces()) {
        *error = QStringLiteral("pieces %1 %2 %3 out of range").arg(fileStart).arg(firstWanted).arg(fileEnd);
        return false;
    }
    const qint64 pieceLength = info->piece_length();
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    const int ahead = qMin(fileEnd,
        firstWanted + StreamingPlan::windowCount(pieceLength, qMax<qint64>(1, m_playing.bytesPerSecond)) - 1);
    bool missing = false;
    for (int piece = firstWanted; piece <= ahead && !missing; ++piece)
        missing = !have.testBit(piece);

    if (m_playing.hash != key || m_playing.fileStart != fileStart || m_playing.fileEnd != fileEnd) {
        if (!missing)
            return true; // nothing to fetch there
        play(key, h, -1, fileStart, fileEnd, firstWanted);
    }
    Playing &p = m_playing;
    if (firstWanted == p.origin || !missing)
        return true; // a repeated or satisfied request: the window stands
    const int tailStart = StreamingPlan::tailStart(fileStart, fileEnd, pieceLength);
    if (firstWanted >= tailStart && p.origin < tailStart) {
        // The decoder looks at the container's end and comes back to the
        // head at once: fetch the end first, keep the window.
        p.tailWanted = true;
        p.tailFrom = p.tailFrom < 0 ? firstWanted : qMin(p.tailFrom, firstWanted);
        planTail(h, have);
        extendWindow(h, have);
        return true;
    }
    int frontier = p.origin;
    while (frontier < firstWanted && have.testBit(frontier))
        ++frontier;
    const bool caughtUp = firstWanted > p.origin && frontier == firstWanted;
    p.origin = firstWanted;
    p.since.start();
    if (caughtUp) {
        // Playback reached the first missing piece: only the times change.
        extendWindow(h, have);
        return true;
    }
    // A seek: what lay between is no longer urgent.
    applyLayers(h);
    return true;
}

void TorrentSession::play(
    const QString &key, const lt::torrent_handle &h, int fileRow, int fileStart, int fileEnd, int origin)
{
    if (!m_playing.hash.isEmpty())
        stopPlaying();
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    const lt::file_storage &files = info->files();
    Playing p;
    p.hash = key;
    p.fileRow = fileRow;
    p.fileStart = fileStart;
    p.fileEnd = fileEnd;
    p.fileOffset = qint64(fileStart) * info->piece_length();
    p.fileBytes = qint64(fileEnd - fileStart + 1) * info->piece_length();
    const lt::file_index_t file = files.file_index_at_piece(lt::piece_index_t(fileStart));
    for (lt::file_index_t f = file; f < files.end_file(); ++f) {
        if (files.file_flags(f) & lt::file_storage::flag_pad_file || files.file_size(f) == 0)
            continue;
        if (RowBuilder::lastPiece(files, f) == fileEnd) {
            p.fileOffset = files.file_offset(f);
            p.fileBytes = files.file_size(f);
            break;
        }
    }
    p.origin = origin;
    p.since.start();
    p.bytesPerSecond = StreamingPlan::bytesPerSecond(p.fileBytes, 0);
    p.headNext = fileStart;
    m_playing = p;
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    bool complete = true;
    for (int piece = fileStart; piece <= fileEnd && complete; ++piece)
        complete = have.testBit(piece);
    if (complete) {
        // Nothing to stream: no one need give way.
        m_playing = Playing();
        return;
    }
    setYielding(true);
    m_stallGuard->watch(h.id());
    m_session->apply_settings(requestQueueSettings(int(info->piece_length())));
    applyLayers(h);
}

void TorrentSession::headFirst(const lt::torrent_handle &h)
{
    // A new download is most often played at once, its largest file (what
    // auto-play picks). Without this, rarest-first's random pieces are in
    // flight when the player says what it plays, and come first.
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info || keyOf(h) == m_playing.hash)
        return;
    const lt::file_storage &files = info->files();
    lt::file_index_t largest { -1 };
    for (lt::file_index_t f : files.file_range())
        if (!(files.file_flags(f) & lt::file_storage::flag_pad_file)
            && (largest < lt::file_index_t { 0 } || files.file_size(f) > files.file_size(largest)))
            largest = f;
    if (largest < lt::file_index_t { 0 } || files.file_size(largest) == 0)
        return;
    const int first = int(static_cast<int>(files.map_file(largest, 0, 1).piece));
    const int last = RowBuilder::lastPiece(files, largest);
    // Ranked like the front of a played file's window: in order, ahead of
    // rarest-first's random picks.
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> bands;
    for (int rank = 0; rank < 3 && first + rank <= last; ++rank)
        bands.emplace_back(lt::piece_index_t(first + rank),
            lt::download_priority_t(std::uint8_t(StreamingPlan::bandPriority(rank))));
    h.prioritize_pieces(bands);
}

lt::settings_pack TorrentSession::requestQueueSettings(int playedPieceLength)
{
    // A peer serves requests in the order they were made, and what is
    // picked for it stays its own until it came: while a file plays, keep
    // that to the ordered front of the window. Left alone, a fast peer is
    // handed whole runs of pieces at once (20 s of its rate), picked at
    // random in the window's last band, and the next piece waits behind them.
    const lt::settings_pack defaults = lt::default_settings();
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::whole_pieces_threshold,
        playedPieceLength > 0 ? 0 : defaults.get_int(lt::settings_pack::whole_pieces_threshold));
    pack.set_int(lt::settings_pack::max_out_request_queue,
        playedPieceLength > 0
            ? int(qBound(qint64(16), 3 * qint64(playedPieceLength) / lt::default_block_size, qint64(500)))
            : defaults.get_int(lt::settings_pack::max_out_request_queue));
    return pack;
}

void TorrentSession::stopPlaying()
{
    const lt::torrent_handle h = handle(m_playing.hash);
    m_playing = Playing();
    m_stallGuard->watch(0);
    setYielding(false);
    m_session->apply_settings(requestQueueSettings(0));
    if (!h.is_valid() || !h.torrent_file())
        return;
    // Back to plain rarest-first. Deadlines go first: clearing them
    // afterwards could lower the pieces again.
    h.clear_piece_deadlines();
    h.prioritize_pieces(std::vector<lt::download_priority_t>(
        std::size_t(h.torrent_file()->num_pieces()), lt::default_priority));
}

void TorrentSession::setYielding(bool yielding)
{
    if (!yielding) {
        for (const QString &key : std::as_const(m_yielding)) {
            const lt::torrent_handle h = handle(key);
            if (h.is_valid())
                h.set_download_limit(0);
        }
        m_yielding.clear();
        return;
    }
    for (auto it = m_torrents.cbegin(); it != m_torrents.cend(); ++it) {
        if (it.key() == m_playing.hash || m_yielding.contains(it.key()))
            continue;
        it.value().set_download_limit(yieldingBytesPerSecond);
        m_yielding.insert(it.key());
    }
}

void TorrentSession::applyLayers(const lt::torrent_handle &h)
{
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info)
        return;
    Playing &p = m_playing;
    // Clear before setting priorities: clearing afterwards can lower the
    // pieces that had a deadline.
    h.clear_piece_deadlines();
    // Libtorrent picks at random among pieces of one priority: layers make
    // the order. Ahead of the player, then behind it, then other files.
    std::vector<lt::download_priority_t> layers(std::size_t(info->num_pieces()), otherFilesPriority);
    for (int piece = p.fileStart; piece <= p.fileEnd; ++piece)
        layers[std::size_t(piece)] = piece < p.origin ? behindPriority : playedFilePriority;
    h.prioritize_pieces(layers);
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    p.windowEnd = -1;
    extendWindow(h, have);
    if (p.tailWanted || (p.tailFirst && p.origin == p.fileStart))
        planTail(h, have);
    // A new place to play from (a start or a seek): the peers' request
    // queues are full of what the old place needed. A deadline due now puts
    // the first missing piece's requests at the front of a queue.
    int wanted = p.origin;
    while (wanted <= p.fileEnd && have.testBit(wanted))
        ++wanted;
    if (wanted <= p.fileEnd)
        h.set_piece_deadline(lt::piece_index_t(wanted), 0);
    readHead(h, have);
}

void TorrentSession::extendWindow(const lt::torrent_handle &h, const QBitArray &have)
{
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    Playing &p = m_playing;
    if (!info || p.origin < 0)
        return;
    int frontier = p.origin;
    while (frontier <= p.fileEnd && have.testBit(frontier))
        ++frontier;
    const int end = qMin(p.fileEnd,
        qMax(frontier, p.origin) + StreamingPlan::windowCount(info->piece_length(), p.bytesPerSecond) - 1);
    const QList<StreamingPlan::Deadline> plan = StreamingPlan::forWindow(
        p.origin, p.origin, end, info->piece_length(), p.bytesPerSecond, p.since.elapsed(), have);
    // An end fetched early keeps its earlier deadline.
    const int tailStart = StreamingPlan::tailStart(p.fileStart, p.fileEnd, info->piece_length());
    const bool tailPlanned = (p.tailFirst || p.tailWanted) && p.origin < tailStart;
    // Where the end is not needed at open it still comes early, players
    // show a file as seekable only once they have its end: beside the next
    // piece once the first seconds of playback are in.
    const int cushion = StreamingPlan::cushionCount(info->piece_length(), p.bytesPerSecond);
    int near = 0; // pieces present of the first seconds: a hole does not hold the end back
    for (int piece = p.origin; piece < qMin(p.fileEnd, p.origin + 2 * cushion); ++piece)
        near += have.testBit(piece) ? 1 : 0;
    const bool endEarly = !tailPlanned && p.origin < tailStart && !have.testBit(p.fileEnd) && near >= cushion;
    std::vector<int> order; // the missing pieces in the order playback wants them
    for (const StreamingPlan::Deadline &d : plan) {
        if (!(tailPlanned && d.piece >= tailStart) && !(endEarly && d.piece == p.fileEnd))
            order.push_back(d.piece);
    }
    if (tailPlanned) {
        // A player reading the end waits for it now; a container read from
        // its end at open needs its head's first pieces before that.
        std::vector<int> tail;
        for (int piece = qMax(tailStart, p.tailFrom < 0 ? p.fileEnd : p.tailFrom); piece <= p.fileEnd;
             ++piece)
            if (!have.testBit(piece))
                tail.push_back(piece);
        const auto at = order.begin() + (p.tailWanted ? 0 : qMin<qsizetype>(2, qsizetype(order.size())));
        order.insert(at, tail.begin(), tail.end());
    }
    if (endEarly)
        order.insert(order.begin() + qMin<qsizetype>(1, qsizetype(order.size())), p.fileEnd);
    // The next seconds of playback are due now, in order: on every tick
    // libtorrent's deadline logic gives their free blocks to the peers whose
    // queues would deliver them soonest. Only those: a deadline also raises
    // a piece to the top priority, among which the ordinary picker chooses
    // at random, so the rest of the window keeps its bands.
    const std::size_t urgent
        = std::size_t(StreamingPlan::cushionCount(info->piece_length(), p.bytesPerSecond));
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> bands;
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const lt::piece_index_t piece(order[rank]);
        if (rank < urgent)
            h.set_piece_deadline(piece, int(rank));
        else
            bands.emplace_back(piece,
                lt::download_priority_t(std::uint8_t(StreamingPlan::bandPriority(int(rank - urgent) + 1))));
    }
    if (!endEarly && !tailPlanned && end < p.fileEnd && !have.testBit(p.fileEnd))
        bands.emplace_back(lt::piece_index_t(p.fileEnd), lt::download_priority_t(std::uint8_t(4)));
    h.prioritize_pieces(bands);
    p.windowEnd = qMax(p.windowEnd, end);
}

void TorrentSession::planTail(const lt::torrent_handle &h, const QBitArray &have)
{
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    const Playing &p = m_playing;
    if (!info)
        return;
    // Only what the player reads of the end: most containers keep their
    // index in the last piece, and a read further back says so.
    const int tailStart = StreamingPlan::tailStart(p.fileStart, p.fileEnd, info->piece_length());
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> end;
    for (int piece = qMax(tailStart, p.tailFrom < 0 ? p.fileEnd : p.tailFrom); piece <= p.fileEnd; ++piece) {
        if (!have.testBit(piece))
            end.emplace_back(lt::piece_index_t(piece), lt::top_priority);
    }
    h.prioritize_pieces(end);
}

void TorrentSession::readHead(const lt::torrent_handle &h, const QBitArray &have)
{
    const int piece = m_playing.headNext;
    if (piece >= 0 && have.testBit(piece))
        h.read_piece(lt::piece_index_t(piece));
}

void TorrentSession::onPieceRead(const lt::torrent_handle &h, int piece, const QByteArray &data)
{
    Playing &p = m_playing;
    if (keyOf(h) != p.hash || piece != p.headNext || p.headNext < 0)
        return;
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info || data.isEmpty()) {
        p.headNext = -1;
        return;
    }
    const qint64 pieceStart = qint64(piece) * info->piece_length();
    const qint64 from = qMax<qint64>(0, p.fileOffset - pieceStart);
    p.head += data.mid(from, qMax<qint64>(0, p.fileOffset + p.fileBytes - pieceStart - from));
    // Both containers say what matters in their first kilobytes.
    if (p.head.size() < 64 * 1024 && piece < p.fileEnd) {
        p.headNext = piece + 1;
        readHead(h, piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces()));
        return;
    }
    p.headNext = -1;
    const MediaHead::Facts facts = MediaHead::read(p.head);
    p.head.clear();
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    bool retime = false;
    if (facts.kind != MediaHead::Kind::Unknown && facts.needsTail != p.tailFirst) {
        p.tailFirst = facts.needsTail;
        if (p.tailFirst && p.origin == p.fileStart) {
            planTail(h, have);
            retime = true; // the end among the deadlines
        } else if (!p.tailFirst && !p.tailWanted) {
            retime = true; // the end in playback order again
        }
    }
    const qint64 rate = StreamingPlan::bytesPerSecond(p.fileBytes, facts.durationSeconds);
    qCDebug(lcCore).noquote() << "played file:" << facts.durationSeconds << "s," << rate
                              << "bytes/s, tail first" << p.tailFirst;
    if (facts.durationSeconds > 0 && rate != p.bytesPerSecond) {
        p.bytesPerSecond = rate;
        retime = true;
    }
    if (retime)
        extendWindow(h, have);
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
            m_statusCache.update(key, status, diskTrouble(key, status));
    }
    emit statusReady();
}

void TorrentSession::fillStatusCache()
{
    // libtorrent reports changes only: a download it has not reported yet
    // is asked once.
    for (auto it = m_torrents.cbegin(); it != m_torrents.cend(); ++it) {
        if (!m_statusCache.contains(it.key())) {
            const lt::torrent_status status = it.value().status(statusQuery);
            m_statusCache.update(it.key(), status, diskTrouble(it.key(), status));
        }
    }
}

QList<QStringList> TorrentSession::statusRows()
{
    fillStatusCache();
    return m_statusCache.rows();
}

bool TorrentSession::fitsReplies(const lt::torrent_info &info, const QString &savePath, QString *why) const
{
    const qint64 limit = RowBuilder::maxFrameBytes() - 8;
    const qint64 description = RowBuilder::wireBytes(
        RowBuilder::descriptionRow(QString(40, QLatin1Char('0')), info, savePath, false));
    const qint64 status = RowBuilder::statusRowBound(info);
    if (description <= limit && status <= limit)
        return true;
    if (why)
        *why = QStringLiteral("too large to list: %1 files need %2 MiB in one reply, the most is %3 MiB")
                   .arg(info.files().num_files())
                   .arg(qMax(description, status) / (1024 * 1024))
                   .arg(limit / (1024 * 1024));
    return false;
}

void TorrentSession::setSavePath(const QString &path)
{
    m_settings.savePath = path;
}

void TorrentSession::setIpv6(bool enabled)
{
    m_settings.ipv6 = enabled;
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, m_settings.listenInterfaces().toStdString());
    m_session->apply_settings(pack);
}

void TorrentSession::setDiskCache(unsigned int megabytes)
{
    m_settings.diskCacheMb = megabytes;
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::max_queued_disk_bytes, diskCacheBytes(megabytes));
    m_session->apply_settings(pack);
}

void TorrentSession::setRateLimits(
    unsigned int downloadKib, unsigned int uploadKib, unsigned int maxConnections)
{
    m_settings.downloadLimitKib = downloadKib;
    m_settings.uploadLimitKib = uploadKib;
    m_settings.maxConnections = maxConnections;
    lt::settings_pack pack;
    limitsInto(pack);
    m_session->apply_settings(pack);
    limitLoopbackPeers();
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
        emit allResumeDataSaved();
        return;
    }
    m_saveAllTimeout.start();
}

void TorrentSession::holdForQuit(bool hold)
{
    if (hold)
        m_session->pause();
    else if (m_session->is_paused())
        m_session->resume();
}

void TorrentSession::settleSaveAll(const QString &key)
{
    if (!m_pendingSaveAll.remove(key) || !m_pendingSaveAll.isEmpty())
        return;
    m_saveAllTimeout.stop();
    emit allResumeDataSaved();
}

void TorrentSession::onResumeData(const lt::torrent_handle &h, const QByteArray &data)
{
    const QString key = keyOf(h);
    if (key.isEmpty())
        return; // removed meanwhile: its file must stay gone
    const bool yielding = m_yielding.contains(key);
    m_store.save(key, key == m_playing.hash || yielding ? withoutStreaming(data, yielding) : data);
    settleSaveAll(key);
}

QByteArray TorrentSession::withoutStreaming(const QByteArray &resumeData, bool yielding) const
{
    // A restart is not a playback: nothing of the window may outlive it.
    lt::error_code ec;
    lt::add_torrent_params params
        = lt::read_resume_data({ resumeData.constData(), int(resumeData.size()) }, ec);
    if (ec)
        return resumeData;
    params.flags &= ~lt::torrent_flags::sequential_download;
    params.piece_priorities.clear();
    params.file_priorities.clear();
    if (yielding)
        params.download_limit = 0;
    const std::vector<char> buffer = lt::write_resume_data_buf(params);
    return QByteArray(buffer.data(), qsizetype(buffer.size()));
}

void TorrentSession::onResumeDataFailed(const lt::torrent_handle &h)
{
    const QString key = keyOf(h);
    if (!key.isEmpty())
        settleSaveAll(key);
}

void TorrentSession::reapplyStreaming(const lt::torrent_handle &h)
{
    if (!keyOf(h).isEmpty() && keyOf(h) == m_playing.hash)
        applyLayers(h);
}

void TorrentSession::onPieceFinished(const lt::torrent_handle &h, int piece)
{
    const QString key = keyOf(h);
    Playing &p = m_playing;
    if (key.isEmpty() || key != p.hash || piece < p.fileStart || piece > p.fileEnd)
        return;
    qCDebug(lcCore, "played piece %d in", piece);
    emit playedPieceFinished(key, piece);
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info)
        return;
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    bool complete = true;
    for (int i = p.fileStart; i <= p.fileEnd && complete; ++i)
        complete = have.testBit(i);
    if (complete) {
        // Nothing left to stream: the torrent and the others download as usual.
        stopPlaying();
        return;
    }
    if (piece == p.headNext)
        readHead(h, have);
    if (piece >= p.origin && piece <= p.windowEnd)
        extendWindow(h, have);
}

void TorrentSession::setDiskRetryInterval(int milliseconds)
{
    m_diskRetry.setInterval(milliseconds);
}

void TorrentSession::onDiskError(
    const lt::torrent_handle &h, const lt::error_code &error, const QString &file)
{
    const QString key = keyOf(h);
    if (key.isEmpty())
        return;
    QString folder = QFileInfo(file).path();
    if (file.isEmpty() || folder == QLatin1String("."))
        folder = QString::fromStdString(h.status(lt::torrent_handle::query_save_path).save_path);
    QString why;
    if (error == boost::system::errc::no_space_on_device || error == boost::system::errc::file_too_large)
        why = QStringLiteral("disk full");
    else if (error == boost::system::errc::permission_denied
        || error == boost::system::errc::operation_not_permitted
        || error == boost::system::errc::read_only_file_system)
        why = QStringLiteral("permission denied");
    else
        why = QString::fromStdString(error.message());
    m_diskTrouble.insert(key, why + QStringLiteral(": ") + QDir::toNativeSeparators(folder));
    // The row says so now, not at the next change libtorrent reports.
    m_statusCache.forget(key);
}

QString TorrentSession::diskTrouble(const QString &key, const lt::torrent_status &status) const
{
    // Shown until a piece is written again: a retry alone proves nothing.
    if (status.is_seeding)
        return QString();
    return m_diskTrouble.value(key);
}

void TorrentSession::retryDisk()
{
    for (auto it = m_diskTrouble.cbegin(); it != m_diskTrouble.cend(); ++it) {
        const lt::torrent_handle h = handle(it.key());
        if (!h.is_valid())
            continue;
        qCInfo(lcCore).noquote() << "trying to write again after" << *it << "for" << it.key();
        const lt::torrent_status status = h.status({});
        if (status.errc) {
            h.clear_error();
            h.resume();
        }
        h.unset_flags(lt::torrent_flags::upload_mode);
    }
}
