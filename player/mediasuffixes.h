#pragma once

#include <QString>
#include <QStringList>

// The file types the window opens, by upper-case suffix.
namespace MediaSuffixes {

const QStringList &videoTypes();
const QStringList &subtitleTypes();
// Upper-cased text after the last dot of the file name; empty without one.
QString suffixOf(const QString &path);
bool isVideo(const QString &path);
bool isSubtitle(const QString &path);
bool isTorrent(const QString &path);

} // namespace MediaSuffixes
