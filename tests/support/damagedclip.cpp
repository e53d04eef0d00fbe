#include "damagedclip.h"
#include "testmedia.h"

#include <QFile>

DamagedClip::DamagedClip(
    const QString &source, int pieceCount, const QList<int> &missing, const QString &name)
{
    path = TestMedia::copyAs(source, name);
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return;
    m_original = file.readAll();
    pieceLength = int((m_original.size() + pieceCount - 1) / pieceCount);
    bits = QByteArray(pieceCount, '1');
    QByteArray damaged = m_original;
    const qsizetype markerLength = qstrlen(Marker);
    for (int piece : missing) {
        bits[piece] = '0';
        const qint64 end = qMin<qint64>(damaged.size(), qint64(piece + 1) * pieceLength);
        for (qint64 i = qint64(piece) * pieceLength; i < end; ++i)
            damaged[i] = Marker[i % markerLength];
    }
    file.seek(0);
    file.write(damaged);
}

void DamagedClip::repair()
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(m_original);
    bits = fullBits();
}

bool DamagedClip::hasMarker(const QByteArray &data)
{
    return data.contains(Marker);
}
