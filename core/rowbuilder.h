#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <libtorrent/file_storage.hpp>
#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

// The rows the downloads list reads, built from libtorrent's view of a
// download. Files are numbered as the list numbers them: pad files, which
// hybrid torrents insert between files, are not files to the user.
class RowBuilder
{
public:
    static QList<lt::file_index_t> visibleFiles(const lt::file_storage &files);
    static qint64 visibleSize(const lt::file_storage &files);
    // First and last piece of a file; a file of no bytes lies in its first.
    static int firstPiece(const lt::file_storage &files, lt::file_index_t file);
    static int lastPiece(const lt::file_storage &files, lt::file_index_t file);

    // 6 fields for one file, 5 + 4 per file otherwise.
    static QStringList descriptionRow(
        const QString &hash, const lt::torrent_info &info, const QString &savePath, bool finished);
    // 12 + 4 per file; info is null while a magnet has no metadata.
    static QStringList statusRow(
        const QString &hash, const lt::torrent_status &status, const lt::torrent_info *info);

    static QString bitField(const lt::torrent_status &status, int pieceCount);
    static QString progressText(double fraction);
    // 0 checking, 1 downloading, 2 seeding, 3 paused
    static int stateCode(const lt::torrent_status &status);
};
