#include "peerredial.h"

#include "platform/logging.h"

#include <libtorrent/peer_info.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_status.hpp>

#include <algorithm>

namespace {
constexpr int tickMs = 2000;
constexpr std::size_t maxKnownPeers = 50;
}

PeerRedial::PeerRedial(lt::session &session, const QHash<QString, lt::torrent_handle> &torrents,
    std::function<QString()> playedHash, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_torrents(torrents)
    , m_playedHash(std::move(playedHash))
{
    m_tick.setInterval(tickMs);
    connect(&m_tick, &QTimer::timeout, this, &PeerRedial::tick);
    m_tick.start();
}

void PeerRedial::forget(const QString &key)
{
    m_known.remove(key);
}

void PeerRedial::tick()
{
    const QString key = m_playedHash();
    const lt::torrent_handle h = m_torrents.value(key);
    if (key.isEmpty() || !h.is_valid()) {
        setQuickReconnect(false);
        return;
    }
    const lt::torrent_status status = h.status({});
    const bool waiting = !status.is_finished && !(status.flags & lt::torrent_flags::paused);
    if (status.num_peers > 0 || !waiting) {
        setQuickReconnect(false);
        std::vector<lt::peer_info> peers;
        h.get_peer_info(peers);
        std::vector<lt::tcp::endpoint> &known = m_known[key];
        for (const lt::peer_info &peer : peers) {
            if ((peer.flags & lt::peer_info::local_connection)
                && std::find(known.cbegin(), known.cend(), peer.ip) == known.cend()
                && known.size() < maxKnownPeers)
                known.push_back(peer.ip);
        }
        return;
    }
    if (!m_quick) {
        // Sources that may know other peers, once per stall.
        h.force_reannounce();
        h.force_dht_announce();
    }
    setQuickReconnect(true);
    const std::vector<lt::tcp::endpoint> known = m_known.value(key);
    qCDebug(lcCore).noquote() << "played download has no peers: calling" << known.size() << "again";
    // Given as from a tracker, a known peer's failures count one less:
    // libtorrent stops calling a peer after a few.
    for (const lt::tcp::endpoint &peer : known)
        h.connect_peer(peer, lt::peer_info::tracker);
}

void PeerRedial::setQuickReconnect(bool quick)
{
    if (quick == m_quick)
        return;
    m_quick = quick;
    // Seconds between two calls of a peer (times its failures): a minute
    // by default, while playback waits on it.
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::min_reconnect_time,
        quick ? 1 : lt::default_settings().get_int(lt::settings_pack::min_reconnect_time));
    m_session.apply_settings(pack);
}
