#pragma once

#include "player/piecegate.h"

#include <QTimer>

class StreamingPolicy;

// The polls that wait for what playback lacks: the piece a held read needs,
// the file and its piece string before the first start, and the last piece
// that lets head-only playback seek. They act on the policy's state.
class StreamingChecks
{
public:
    explicit StreamingChecks(StreamingPolicy &policy);

    void setIntervals(int piece, int file, int lastPiece);
    void pieceCheck();
    void torrentFileCheck();
    void lastPieceCheck();
    // Pieces that held playback are in: play on, or reopen seekable when
    // the last piece came meanwhile.
    void piecesIn();

    QTimer pieceCheckTimer;
    QTimer fileCheckTimer;
    QTimer lastPieceCheckTimer;

private:
    // Pieces that held playback are in: play on in the given mode.
    void resumeWithPieces(PieceGate::Mode mode);

    // Short: nearly every line reads or sets the policy's state.
    StreamingPolicy &p;
};
