#pragma once

#include <QString>

// The downloads list's two answers about the pieces of the file being
// played. The player asks; it never turns a play position into a piece.
class PieceSource
{
public:
    virtual ~PieceSource() = default;
    // Whether the pieces from piece on (a few of them) are present; with
    // requestPriority the core is asked to fetch the file from there first.
    virtual bool pieceReady(QString hash, int fileIndex, int piece, bool requestPriority) = 0;
    virtual bool hasLastPiece(QString hash, int fileIndex) = 0;
};
