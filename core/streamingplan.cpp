#include "streamingplan.h"

namespace {
// 6 Mbit/s: above most HD files, so an unknown file is not starved.
constexpr qint64 assumedBytesPerSecond = 6'000'000 / 8;
constexpr qint64 slowestBytesPerSecond = 32 * 1024;
constexpr qint64 fastestBytesPerSecond = 100'000'000 / 8;
constexpr qint64 windowSeconds = 20;
constexpr qint64 cushionSeconds = 2;
constexpr int minimumWindow = 4;
constexpr qint64 tailBytes = 512 * 1024;

int piecesFor(qint64 bytes, qint64 pieceLength)
{
    if (pieceLength <= 0)
        return 1;
    return int(qMax<qint64>(1, (bytes + pieceLength - 1) / pieceLength));
}
}

qint64 StreamingPlan::bytesPerSecond(qint64 fileBytes, double durationSeconds)
{
    if (fileBytes <= 0 || !(durationSeconds >= 1.0))
        return assumedBytesPerSecond;
    return qBound(slowestBytesPerSecond, qint64(double(fileBytes) / durationSeconds), fastestBytesPerSecond);
}

int StreamingPlan::windowCount(qint64 pieceLength, qint64 bytesPerSecond)
{
    return qMax(minimumWindow, piecesFor(windowSeconds * qMax<qint64>(1, bytesPerSecond), pieceLength));
}

int StreamingPlan::cushionCount(qint64 pieceLength, qint64 bytesPerSecond)
{
    return piecesFor(cushionSeconds * qMax<qint64>(1, bytesPerSecond), pieceLength);
}

int StreamingPlan::tailCount(qint64 pieceLength)
{
    return piecesFor(tailBytes, pieceLength);
}

int StreamingPlan::tailStart(int fileStart, int fileEnd, qint64 pieceLength)
{
    return qMax(fileStart, fileEnd - tailCount(pieceLength) + 1);
}

int StreamingPlan::bandPriority(int rank)
{
    // Libtorrent's picker takes the highest priority first and picks at
    // random within one. So the next three pieces get a priority each and
    // the rest of the window one band, above the rest of the file: the
    // window fills before anything beyond it. It is re-banded as pieces come.
    return rank < 3 ? 7 - rank : 4;
}

QList<StreamingPlan::Deadline> StreamingPlan::forWindow(int origin, int from, int to, qint64 pieceLength,
    qint64 bytesPerSecond, qint64 elapsedMs, const QBitArray &have)
{
    QList<Deadline> out;
    if (from < 0 || to < from || pieceLength <= 0 || bytesPerSecond <= 0)
        return out;
    int previous = -1;
    for (int piece = from; piece <= to; ++piece) {
        if (piece < have.size() && have.testBit(piece))
            continue;
        const qint64 due = qint64(piece - origin) * pieceLength * 1000 / bytesPerSecond - elapsedMs;
        // Equal deadlines would leave the order to libtorrent.
        const int milliseconds = int(qMax<qint64>(previous + 1, qMin<qint64>(due, 1 << 30)));
        out.append({ piece, milliseconds });
        previous = milliseconds;
    }
    return out;
}
