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

    static QString bitField(const lt::torrent_status &status, int pieceCount);
    // Bytes the row takes in a reply frame.
    static qint64 wireBytes(const QStringList &row);
    // The most a status row of this torrent can take: no more digits than
    // the piece count has, "100.0%" at the most.
    static qint64 statusRowBound(const lt::torrent_info &info);
    // Whether the download's rows, saved there, fit a reply frame; the
    // reason when not.
    static bool fitsReplies(const lt::torrent_info &info, const QString &savePath, QString *why);
    // The largest reply frame the core writes, below what the player reads.
    static qint64 maxFrameBytes();
    // Rows cut into runs that each fit one frame, in order; a row too large
    // for any frame is left out (none is: such torrents are refused).
    static QList<QList<QStringList>> batches(const QList<QStringList> &rows, qint64 frameBytes);
    static QString progressText(double fraction);
    // 0 checking, 1 downloading, 2 seeding, 3 paused
    static int stateCode(const lt::torrent_status &status);
};
