#pragma once

#include <libtorrent/torrent_handle.hpp>

// The subtitles that come with a played file are small and wanted from its
// first picture on: their pieces go ahead of everything else.
class CompanionPriority
{
public:
    // fileRow numbered as in the description row; -1 plays no file.
    static void fetchFirst(const lt::torrent_handle &handle, int fileRow);
};
