#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <libtorrent/peer_id.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/socket.hpp>
#include <libtorrent/torrent_handle.hpp>

// Keeps a peer that sends data failing the hash check out by its address.
// libtorrent's own ban holds one address and port: a peer that calls in
// again comes from a new port and goes on sending bad data. One ban may
// hit a good peer that shared failed pieces with a bad one; an address
// banned again is blocked.
class PeerBans : public QObject
{
    Q_OBJECT

public:
    explicit PeerBans(lt::session &session, QObject *parent = nullptr);

    void banned(const lt::torrent_handle &handle, const lt::tcp::endpoint &peer, const lt::peer_id &id);

private:
    lt::session &m_session;
    QHash<QString, int> m_strikes;
};
