#pragma once

#include <QBitArray>
#include <QList>
#include <QtGlobal>

// Which pieces a played file needs first, and by when. Pure arithmetic so
// that the order can be checked without a swarm.
class StreamingPlan
{
public:
    struct Deadline
    {
        int piece;
        int milliseconds;
        bool operator==(const Deadline &other) const = default;
    };

    // Pieces at the start of a file, sized for a player's first frames.
    static int headCount(qint64 pieceLength);
    // Pieces at the end: containers keep their index there.
    static int tailCount(qint64 pieceLength);
    // Pieces right ahead of the play position that get a deadline.
    static int windowCount(qint64 pieceLength);

    // A file starts playing: its head and its tail first, head before tail.
    static QList<Deadline> forStart(int firstPiece, int lastPiece, qint64 pieceLength, const QBitArray &have);
    // Playback needs data from firstWanted on: a window with deadlines that
    // grow with the distance.
    static QList<Deadline> forWindow(
        int firstWanted, int lastPiece, qint64 pieceLength, const QBitArray &have);

private:
    static int piecesFor(qint64 bytes, qint64 pieceLength);
};
