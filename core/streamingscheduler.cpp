#include "streamingscheduler.h"

#include "companionpriority.h"
#include "mediahead.h"
#include "rowbuilder.h"
#include "stallguard.h"
#include "streamingplan.h"

#include "platform/logging.h"

#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>
#include <libtorrent/write_resume_data.hpp>

namespace {
// Layers below the window's bands (4-7): the played file ahead of the
// player, then behind it, then the other files.
constexpr lt::download_priority_t otherFilesPriority { 1 };
constexpr lt::download_priority_t behindPriority { 2 };
constexpr lt::download_priority_t playedFilePriority { 3 };
// What other downloads get while a file plays: enough to keep their peers.
constexpr int yieldingBytesPerSecond = 64 * 1024;

QBitArray piecesOf(const lt::torrent_status &status, int pieceCount)
{
    QBitArray have(pieceCount);
    const QString bits = RowBuilder::bitField(status, pieceCount);
    for (int i = 0; i < bits.size(); ++i)
        have.setBit(i, bits.at(i) == QLatin1Char('1'));
    return have;
}
}

StreamingScheduler::StreamingScheduler(
    lt::session &session, const QHash<QString, lt::torrent_handle> &torrents, QObject *parent)
    : QObject(parent)
    , m_session(&session)
    , m_torrents(torrents)
    , m_stallGuard(std::make_shared<StallGuard>())
{
    // Before any download joins: libtorrent gives a plugin only the
    // downloads added after it.
    m_session->add_extension(m_stallGuard);
}

lt::torrent_handle StreamingScheduler::handle(const QString &hash) const
{
    return m_torrents.value(hash.toLower());
}

void StreamingScheduler::downloadAdded()
{
    if (!m_playing.hash.isEmpty())
        setYielding(true);
}

void StreamingScheduler::downloadRemoved(const QString &key)
{
    m_yielding.remove(key);
    if (m_playing.hash == key) {
        m_playing = Playing();
        m_stallGuard->watch(0);
        setYielding(false);
    }
}

QByteArray StreamingScheduler::forStorage(const QString &key, const QByteArray &resumeData) const
{
    const bool yielding = m_yielding.contains(key);
    return key == m_playing.hash || yielding ? withoutStreaming(resumeData, yielding) : resumeData;
}

std::shared_ptr<const lt::torrent_info> StreamingScheduler::playable(
    const QString &key, lt::torrent_handle *h, QString *error) const
{
    *h = handle(key);
    if (!h->is_valid()) {
        *error = QStringLiteral("unknown download");
        return nullptr;
    }
    std::shared_ptr<const lt::torrent_info> info = h->torrent_file();
    if (!info)
        *error = QStringLiteral("no metadata yet");
    return info;
}

bool StreamingScheduler::setPlayedFile(const QString &hash, int fileRow, QString *error)
{
    const QString key = hash.toLower();
    lt::torrent_handle h;
    const std::shared_ptr<const lt::torrent_info> info = playable(key, &h, error);
    if (!info)
        return false;
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

bool StreamingScheduler::setStreamingWindow(
    const QString &hash, int fileStart, int firstWanted, int fileEnd, QString *error)
{
    const QString key = hash.toLower();
    lt::torrent_handle h;
    const std::shared_ptr<const lt::torrent_info> info = playable(key, &h, error);
    if (!info)
        return false;
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

bool StreamingScheduler::readerAt(const QString &hash, int fileRow, qint64 offset, QString *error)
{
    lt::torrent_handle h;
    const std::shared_ptr<const lt::torrent_info> info = playable(hash.toLower(), &h, error);
    if (!info)
        return false;
    const lt::file_storage &files = info->files();
    const QList<lt::file_index_t> visible = RowBuilder::visibleFiles(files);
    if (fileRow < 0 || fileRow >= visible.size()) {
        *error = QStringLiteral("no file %1").arg(fileRow);
        return false;
    }
    const lt::file_index_t file = visible.at(fileRow);
    if (files.file_size(file) <= 0)
        return true;
    const qint64 at = qBound(qint64(0), offset, qint64(files.file_size(file) - 1));
    const int wanted = static_cast<int>(files.map_file(file, at, 1).piece);
    return setStreamingWindow(
        hash, RowBuilder::firstPiece(files, file), wanted, RowBuilder::lastPiece(files, file), error);
}

void StreamingScheduler::play(
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

void StreamingScheduler::headFirst(const QString &key, const lt::torrent_handle &h)
{
    // A new download is most often played at once, its largest file (what
    // auto-play picks). Without this, rarest-first's random pieces are in
    // flight when the player says what it plays, and come first.
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info || key == m_playing.hash)
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

lt::settings_pack StreamingScheduler::requestQueueSettings(int playedPieceLength)
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

void StreamingScheduler::stopPlaying()
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

void StreamingScheduler::setYielding(bool yielding)
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

void StreamingScheduler::applyLayers(const lt::torrent_handle &h)
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
    CompanionPriority::fetchFirst(h, p.fileRow);
}

void StreamingScheduler::extendWindow(const lt::torrent_handle &h, const QBitArray &have)
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

void StreamingScheduler::planTail(const lt::torrent_handle &h, const QBitArray &have)
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

void StreamingScheduler::readHead(const lt::torrent_handle &h, const QBitArray &have)
{
    const int piece = m_playing.headNext;
    if (piece >= 0 && have.testBit(piece))
        h.read_piece(lt::piece_index_t(piece));
}

void StreamingScheduler::onPieceRead(
    const QString &key, const lt::torrent_handle &h, int piece, const QByteArray &data)
{
    Playing &p = m_playing;
    if (key != p.hash || piece != p.headNext || p.headNext < 0)
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

QByteArray StreamingScheduler::withoutStreaming(const QByteArray &resumeData, bool yielding) const
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

void StreamingScheduler::reapply(const QString &key, const lt::torrent_handle &h)
{
    if (!key.isEmpty() && key == m_playing.hash)
        applyLayers(h);
}

void StreamingScheduler::onPieceFinished(const QString &key, const lt::torrent_handle &h, int piece)
{
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
