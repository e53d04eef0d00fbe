#pragma once

#include "downloads/piecemap.h"

#include <QString>

// Where the player learns about the pieces of the file being played. The
// player asks; it never turns a play position into a piece.
class PieceSource
{
public:
    virtual ~PieceSource() = default;
    // Whether the pieces from piece on (piecesAhead() of them) are present.
    // Asking sends nothing.
    virtual bool piecesPresent(const QString &hash, int fileIndex, int piece) const = 0;
    // Asks the core to fetch the file from piece on first.
    virtual void requestFrom(const QString &hash, int fileIndex, int piece) = 0;
    virtual bool hasLastPiece(const QString &hash, int fileIndex) const = 0;
    // The file's pieces (character 0 is its first piece) and the torrent's
    // piece length; empty and 0 when unknown.
    virtual PieceMap filePieces(const QString &, int) const { return PieceMap(); }
    virtual int pieceLength(const QString &) const { return 0; }
    // Why the download may not deliver ("no peers", "disk full"); empty
    // when nothing is known to stop it.
    virtual QString waitCause(const QString &) const { return QString(); }
};
