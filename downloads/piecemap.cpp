#include "piecemap.h"

PieceMap PieceMap::fromText(QStringView text)
{
    PieceMap map;
    map.m_bits.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'1')
            map.m_bits.setBit(i);
    return map;
}

PieceMap PieceMap::fromText(const QByteArray &text)
{
    PieceMap map;
    map.m_bits.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == '1')
            map.m_bits.setBit(i);
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
