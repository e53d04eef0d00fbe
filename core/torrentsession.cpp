#include "torrentsession.h"

#include "alertdispatcher.h"
#include "rowbuilder.h"
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
// Libtorrent orders pieces by priority and availability together, and
// halves the availability of priorities 4-6: in a swarm of one seed a 6
// beats a 7. Only 7 (availability ignored) and 1-4 keep their order under
// every availability, so those are the layers used.
constexpr lt::download_priority_t otherFilesPriority { 1 };
constexpr lt::download_priority_t behindPriority { 3 };
constexpr lt::download_priority_t playedFilePriority { 4 };

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
    m_alerts = new AlertDispatcher(*m_session, this);

    connect(m_alerts, &AlertDispatcher::resumeDataReady, this, &TorrentSession::onResumeData);
    connect(m_alerts, &AlertDispatcher::resumeDataFailed, this, &TorrentSession::onResumeDataFailed);
    connect(m_alerts, &AlertDispatcher::pieceFinished, this, &TorrentSession::onPieceFinished);
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
    if (boost) {
        for (const lt::tcp::endpoint &peer : hints)
            h.connect_peer(peer);
        h.resume();
    }
    if (boost) {
        params.flags &= ~lt::torrent_flags::paused;
        params.peers = hints;
    }
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
    m_streaming.remove(key);
    if (m_played.hash == key)
        m_played = Played();
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
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid()) {
        *error = QStringLiteral("unknown download");
        return false;
    }
    if (!applyPlayedFile(h, fileRow, error))
        return false;
    m_streaming.insert(hash.toLower(), Streaming { fileRow, -1, -1, -1 });
    return true;
}

bool TorrentSession::applyPlayedFile(const lt::torrent_handle &h, int fileRow, QString *error)
{
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
    // The played file before the others, which stay wanted, only later.
    // Setting file priorities also resets every piece priority.
    std::vector<lt::download_priority_t> priorities = h.get_file_priorities();
    priorities.resize(std::size_t(files.num_files()), lt::default_priority);
    for (const lt::file_index_t file : visible)
        priorities[std::size_t(static_cast<int>(file))] = otherFilesPriority;
    const lt::file_index_t played = visible.at(fileRow);
    priorities[std::size_t(static_cast<int>(played))] = playedFilePriority;
    h.prioritize_files(priorities);

    const int first = RowBuilder::firstPiece(files, played);
    const int last = RowBuilder::lastPiece(files, played);
    m_played = { keyOf(h), first, last };

    // Head and tail above the rest of the file; deadlines order them.
    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    const QList<StreamingPlan::Deadline> plan
        = StreamingPlan::forStart(first, last, info->piece_length(), have);
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> urgent;
    for (const StreamingPlan::Deadline &d : plan)
        urgent.emplace_back(lt::piece_index_t(d.piece), lt::top_priority);
    h.prioritize_pieces(urgent);
    h.clear_piece_deadlines();
    for (const StreamingPlan::Deadline &d : plan)
        h.set_piece_deadline(lt::piece_index_t(d.piece), d.milliseconds);
    return true;
}

bool TorrentSession::setStreamingWindow(
    const QString &hash, int fileStart, int firstWanted, int fileEnd, QString *error)
{
    const lt::torrent_handle h = handle(hash);
    if (!h.is_valid()) {
        *error = QStringLiteral("unknown download");
        return false;
    }
    Streaming streaming = m_streaming.value(hash.toLower());
    streaming.fileStart = fileStart;
    streaming.firstWanted = firstWanted;
    streaming.fileEnd = fileEnd;
    if (!applyWindow(h, streaming, error))
        return false;
    m_streaming.insert(hash.toLower(), streaming);
    return true;
}

bool TorrentSession::applyWindow(const lt::torrent_handle &h, const Streaming &window, QString *error)
{
    const int fileStart = window.fileStart;
    const int firstWanted = window.firstWanted;
    const int fileEnd = window.fileEnd;
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info) {
        *error = QStringLiteral("no metadata yet");
        return false;
    }
    if (fileStart < 0 || fileStart > firstWanted || firstWanted > fileEnd || fileEnd >= info->num_pieces()) {
        *error = QStringLiteral("pieces %1 %2 %3 out of range").arg(fileStart).arg(firstWanted).arg(fileEnd);
        return false;
    }
    m_played = { keyOf(h), fileStart, fileEnd };

    const QBitArray have = piecesOf(h.status(lt::torrent_handle::query_pieces), info->num_pieces());
    const QList<StreamingPlan::Deadline> plan
        = StreamingPlan::forWindow(firstWanted, fileEnd, info->piece_length(), have);
    // Libtorrent picks at random among pieces of one priority, and its
    // deadlines barely change that with one peer: layers make the order.
    // The pieces the player waits for on top; the rest of the file up to
    // its end (with the tail, for seeking) next; what lies behind the play
    // position below that (a seek back also lowers what an earlier window
    // raised).
    const int nearEnd = qMin(fileEnd, firstWanted + StreamingPlan::windowCount(info->piece_length()) - 1);
    // The tail stays on top as well: players read a container's end before
    // they show anything, and the file is not seekable until it is there.
    const int tailStart = qMax(fileStart, fileEnd - StreamingPlan::tailCount(info->piece_length()) + 1);
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> layers;
    for (int piece = fileStart; piece <= fileEnd; ++piece) {
        if (have.testBit(piece))
            continue;
        lt::download_priority_t priority = playedFilePriority;
        if (piece >= tailStart || (piece >= firstWanted && piece <= nearEnd))
            priority = lt::top_priority;
        else if (piece < firstWanted)
            priority = behindPriority;
        layers.emplace_back(lt::piece_index_t(piece), priority);
    }
    h.prioritize_pieces(layers);
    // Within a layer, in file order: the piece after the window is the one
    // playback needs next.
    h.set_flags(lt::torrent_flags::sequential_download);
    // A new window replaces the old one: after a seek the old place is moot.
    // (A deadline also lifts its piece to 7: only the near pieces get one.)
    h.clear_piece_deadlines();
    int after = 0;
    for (const StreamingPlan::Deadline &d : plan) {
        h.set_piece_deadline(lt::piece_index_t(d.piece), d.milliseconds);
        after = qMax(after, d.milliseconds);
    }
    for (int piece = qMax(tailStart, nearEnd + 1); piece <= fileEnd; ++piece)
        if (!have.testBit(piece))
            h.set_piece_deadline(lt::piece_index_t(piece), after += 50);
    return true;
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
    m_store.save(key, data);
    settleSaveAll(key);
}

void TorrentSession::onResumeDataFailed(const lt::torrent_handle &h)
{
    const QString key = keyOf(h);
    if (!key.isEmpty())
        settleSaveAll(key);
}

void TorrentSession::reapplyStreaming(const lt::torrent_handle &h)
{
    const QString key = keyOf(h);
    const auto it = m_streaming.constFind(key);
    if (key.isEmpty() || it == m_streaming.constEnd())
        return;
    QString error;
    if (it->fileRow >= 0)
        applyPlayedFile(h, it->fileRow, &error);
    if (it->firstWanted >= 0)
        applyWindow(h, *it, &error);
}

void TorrentSession::onPieceFinished(const lt::torrent_handle &h, int piece)
{
    const QString key = keyOf(h);
    if (!key.isEmpty() && key == m_played.hash && piece >= m_played.firstPiece && piece <= m_played.lastPiece)
        emit playedPieceFinished(key, piece);
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
