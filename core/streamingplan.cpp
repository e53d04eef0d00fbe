#include "streamingplan.h"

#include <QSet>

namespace {
constexpr qint64 headBytes = 1024 * 1024;
constexpr qint64 tailBytes = 1024 * 1024;
constexpr qint64 windowBytes = 1024 * 1024;
constexpr int minimumHead = 5; // the player checks five pieces before it starts
constexpr int minimumWindow = 5;
constexpr int headStepMs = 25;
constexpr int windowStepMs = 50;

bool present(const QBitArray &have, int piece)
{
    return piece >= 0 && piece < have.size() && have.testBit(piece);
}

// Appends pieces [from, to] that are missing and not planned yet.
void plan(QList<StreamingPlan::Deadline> &out, QSet<int> &seen, int from, int to, int &deadline, int step,
    const QBitArray &have)
{
    for (int piece = from; piece <= to; ++piece) {
        if (seen.contains(piece))
            continue;
        seen.insert(piece);
        if (present(have, piece))
            continue;
        out.append({ piece, deadline });
        deadline += step;
    }
}
}

int StreamingPlan::piecesFor(qint64 bytes, qint64 pieceLength)
{
    if (pieceLength <= 0)
        return 1;
    return int(qMax<qint64>(1, (bytes + pieceLength - 1) / pieceLength));
}

int StreamingPlan::headCount(qint64 pieceLength)
{
    return qMax(minimumHead, piecesFor(headBytes, pieceLength));
}

int StreamingPlan::tailCount(qint64 pieceLength)
{
    return piecesFor(tailBytes, pieceLength);
}

int StreamingPlan::windowCount(qint64 pieceLength)
{
    return qMax(minimumWindow, piecesFor(windowBytes, pieceLength));
}

QList<StreamingPlan::Deadline> StreamingPlan::forStart(
    int firstPiece, int lastPiece, qint64 pieceLength, const QBitArray &have)
{
    QList<Deadline> out;
    if (firstPiece < 0 || lastPiece < firstPiece)
        return out;
    QSet<int> seen;
    int deadline = 0;
    plan(out, seen, firstPiece, qMin(lastPiece, firstPiece + headCount(pieceLength) - 1), deadline,
        headStepMs, have);
    plan(out, seen, qMax(firstPiece, lastPiece - tailCount(pieceLength) + 1), lastPiece, deadline, headStepMs,
        have);
    return out;
}

QList<StreamingPlan::Deadline> StreamingPlan::forWindow(
    int firstWanted, int lastPiece, qint64 pieceLength, const QBitArray &have)
{
    QList<Deadline> out;
    if (firstWanted < 0 || lastPiece < firstWanted)
        return out;
    QSet<int> seen;
    int deadline = 0;
    plan(out, seen, firstWanted, qMin(lastPiece, firstWanted + windowCount(pieceLength) - 1), deadline,
        windowStepMs, have);
    return out;
}
