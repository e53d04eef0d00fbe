#include "peerbans.h"

#include "platform/logging.h"

#include <libtorrent/ip_filter.hpp>
#include <libtorrent/peer_info.hpp>

#include <QString>

#include <vector>

PeerBans::PeerBans(lt::session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{ }

void PeerBans::banned(const lt::torrent_handle &h, const lt::tcp::endpoint &peer, const lt::peer_id &id)
{
    const lt::address address = peer.address();
    const QString where = QString::fromStdString(address.to_string());
    // An address other peers share (several on one machine, as on loopback)
    // would keep them out too. The same peer's other connection (it called
    // us while we called it) is no other peer.
    std::vector<lt::peer_info> peers;
    if (h.is_valid())
        h.get_peer_info(peers);
    for (const lt::peer_info &other : peers) {
        const bool samePeer = !id.is_all_zeros() && other.pid == id;
        if (other.ip != peer && other.ip.address() == address && !samePeer) {
            qCWarning(lcCore).noquote()
                << "peer" << where << "sent bad data; its address is shared, not blocked";
            return;
        }
    }
    if (++m_strikes[where] < 2) {
        qCInfo(lcCore).noquote() << "peer" << where << "banned for bad data";
        return;
    }
    qCWarning(lcCore).noquote() << "peer" << where << "sent bad data again: blocked";
    lt::ip_filter filter = m_session.get_ip_filter();
    filter.add_rule(address, address, lt::ip_filter::blocked);
    m_session.set_ip_filter(filter);
}
