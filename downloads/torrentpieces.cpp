#include "torrentpieces.h"

#include "platform/logging.h"
#include "replyrow.h"

#include <QCoreApplication>

TorrentPieces::TorrentPieces(QObject *parent)
    : QObject(parent)
{ }

namespace {

QString causeOf(const ReplyRow &fields)
{
    // The core's own words for a download that cannot write.
    for (const char *trouble : { "disk full", "permission denied" }) {
        if (fields.progress().startsWith(QLatin1String(trouble)))
            return QCoreApplication::translate("player", trouble);
    }
    if (fields.seeds().toInt() + fields.peers().toInt() == 0)
        return QCoreApplication::translate("player", "no peers");
    return QString();
}

} // namespace

void TorrentPieces::statusReceived(const QList<QStringList> &list)
{
    for (const QStringList &row : list) {
        if (row.isEmpty())
            continue;
        const ReplyRow fields(row);
        // The list stops at a broken row; so do the pieces.
        if (!fields.isStatus())
            return;
        Torrent &torrent = m_torrents[fields.hash()];
        torrent.pieces = PieceMap::fromText(fields.bitField());
        torrent.pieceCount = fields.pieceCount();
        torrent.pieceLength = fields.pieceLength();
        torrent.waitCause = causeOf(fields);
        const int files = fields.fileStatusCount();
        torrent.files.resize(files);
        for (int i = 0; i < files; ++i)
            torrent.files[i] = { fields.fileFirstPiece(i), fields.fileLastPiece(i) };
    }
    emit statusRefreshed();
}

void TorrentPieces::pieceFinished(const QString &hash, int piece)
{
    auto it = m_torrents.find(hash);
    if (it == m_torrents.end() || piece < 0 || piece >= it->pieces.size())
        return;
    it->pieces.set(piece);
    emit pieceAdded(hash);
}

const TorrentPieces::Torrent *TorrentPieces::find(const QString &hash, int fileIndex, FileRange *range) const
{
    auto it = m_torrents.constFind(hash);
    if (it == m_torrents.cend())
        return nullptr;
    if (it->files.isEmpty()) {
        *range = { 0, it->pieceCount - 1 };
        return &*it;
    }
    if (fileIndex < 0 || fileIndex >= it->files.size())
        return nullptr;
    *range = it->files.at(fileIndex);
    return &*it;
}

PieceMap TorrentPieces::filePieces(const QString &hash, int fileIndex) const
{
    FileRange range;
    const Torrent *torrent = find(hash, fileIndex, &range);
    if (!torrent)
        return PieceMap();
    if (torrent->files.isEmpty())
        return torrent->pieces;
    return torrent->pieces.slice(range.first, range.last);
}

PieceMap TorrentPieces::torrentPieces(const QString &hash) const
{
    return m_torrents.value(hash).pieces;
}

QString TorrentPieces::waitCause(const QString &hash) const
{
    return m_torrents.value(hash).waitCause;
}

int TorrentPieces::pieceLength(const QString &hash) const
{
    return m_torrents.value(hash).pieceLength;
}

PieceCheck TorrentPieces::checkPieces(const QString &hash, int fileIndex, int piece) const
{
    PieceCheck check;
    check.hash = hash;
    check.fileIndex = fileIndex;
    FileRange range;
    const Torrent *torrent = find(hash, fileIndex, &range);
    if (!torrent)
        return check;
    if (piece == 0)
        qCDebug(lcDownloads).noquote() << "check before play new file,so check more data";

    const PieceMap &bits = torrent->pieces;
    check.fileStart = range.first;
    check.last = range.last;
    check.first = piece + range.first;
    const int end = qMin(check.first + piecesAhead(piece), check.last);
    check.ready = true;
    for (int p = check.first; p <= end; ++p) {
        if (bits.isEmpty()) {
            qCDebug(lcDownloads).noquote() << "bitString is empty";
            check.ready = false;
            break;
        }
        // A piece the map does not hold (the core's counts disagree, or a
        // bad piece number) is as good as missing.
        if (!bits.has(p)) {
            qCDebug(lcDownloads).noquote() << "bitString.at(" << p - check.fileStart << ")==0";
            check.ready = false;
            break;
        }
    }

    check.known = check.last >= 1;
    if (!check.known) {
        qCDebug(lcDownloads).noquote() << "the message doesn't update from core";
        check.ready = false;
    }
    return check;
}

bool TorrentPieces::pieceReady(const QString &hash, int fileIndex, int piece) const
{
    return checkPieces(hash, fileIndex, piece).ready;
}

bool TorrentPieces::hasLastPiece(const QString &hash, int fileIndex) const
{
    return filePieces(hash, fileIndex).hasLast();
}

void TorrentPieces::requestPieces(const PieceCheck &check, bool requestPriority)
{
    // Without piece data the core has nothing to put first yet.
    if (!check.known)
        return;
    if (check.ready && !requestPriority) {
        qCDebug(lcDownloads).noquote() << "all pieces in the position exist..";
        return;
    }
    qCDebug(lcDownloads).noquote() << "request core download fileIndex" << check.fileIndex << "filestartpiece"
                                   << check.fileStart << "blockstartpiece" << check.first << "fileendpiece"
                                   << check.last << "dataExit" << check.ready << "setPriority"
                                   << requestPriority;
    emit sessionRequest(CoreProtocol::PiecePriority,
        QStringList { check.hash, QString::number(check.fileStart), QString::number(check.first),
            QString::number(check.last) });
}
