#include "protocol/framereader.h"

#include "protocol/coreprotocol.h"

#include <QtEndian>

namespace {

constexpr quint32 NullString = 0xFFFFFFFFu;

quint32 peek32(const char *p)
{
    return qFromBigEndian<quint32>(p);
}

QString readString(const char *&p)
{
    const quint32 bytes = peek32(p);
    p += 4;
    if (bytes == NullString)
        return QString();
    if (bytes == 0)
        return QString(QLatin1String(""));
    const qsizetype units = bytes / 2;
    QString s(units, Qt::Uninitialized);
    qFromBigEndian<quint16>(p, units, s.data());
    p += bytes;
    return s;
}

QStringList readStringList(const char *&p)
{
    const quint32 count = peek32(p);
    p += 4;
    QStringList list;
    list.reserve(count);
    for (quint32 i = 0; i < count; ++i)
        list.append(readString(p));
    return list;
}

} // namespace

FrameReader::FrameReader(Kind kind)
    : m_kind(kind)
{ }

void FrameReader::append(const QByteArray &bytes)
{
    append(bytes.constData(), bytes.size());
}

void FrameReader::append(const char *data, qsizetype size)
{
    if (m_corrupt || size <= 0)
        return;
    // Delivered frames are dropped only here, so a burst of small frames
    // costs one move of the unfinished tail, not one per frame.
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_pos -= m_start;
        m_start = 0;
    }
    m_buffer.append(data, size);
}

void FrameReader::clear()
{
    m_buffer.clear();
    m_start = 0;
    m_corrupt = false;
    m_error.clear();
    resetScan();
}

void FrameReader::resetScan()
{
    m_pos = m_start;
    m_stage = Stage::Type;
    m_rowsLeft = 0;
    m_fieldsLeft = 0;
}

FrameReader::Status FrameReader::fail(const QString &why)
{
    m_corrupt = true;
    m_error = why;
    return Corrupt;
}

FrameReader::Status FrameReader::scan()
{
    const char *const base = m_buffer.constData();
    const qsizetype end = m_buffer.size();

    // What is left of the frame budget once the frame reaches position pos.
    auto budget = [this](qsizetype pos) { return m_maxFrameBytes - (pos - m_start); };

    for (;;) {
        if (m_stage == Stage::Done)
            return FrameReady;
        // Ends of lists need no bytes.
        if (m_stage == Stage::RowStart && m_rowsLeft == 0) {
            m_stage = Stage::Done;
            continue;
        }
        if (m_stage == Stage::Field && m_fieldsLeft == 0) {
            m_stage = Stage::RowStart;
            continue;
        }
        if (end - m_pos < 4)
            return NeedMoreData;
        const quint32 value = peek32(base + m_pos);

        switch (m_stage) {
        case Stage::Type:
            m_pos += 4;
            if (m_kind == Kind::Request) {
                m_rowsLeft = 1;
                m_stage = Stage::RowStart;
            } else {
                m_stage = CoreProtocol::replyHasRows(qint32(value)) ? Stage::RowCount : Stage::Done;
            }
            break;
        case Stage::RowCount:
        case Stage::RowStart:
            m_pos += 4;
            // Every announced item takes at least its own 4-byte count.
            if (qsizetype(value) > budget(m_pos) / 4)
                return fail(
                    QStringLiteral("frame announces %1 items, more than a frame may hold").arg(value));
            if (m_stage == Stage::RowCount) {
                m_rowsLeft = value;
                m_stage = Stage::RowStart;
            } else {
                --m_rowsLeft;
                m_fieldsLeft = value;
                m_stage = Stage::Field;
            }
            break;
        case Stage::Field:
            if (value == NullString) {
                m_pos += 4;
            } else {
                if (value % 2 != 0)
                    return fail(QStringLiteral("string of odd byte length %1").arg(value));
                if (qsizetype(value) > budget(m_pos + 4))
                    return fail(QStringLiteral("string of %1 bytes, more than a frame may hold").arg(value));
                if (end - m_pos - 4 < qsizetype(value))
                    return NeedMoreData;
                m_pos += 4 + qsizetype(value);
            }
            --m_fieldsLeft;
            break;
        case Stage::Done:
            break;
        }
        if (m_pos - m_start > m_maxFrameBytes)
            return fail(QStringLiteral("frame longer than %1 bytes").arg(m_maxFrameBytes));
    }
}

void FrameReader::decode(qint32 &type, QList<QStringList> &rows) const
{
    const char *p = m_buffer.constData() + m_start;
    type = qint32(peek32(p));
    p += 4;
    rows.clear();
    if (m_kind == Kind::Request) {
        rows.append(readStringList(p));
        return;
    }
    if (!CoreProtocol::replyHasRows(type))
        return;
    const quint32 count = peek32(p);
    p += 4;
    rows.reserve(count);
    for (quint32 i = 0; i < count; ++i)
        rows.append(readStringList(p));
}

FrameReader::Status FrameReader::nextFrame(qint32 &type, QList<QStringList> &rows)
{
    if (m_corrupt)
        return Corrupt;
    const Status status = scan();
    if (status != FrameReady)
        return status;
    // The scan walked the whole frame, so every count below is backed by bytes.
    decode(type, rows);
    m_start = m_pos;
    resetScan();
    return FrameReady;
}
