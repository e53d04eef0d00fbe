#include "piecemap.h"

namespace {

// Packs eight marks at a time: a status list carries every download's pieces
// once a second.
template <typename Char> QBitArray packed(const Char *text, qsizetype size, Char one)
{
    QByteArray bytes((size + 7) / 8, '\0');
    char *out = bytes.data();
    for (qsizetype i = 0; i < size; ++i)
        if (text[i] == one)
            out[i >> 3] = char(uchar(out[i >> 3]) | (1u << (i & 7)));
    return QBitArray::fromBits(bytes.constData(), size);
}

} // namespace

PieceMap PieceMap::fromText(QStringView text)
{
    PieceMap map;
    map.m_bits = packed(text.utf16(), text.size(), char16_t(u'1'));
    return map;
}

PieceMap PieceMap::fromText(const QByteArray &text)
{
    PieceMap map;
    map.m_bits = packed(text.constData(), text.size(), '1');
    return map;
}

QByteArray PieceMap::toLatin1() const
{
    QByteArray text(m_bits.size(), '0');
    for (qsizetype i = 0; i < m_bits.size(); ++i)
        if (m_bits.testBit(i))
            text[i] = '1';
    return text;
}

QString PieceMap::toText() const
{
    return QString::fromLatin1(toLatin1());
}

void PieceMap::set(int piece)
{
    if (piece >= 0 && piece < size())
        m_bits.setBit(piece);
}

int PieceMap::firstMissing(int from) const
{
    for (int piece = qMax(0, from); piece < size(); ++piece)
        if (!m_bits.testBit(piece))
            return piece;
    return -1;
}

bool PieceMap::hasRange(int first, int last) const
{
    for (int piece = first; piece <= qMin(last, size() - 1); ++piece)
        if (!has(piece))
            return false;
    return true;
}

PieceMap PieceMap::slice(int first, int last) const
{
    PieceMap part;
    if (first < 0 || last < first || last >= size())
        return part;
    part.m_bits.resize(last - first + 1);
    for (int piece = first; piece <= last; ++piece)
        if (m_bits.testBit(piece))
            part.m_bits.setBit(piece - first);
    return part;
}
