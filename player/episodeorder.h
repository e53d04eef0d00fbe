#pragma once

#include <QString>
#include <QStringList>

// Natural order of file names, the way a season's episodes run: "E2" before
// "E10", letter case aside.
class EpisodeOrder
{
public:
    EpisodeOrder() = delete;

    static void sort(QStringList &names);
    // The name step places from current (-1 the one before, +1 the one after)
    // in natural order; empty at either end or when current is not among names.
    static QString neighbour(QStringList names, const QString &current, int step);
    // The video files in the folder of file (file itself among them), by name.
    static QStringList videosBeside(const QString &file);
};
