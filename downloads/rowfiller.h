#pragma once

#include <QString>
#include <QStringList>

class ReplyRow;
class TreeItem;
class filelisticons;

// Turns the core's reply rows into the texts and fields of the list's rows.
class RowFiller
{
public:
    static QString sizeFormat(double x);
    static QString rateFormat(double x);
    static void clearRates(TreeItem *item);
    static QString shortFormat(double x);
    static bool isPlayable(const QString &path);

    // A file row of a torrent with several files, from its description row.
    static TreeItem *fileItem(const QString &hash, const QStringList &row, int fileIndex);
    // The numbers, state and file progress of a status row.
    static void applyStatus(TreeItem *item, const ReplyRow &fields, const filelisticons &icons);
};
