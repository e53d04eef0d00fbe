#pragma once

#include "player/piecesource.h"

#include <QByteArray>
#include <QList>

// Answers the player's piece queries from a piece string the test sets, the
// way the downloads list answers them, and records every query.
class ScriptedPieces : public PieceSource
{
public:
    QByteArray bits;
    QList<int> readyQueries;
    int lastPieceQueries = 0;

    bool pieceReady(QString, int, int piece, bool) override
    {
        readyQueries << piece;
        const int last = int(bits.size()) - 1;
        if (last < 1)
            return false;
        const int end = qMin(piece + (piece == 0 ? 4 : 2), last);
        for (int p = piece; p <= end; ++p)
            if (bits.at(p) != '1')
                return false;
        return true;
    }
    bool hasLastPiece(QString, int) override
    {
        ++lastPieceQueries;
        return !bits.isEmpty() && bits.endsWith('1');
    }
};
