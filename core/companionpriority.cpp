#include "companionpriority.h"

#include "protocol/subtitlecompanions.h"
#include "rowbuilder.h"

#include <libtorrent/torrent_info.hpp>

#include <utility>
#include <vector>

void CompanionPriority::fetchFirst(const lt::torrent_handle &h, int fileRow)
{
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info || fileRow < 0)
        return;
    const lt::file_storage &files = info->files();
    const QList<lt::file_index_t> visible = RowBuilder::visibleFiles(files);
    if (fileRow >= visible.size())
        return;
    QStringList paths;
    paths.reserve(visible.size());
    for (const lt::file_index_t file : visible)
        paths.append(QString::fromStdString(files.file_path(file)));

    // File priorities would do, but setting one makes libtorrent recompute
    // every piece's priority from the files and drop the played file's layers.
    std::vector<std::pair<lt::piece_index_t, lt::download_priority_t>> first;
    for (const SubtitleCompanions::Companion &companion : SubtitleCompanions::pick(paths, fileRow)) {
        for (const int part : companion.parts) {
            const lt::file_index_t file = visible.at(part);
            for (int piece = RowBuilder::firstPiece(files, file); piece <= RowBuilder::lastPiece(files, file);
                 ++piece) {
                if (!h.have_piece(lt::piece_index_t(piece)))
                    first.emplace_back(lt::piece_index_t(piece), lt::top_priority);
            }
        }
    }
    if (first.empty())
        return;
    h.prioritize_pieces(first);
    // A deadline puts them in the same hurry as the next seconds of playback.
    for (const auto &[piece, priority] : first)
        h.set_piece_deadline(piece, 0);
}
