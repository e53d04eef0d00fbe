#include "mediasuffixes.h"

#include <QFileInfo>

namespace MediaSuffixes {

namespace {

QString patterns(const QStringList &types)
{
    QStringList globs;
    for (const QString &type : types)
        globs << QStringLiteral("*.") + type;
    return globs.join(QLatin1Char(' '));
}

} // namespace

const QStringList &playableTypes()
{
    static const QStringList types
        = QStringLiteral("AVI ASF WMV AVS FLV MKV MOV 3GP MP4 MPG MPEG DAT DSM OGM VOB RM RMVB TS TP IFO NSV")
              .split(QLatin1Char(' '));
    return types;
}

const QStringList &videoTypes()
{
    static const QStringList types = playableTypes() + QStringList { QStringLiteral("JPG") };
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

bool isPlayable(const QString &path)
{
    for (const QString &type : playableTypes())
        if (path.endsWith(QLatin1Char('.') + type, Qt::CaseInsensitive))
            return true;
    return false;
}

QString openFileFilter()
{
    return QStringLiteral("Video&Torrent  (") + patterns(playableTypes())
        + QStringLiteral(" *.torrent)\n(*.*)");
}

QString subtitleFilter()
{
    return QStringLiteral("subtitle(") + patterns(subtitleTypes()) + QLatin1Char(')');
}

} // namespace MediaSuffixes
