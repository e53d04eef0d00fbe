#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reply rows laid out as the core sends them.
namespace rows {

inline QString hash(int n)
{
    return QStringLiteral("%1").arg(n, 40, 16, QLatin1Char('0'));
}

// hash, name, size, save directory, finished, file path
inline QStringList single(const QString &h, const QString &name, const QString &path, double size = 1000,
    const QString &finished = "0")
{
    return { h, name, QString::number(size, 'f', 0), "/downloads", finished, path };
}

struct File
{
    QString name;
    double size;
    QString path;
};

// hash, name, size, save directory, finished, then name/size/dir/path per file
inline QStringList multi(const QString &h, const QString &name, const QList<File> &files)
{
    QStringList row { h, name, "0", "/downloads", "0" };
    for (const File &f : files)
        row << f.name << QString::number(f.size, 'f', 0) << "/downloads/" + name
            << "/downloads/" + name + "/" + f.path;
    return row;
}

struct FileStatus
{
    QString progress;
    QString finished;
    QString first;
    QString last;
};

// hash, down rate, up rate, progress, seeds, peers, state, finished, bit
// field, piece count, piece length, uploaded, then four fields per file
inline QStringList status(const QString &h, const QString &bits, const QString &state = "1", double down = 0,
    double up = 0, const QString &finished = "0", const QList<FileStatus> &files = {})
{
    QStringList row { h, QString::number(down, 'f', 0), QString::number(up, 'f', 0), "42%", "3", "7", state,
        finished, bits, QString::number(bits.size()), "262144", "2048" };
    for (const FileStatus &f : files)
        row << f.progress << f.finished << f.first << f.last;
    return row;
}

} // namespace rows
