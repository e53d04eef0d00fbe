#include "mediahead.h"

#include <cstring>

namespace {
quint64 bigEndian(const QByteArray &bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

double mvhdSeconds(const QByteArray &head, qsizetype at, qsizetype end)
{
    // version, flags, then times: 32-bit fields in version 0, 64-bit in 1.
    if (at + 4 > end)
        return 0;
    const int wide = quint8(head.at(at)) == 1 ? 8 : 4;
    const qsizetype scaleAt = at + 4 + 2 * wide;
    if (scaleAt + 4 + wide > end)
        return 0;
    const quint64 scale = bigEndian(head, scaleAt, 4);
    const quint64 duration = bigEndian(head, scaleAt + 4, wide);
    return scale ? double(duration) / double(scale) : 0;
}

// An EBML number at `at`: its width from the leading zeros of the first
// byte; with the marker bit kept for IDs, dropped for sizes.
bool ebmlNumber(
    const QByteArray &bytes, qsizetype &at, bool keepMarker, quint64 *value, bool *unknown = nullptr)
{
    if (at >= bytes.size())
        return false;
    const quint8 first = quint8(bytes.at(at));
    int width = 1;
    while (width <= 8 && !(first & (0x80 >> (width - 1))))
        ++width;
    if (width > 8 || at + width > bytes.size())
        return false;
    quint64 v = keepMarker ? first : (first & (0xff >> width));
    for (int i = 1; i < width; ++i)
        v = (v << 8) | quint8(bytes.at(at + i));
    if (unknown)
        *unknown = !keepMarker && v == (quint64(1) << (7 * width)) - 1;
    at += width;
    *value = v;
    return true;
}
}

MediaHead::Facts MediaHead::read(const QByteArray &head)
{
    if (head.startsWith("\x1a\x45\xdf\xa3"))
        return readMatroska(head);
    if (head.size() >= 8 && head.mid(4, 4) == "ftyp")
        return readMp4(head);
    return {};
}

MediaHead::Facts MediaHead::readMp4(const QByteArray &head)
{
    Facts facts;
    facts.kind = Kind::Mp4;
    qsizetype at = 0;
    while (at + 8 <= head.size()) {
        quint64 size = bigEndian(head, at, 4);
        const QByteArray type = head.mid(at + 4, 4);
        qsizetype body = at + 8;
        if (size == 1) {
            if (at + 16 > head.size())
                break;
            size = bigEndian(head, at + 8, 8);
            body = at + 16;
        }
        if (type == "mdat") {
            // The media before the index: the player reads the end first.
            facts.needsTail = true;
            return facts;
        }
        if (type == "moov") {
            const qsizetype end
                = size ? qsizetype(qMin<quint64>(at + size, quint64(head.size()))) : head.size();
            for (qsizetype child = body; child + 8 <= end;) {
                const quint64 childSize = bigEndian(head, child, 4);
                if (head.mid(child + 4, 4) == "mvhd") {
                    facts.durationSeconds = mvhdSeconds(head, child + 8, end);
                    break;
                }
                if (childSize < 8)
                    break;
                child += qsizetype(childSize);
            }
            return facts;
        }
        if (size < quint64(body - at) || size > quint64(head.size() - at))
            break; // to the end, or beyond these bytes
        at += qsizetype(size);
    }
    return facts;
}

MediaHead::Facts MediaHead::readMatroska(const QByteArray &head)
{
    constexpr quint64 segmentId = 0x18538067;
    constexpr quint64 infoId = 0x1549A966;
    constexpr quint64 clusterId = 0x1F43B675;
    constexpr quint64 timestampScaleId = 0x2AD7B1;
    constexpr quint64 durationId = 0x4489;

    Facts facts;
    facts.kind = Kind::Matroska;
    // The player's demuxer reads the Cues at the end only to seek: a read
    // there asks for them when it comes.
    facts.needsTail = false;
    qsizetype at = 0;
    quint64 id = 0;
    quint64 size = 0;
    bool unknown = false;
    // The EBML header, then into the Segment and along its children.
    while (ebmlNumber(head, at, true, &id) && ebmlNumber(head, at, false, &size, &unknown)) {
        if (id == segmentId)
            continue;
        if (id == clusterId)
            break;
        if (id == infoId && !unknown) {
            const qsizetype end = qsizetype(qMin<quint64>(at + size, quint64(head.size())));
            quint64 scale = 1000000;
            double duration = 0;
            while (at < end && ebmlNumber(head, at, true, &id) && ebmlNumber(head, at, false, &size)) {
                if (size > quint64(end - at))
                    break;
                if (id == timestampScaleId && size >= 1 && size <= 8) {
                    scale = bigEndian(head, at, int(size));
                } else if (id == durationId && (size == 4 || size == 8)) {
                    if (size == 4) {
                        const quint32 bits = quint32(bigEndian(head, at, 4));
                        float f;
                        std::memcpy(&f, &bits, 4);
                        duration = f;
                    } else {
                        const quint64 bits = bigEndian(head, at, 8);
                        std::memcpy(&duration, &bits, 8);
                    }
                }
                at += qsizetype(size);
            }
            if (duration > 0)
                facts.durationSeconds = duration * double(scale) / 1e9;
            return facts;
        }
        if (unknown || size > quint64(head.size() - at))
            break;
        at += qsizetype(size);
    }
    return facts;
}
