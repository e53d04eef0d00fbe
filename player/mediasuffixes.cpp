#include "mediasuffixes.h"

#include <QFileInfo>

namespace MediaSuffixes {

const QStringList &videoTypes()
{
    static const QStringList types = QStringLiteral(
        "AVI ASF WMV AVS FLV MKV MOV 3GP MP4 MPG MPEG DAT DSM OGM VOB RM RMVB TS TP IFO NSV JPG")
                                         .split(QLatin1Char(' '));
    return types;
}

const QStringList &subtitleTypes()
{
    static const QStringList types
        = QStringLiteral("CDG IDX SRT SUB UTF ASS SSA AQT JSS PSB RT SMI TXT SMIL STL USF DKS PJS MPL2")
              .split(QLatin1Char(' '));
    return types;
}

QString suffixOf(const QString &path)
{
    const QString name = QFileInfo(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toUpper();
}

bool isVideo(const QString &path)
{
    const QString suffix = suffixOf(path);
    return !suffix.isEmpty() && videoTypes().contains(suffix);
}

bool isSubtitle(const QString &path)
{
    const QString suffix = suffixOf(path);
    return !suffix.isEmpty() && subtitleTypes().contains(suffix);
}

bool isTorrent(const QString &path)
{
    return path.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive);
}

} // namespace MediaSuffixes
