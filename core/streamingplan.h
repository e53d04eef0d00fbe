#pragma once

#include <QBitArray>
#include <QList>
#include <QtGlobal>

// Which pieces a played file needs, and by when. Pure arithmetic so that
// the order can be checked without a swarm.
class StreamingPlan
{
public:
    struct Deadline
    {
        int piece;
        int milliseconds;
        bool operator==(const Deadline &other) const = default;
    };

    // Bytes of media per second of playback: from the file's duration when
    // known, else a typical HD bitrate.
    static qint64 bytesPerSecond(qint64 fileBytes, double durationSeconds);
    // Pieces that hold the next stretch of playback ahead of the wanted one.
    static int windowCount(qint64 pieceLength, qint64 bytesPerSecond);
    // Pieces that hold the first seconds of playback from the wanted one.
    static int cushionCount(qint64 pieceLength, qint64 bytesPerSecond);
    // Pieces at the end, where containers keep their index.
    static int tailCount(qint64 pieceLength);
    static int tailStart(int fileStart, int fileEnd, qint64 pieceLength);

    // The piece priority of the rank-th missing piece of a window: 7 (a
    // deadline) for the next ones, then lower bands, none below 4.
    static int bandPriority(int rank);

    // The missing pieces of [from, to], each due when playback that left
    // `origin` elapsedMs ago reaches it; strictly increasing, the first at 0
    // at the earliest.
    static QList<Deadline> forWindow(int origin, int from, int to, qint64 pieceLength, qint64 bytesPerSecond,
        qint64 elapsedMs, const QBitArray &have);
};
