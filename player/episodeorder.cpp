#include "episodeorder.h"

#include "downloads/mediasuffixes.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

void EpisodeOrder::sort(QStringList &names)
{
    // The "C" locale compares code points only, without numeric mode.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        const int order = collator.compare(a, b);
        // Names equal but for case still need one order, the same every time.
        return order != 0 ? order < 0 : a < b;
    });
}

QString EpisodeOrder::neighbour(QStringList names, const QString &current, int step)
{
    sort(names);
    const qsizetype at = names.indexOf(current);
    if (at < 0 || step == 0)
        return QString();
    const qsizetype next = at + step;
    return next >= 0 && next < names.size() ? names.at(next) : QString();
}

QStringList EpisodeOrder::videosBeside(const QString &file)
{
    const QFileInfo info(file);
    QStringList videos;
    const QStringList entries = info.dir().entryList(QDir::Files | QDir::Readable);
    for (const QString &name : entries)
        if (MediaSuffixes::isVideo(name))
            videos << info.dir().filePath(name);
    sort(videos);
    return videos;
}
