#pragma once

#include <QString>
#include <QStringList>

// The file types the player knows, by upper-case suffix: one list for the
// downloads list and the window.
namespace MediaSuffixes {

// What a download's file must end with to be played from the list.
const QStringList &playableTypes();
// What the window opens as a video: the playable types and JPG.
const QStringList &videoTypes();
const QStringList &subtitleTypes();
// Upper-cased text after the last dot of the file name; empty without one.
QString suffixOf(const QString &path);
bool isVideo(const QString &path);
bool isSubtitle(const QString &path);
bool isTorrent(const QString &path);
// Compared against the end of the path, dot included, in any letter case.
bool isPlayable(const QString &path);
// The open-file dialog's filter: playable types and torrents, then all files.
QString openFileFilter();
QString subtitleFilter();

} // namespace MediaSuffixes
