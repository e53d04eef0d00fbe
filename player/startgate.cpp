#include "startgate.h"

#include "platform/logging.h"

namespace {

// The clock starts at the first picture only on a link this much (in
// tenths) faster than the file plays.
constexpr qint64 startFactorTenths = 17; // measured 1.5x links read 1.3-1.6, 2x links 1.8-2.1

} // namespace

void StartGate::restart()
{
    m_arrivals.invalidate();
    m_arrivedPieces = 0;
    m_lastArrivalMs = 0;
}

void StartGate::countArrivals(const PieceMap &before, const PieceMap &now)
{
    // From the first piece that came after the open: the rate of the link,
    // not of the wait for metadata and the first request.
    const int present = now.count();
    const int was = before.count();
    if (present <= was || now.size() != before.size())
        return;
    if (!m_arrivals.isValid()) {
        m_arrivals.start();
    } else {
        m_arrivedPieces += present - was;
        m_lastArrivalMs = m_arrivals.elapsed();
    }
}

void StartGate::newOpen()
{
    m_heldAt = -1;
    m_firstTimeSeen = -1;
    m_pictureSeen = false;
}

StartGate::Step StartGate::progress(
    bool picture, qint64 now, qint64 lengthMs, const PieceMap &pieces, int pieceLength, int lack)
{
    if (picture) {
        if (m_pictureSeen)
            return Waiting;
        qCDebug(lcPlayer, "first picture of this open");
        m_pictureSeen = true;
        return holdIfSlow(lengthMs, pieces, pieceLength, lack) ? HoldClock : Waiting;
    }
    // Position events come only while the clock runs; without a picture (no
    // video), time that moves on says the same.
    if (m_pictureSeen && now > 0)
        return Started;
    if (m_firstTimeSeen < 0) {
        m_firstTimeSeen = now;
        return Waiting;
    }
    return now > m_firstTimeSeen ? Started : Waiting;
}

bool StartGate::holdIfSlow(qint64 lengthMs, const PieceMap &pieces, int pieceLength, int lack)
{
    const qint64 bytes = qint64(pieces.size()) * pieceLength;
    const int from = pieces.firstMissing(qMax(0, lack));
    if (from < 0 || lengthMs <= 0 || bytes <= 0 || !m_arrivals.isValid())
        return false;
    // A link not well above the file's rate would stop playback again a
    // moment after it started.
    const qint64 arrived = m_arrivedPieces * pieceLength * 1000 / qMax<qint64>(1, m_lastArrivalMs);
    const qint64 needed = bytes * 1000 / lengthMs;
    if (m_arrivedPieces == 0 || arrived * 10 >= needed * startFactorTenths)
        return false;
    qCDebug(lcPlayer, "the clock waits for pieces from %d (%lld B/s in, %lld B/s played)", from,
        static_cast<long long>(arrived), static_cast<long long>(needed));
    m_heldAt = from;
    return true;
}

bool StartGate::releaseIfIn(const PieceMap &pieces)
{
    if (!held() || !pieces.hasRange(m_heldAt, m_heldAt + 2))
        return false;
    m_heldAt = -1;
    return true;
}
