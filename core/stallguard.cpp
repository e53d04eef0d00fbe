#include "stallguard.h"

#include <libtorrent/error_code.hpp>
#include <libtorrent/peer_info.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <chrono>

namespace {
// Tells the guard of every connection of one download.
class TorrentGuard : public lt::torrent_plugin
{
public:
    TorrentGuard(std::uint32_t id, std::weak_ptr<StallGuard> guard)
        : m_id(id)
        , m_guard(std::move(guard))
    { }

    std::shared_ptr<lt::peer_plugin> new_connection(const lt::peer_connection_handle &peer) override
    {
        if (const std::shared_ptr<StallGuard> guard = m_guard.lock())
            guard->connected(m_id, peer);
        return nullptr;
    }

private:
    std::uint32_t m_id;
    std::weak_ptr<StallGuard> m_guard;
};
}

std::shared_ptr<lt::torrent_plugin> StallGuard::new_torrent(
    const lt::torrent_handle &handle, lt::client_data_t)
{
    return std::make_shared<TorrentGuard>(handle.id(), weak_from_this());
}

void StallGuard::connected(std::uint32_t torrentId, const lt::peer_connection_handle &peer)
{
    m_peers.push_back({ torrentId, peer, 0, lt::clock_type::now() });
}

void StallGuard::on_tick()
{
    const std::uint32_t watched = m_watched.load();
    const lt::time_point now = lt::clock_type::now();
    for (auto it = m_peers.begin(); it != m_peers.end();) {
        // A handle whose connection is gone must not be used at all.
        if (!it->peer.native_handle() || it->peer.is_disconnecting()) {
            it = m_peers.erase(it);
            continue;
        }
        if (it->torrentId != watched) {
            it->since = now;
            ++it;
            continue;
        }
        lt::peer_info info;
        it->peer.get_peer_info(info);
        // Quiet only counts while it owes us blocks and nothing of ours (a
        // rate limit) keeps its bytes from being read.
        const bool owes = info.download_queue_length > 0 && !(info.flags & lt::peer_info::remote_choked);
        const bool heldBack = bool(info.read_state & lt::peer_info::bw_limit);
        if (info.total_download != it->received || !owes || heldBack) {
            it->received = info.total_download;
            it->since = now;
        } else if (now - it->since >= std::chrono::milliseconds(silentMs)) {
            it->peer.disconnect(lt::errors::timed_out_inactivity, lt::operation_t::bittorrent);
            it = m_peers.erase(it);
            continue;
        }
        ++it;
    }
}
