#pragma once

#include "downloads/piecemap.h"

#include <QElapsedTimer>

// Whether the clock may start at the first picture of an open: on a link not
// well above the file's rate it waits for a few pieces, as after a stop,
// with the picture up. Measures the link from the pieces that come.
class StartGate
{
public:
    // A new file: nothing has come yet.
    void restart();
    // A new open of the same file: nothing is held or seen yet.
    void newOpen();
    bool held() const { return m_heldAt >= 0; }

    enum Step { Waiting, HoldClock, Started };
    // An engine event before playback counts as started: the first picture
    // (picture) or a position at the engine time now. The picture is up,
    // but the clock starts only once the engine holds a little more.
    Step progress(
        bool picture, qint64 now, qint64 lengthMs, const PieceMap &pieces, int pieceLength, int lack);

    // The pieces before and after a refresh.
    void countArrivals(const PieceMap &before, const PieceMap &now);
    // At the first picture: true when the clock should wait, from the first
    // missing piece at or after lack on.
    bool holdIfSlow(qint64 lengthMs, const PieceMap &pieces, int pieceLength, int lack);
    // The held pieces are in: true once, and the hold is over.
    bool releaseIfIn(const PieceMap &pieces);

private:
    int m_heldAt = -1; // first of the pieces the clock waits for
    qint64 m_firstTimeSeen = -1;
    bool m_pictureSeen = false;
    QElapsedTimer m_arrivals; // since the first piece came after the open
    qint64 m_arrivedPieces = 0; // pieces come since then
    qint64 m_lastArrivalMs = 0; // when the last of them came
};
