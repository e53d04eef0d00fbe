#pragma once

#include <libtorrent/extensions.hpp>
#include <libtorrent/fwd.hpp>
#include <libtorrent/peer_connection_handle.hpp>
#include <libtorrent/time.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

// Drops a peer of the played download that holds our requests and sends
// nothing: libtorrent leaves those blocks with it until its own timeouts,
// made for bulk downloads (seen: 18 s), while playback waits on them. A
// dropped peer's blocks go back to the picker at once and faster peers take
// them. Runs inside libtorrent, on its network thread, on every session
// tick: a torrent's own tick comes only once a second.
class StallGuard : public lt::plugin, public std::enable_shared_from_this<StallGuard>
{
public:
    // A peer with requests out and no payload for this long is given up.
    static constexpr int silentMs = 700;

    // The download whose peers are watched (torrent_handle::id()); 0: none.
    void watch(std::uint32_t torrentId) { m_watched.store(torrentId); }

    lt::feature_flags_t implemented_features() override { return tick_feature; }
    std::shared_ptr<lt::torrent_plugin> new_torrent(
        const lt::torrent_handle &handle, lt::client_data_t) override;
    void on_tick() override;

    // From a download's plugin, on the network thread.
    void connected(std::uint32_t torrentId, const lt::peer_connection_handle &peer);

private:
    struct Peer
    {
        std::uint32_t torrentId;
        lt::peer_connection_handle peer;
        std::int64_t received;
        lt::time_point since;
    };
    std::atomic<std::uint32_t> m_watched { 0 };
    std::vector<Peer> m_peers; // network thread only
};
