#pragma once

#include "player/piecesource.h"

#include <QByteArray>
#include <QList>

// Answers the player's piece queries from a piece string the test sets, the
// way the downloads answer them, and records every request.
class ScriptedPieces : public PieceSource
{
public:
    QByteArray bits;
    int length = 262144;
    QList<int> requested;
    mutable int lastPieceQueries = 0;

    bool piecesPresent(const QString &, int, int piece) const override
    {
        const int last = int(bits.size()) - 1;
        if (last < 1)
            return false;
        const int end = qMin(piece + piecesAhead(piece), last);
        for (int p = piece; p <= end; ++p)
            if (bits.at(p) != '1')
                return false;
        return true;
    }
    void requestFrom(const QString &, int, int piece) override { requested << piece; }
    PieceMap filePieces(const QString &, int) const override { return PieceMap::fromText(bits); }
    int pieceLength(const QString &) const override { return length; }
    bool hasLastPiece(const QString &, int) const override
    {
        ++lastPieceQueries;
        return !bits.isEmpty() && bits.endsWith('1');
    }
};
