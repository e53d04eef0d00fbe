#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A copy of a clip cut into pieces, some of them "not downloaded yet": their
// bytes on disk are overwritten with a marker text until repair().
class DamagedClip
{
public:
    static constexpr const char *Marker = "MISSING-PIECE!";

    DamagedClip(const QString &source, int pieceCount, const QList<int> &missing,
        const QString &name = "damaged.mkv");

    QString path;
    QByteArray bits;
    int pieceLength = 0;
    QByteArray fullBits() const { return QByteArray(bits.size(), '1'); }
    // Writes the real bytes of every piece back.
    void repair();
    // Whether data holds any stretch of the marker.
    static bool hasMarker(const QByteArray &data);

private:
    QByteArray m_original;
};
