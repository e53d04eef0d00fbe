#pragma once

#include "player/piecesource.h"

#include <QPointer>

class TorrentPieces;

// The downloads' piece owner as the player's piece source.
class TorrentPieceSource : public PieceSource
{
public:
    explicit TorrentPieceSource(TorrentPieces *pieces);
    bool piecesPresent(const QString &hash, int fileIndex, int piece) const override;
    void requestFrom(const QString &hash, int fileIndex, int piece) override;
    bool hasLastPiece(const QString &hash, int fileIndex) const override;
    PieceMap filePieces(const QString &hash, int fileIndex) const override;
    int pieceLength(const QString &hash) const override;
    QString waitCause(const QString &hash) const override;

private:
    QPointer<TorrentPieces> m_pieces;
};
