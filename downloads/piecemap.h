#pragma once

#include <QBitArray>
#include <QByteArray>
#include <QString>
#include <QStringView>

// Which pieces of a torrent, or of one file of it, are present. The core
// sends them as a text of '0' and '1'; between our own classes they travel
// as this.
class PieceMap
{
public:
    PieceMap() = default;
    // Any character other than '1' is a missing piece.
    static PieceMap fromText(QStringView text);
    static PieceMap fromText(const QByteArray &text);
    QString toText() const;
    QByteArray toLatin1() const;

    int size() const { return int(m_bits.size()); }
    bool isEmpty() const { return m_bits.isEmpty(); }
    // A piece outside the map is missing.
    bool has(int piece) const { return piece >= 0 && piece < size() && m_bits.testBit(piece); }
    bool hasLast() const { return !isEmpty() && m_bits.testBit(size() - 1); }
    // Pieces outside the map are ignored.
    void set(int piece);
    int count() const { return int(m_bits.count(true)); }
    // The first missing piece from piece on; -1 when there is none.
    int firstMissing(int from) const;
    // Whether pieces first..last, clipped to the map, are all present.
    bool hasRange(int first, int last) const;
    // Pieces first..last; empty when they do not lie inside the map.
    PieceMap slice(int first, int last) const;

    friend bool operator==(const PieceMap &a, const PieceMap &b) { return a.m_bits == b.m_bits; }
    friend bool operator!=(const PieceMap &a, const PieceMap &b) { return !(a == b); }

private:
    QBitArray m_bits;
};

// How many pieces past the asked one must be present too before a play
// position counts as ready: more at the head of a file, where the container
// is read before anything plays.
constexpr int piecesAhead(int piece)
{
    return piece == 0 ? 4 : 2;
}
