#include "torrentpiecesource.h"

#include "downloads/torrentpieces.h"

TorrentPieceSource::TorrentPieceSource(TorrentPieces *pieces)
    : m_pieces(pieces)
{ }

bool TorrentPieceSource::piecesPresent(const QString &hash, int fileIndex, int piece) const
{
    return m_pieces && m_pieces->pieceReady(hash, fileIndex, piece);
}

void TorrentPieceSource::requestFrom(const QString &hash, int fileIndex, int piece)
{
    if (m_pieces)
        m_pieces->requestPieces(m_pieces->checkPieces(hash, fileIndex, piece), true);
}

bool TorrentPieceSource::hasLastPiece(const QString &hash, int fileIndex) const
{
    return m_pieces && m_pieces->hasLastPiece(hash, fileIndex);
}

PieceMap TorrentPieceSource::filePieces(const QString &hash, int fileIndex) const
{
    return m_pieces ? m_pieces->filePieces(hash, fileIndex) : PieceMap();
}

QString TorrentPieceSource::waitCause(const QString &hash) const
{
    return m_pieces ? m_pieces->waitCause(hash) : QString();
}

int TorrentPieceSource::pieceLength(const QString &hash) const
{
    return m_pieces ? m_pieces->pieceLength(hash) : 0;
}
