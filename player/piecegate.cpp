#include "piecegate.h"

#include "platform/logging.h"

#include <QFile>

class PieceGate::Stream
{
public:
    QFile file;
    qint64 size = 0;
    qint64 position = 0;
    quint64 epoch = 0;
    // The refresh count at which the missing piece was last reported, so a
    // wake without news does not report it again.
    quint64 reportedAt = ~quint64(0);
};

PieceGate::PieceGate() = default;

PieceGate::~PieceGate()
{
    failBlockedReads();
}

void PieceGate::setEventSink(std::function<void(int)> sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void PieceGate::refreshBitfield(int mode, const char *bits, int length, int pieceLength)
{
    {
        std::lock_guard lock(m_mutex);
        m_mode = mode;
        m_bits = (bits && length > 0) ? QByteArray(bits, length) : QByteArray();
        m_pieceLength = pieceLength > 0 ? pieceLength : 0;
        ++m_refreshes;
    }
    m_changed.notify_all();
}

int PieceGate::lackPiece() const
{
    std::lock_guard lock(m_mutex);
    return m_lackPiece;
}

int PieceGate::mode() const
{
    std::lock_guard lock(m_mutex);
    return m_mode;
}

void PieceGate::failBlockedReads()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_epoch;
    }
    m_changed.notify_all();
}

void PieceGate::setAligned(bool aligned)
{
    std::lock_guard lock(m_mutex);
    m_aligned = aligned;
}

bool PieceGate::hasBlockedRead() const
{
    std::lock_guard lock(m_mutex);
    return m_blockedReads > 0;
}

bool PieceGate::canServe(qint64 offset) const
{
    std::lock_guard lock(m_mutex);
    int missing = -1;
    return servable(qMax<qint64>(offset, 0), 1, &missing) > 0;
}

bool PieceGate::pieceIsPresent(qint64 index) const
{
    return index >= 0 && index < m_bits.size() && m_bits.at(index) == '1';
}

qint64 PieceGate::servable(qint64 offset, qint64 length, int *missing) const
{
    *missing = -1;
    if (length <= 0)
        return 0;
    if (m_mode == PlainFile)
        return length;
    const qint64 count = m_bits.size();
    if (m_pieceLength <= 0 || count == 0) {
        // Nothing known yet: ask for the head.
        *missing = 0;
        return 0;
    }
    const qint64 end = offset + length;
    qint64 served = 0;
    for (qint64 piece = offset / m_pieceLength; piece * m_pieceLength < end; ++piece) {
        const qint64 neighbour = qMin(piece + 1, count - 1);
        if (!pieceIsPresent(piece)) {
            *missing = int(qMin<qint64>(piece, INT_MAX));
            break;
        }
        if (!m_aligned && !pieceIsPresent(neighbour)) {
            *missing = int(neighbour);
            break;
        }
        served = qMin(end, (piece + 1) * m_pieceLength) - offset;
    }
    return served;
}

void PieceGate::raise(int event)
{
    std::function<void(int)> sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (sink)
        sink(event);
}

void PieceGate::setReadObserver(std::function<void(qint64, const char *, qint64)> observer)
{
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

PieceGate::Stream *PieceGate::open(const QString &path, quint64 *size)
{
    auto *stream = new Stream;
    stream->file.setFileName(path);
    if (!stream->file.open(QIODevice::ReadOnly)) {
        qCDebug(lcPlayer).noquote() << "cannot open media file" << path;
        delete stream;
        return nullptr;
    }
    stream->size = stream->file.size();
    if (size)
        *size = quint64(stream->size);
    {
        std::lock_guard lock(m_mutex);
        stream->epoch = m_epoch;
    }
    raise(NeedPieceString);
    return stream;
}

qint64 PieceGate::read(Stream *stream, char *buffer, qint64 length)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (stream->epoch != m_epoch)
            return -1;
        const qint64 left = stream->size - stream->position;
        if (left <= 0 || length <= 0)
            return 0;
        int missing = -1;
        const qint64 allowed = servable(stream->position, qMin(length, left), &missing);
        if (allowed > 0) {
            const qint64 offset = stream->position;
            const auto observer = m_observer;
            lock.unlock();
            // Each stream is read by one engine thread at a time.
            if (!stream->file.seek(offset))
                return -1;
            const qint64 got = stream->file.read(buffer, allowed);
            if (got > 0) {
                stream->position = offset + got;
                if (observer)
                    observer(offset, buffer, got);
            }
            return got;
        }

        m_lackPiece = missing;
        // Reported in every mode, the last piece too: a container that reads
        // its tail at open needs it now, and only this read tells.
        if (stream->reportedAt != m_refreshes) {
            stream->reportedAt = m_refreshes;
            lock.unlock();
            raise(LackData);
            lock.lock();
            continue;
        }
        const quint64 refreshes = m_refreshes;
        const quint64 epoch = m_epoch;
        ++m_blockedReads;
        m_changed.wait(lock, [&] { return m_refreshes != refreshes || m_epoch != epoch; });
        --m_blockedReads;
    }
}

bool PieceGate::seek(Stream *stream, quint64 offset)
{
    // Only the position moves; the next read decides what may be served.
    stream->position = qint64(qMin<quint64>(offset, quint64(stream->size)));
    return true;
}

void PieceGate::close(Stream *stream)
{
    delete stream;
}
