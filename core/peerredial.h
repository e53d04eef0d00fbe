#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <libtorrent/session.hpp>
#include <libtorrent/torrent_handle.hpp>

#include <functional>
#include <vector>

// While the played file waits and no peer is connected, calls the peers it
// had again every few seconds: libtorrent by itself waits a minute before
// it tries a peer that went away, and gives up after a few failures.
class PeerRedial : public QObject
{
    Q_OBJECT

public:
    // playedHash: the key of the download being played, empty when none.
    PeerRedial(lt::session &session, const QHash<QString, lt::torrent_handle> &torrents,
        std::function<QString()> playedHash, QObject *parent = nullptr);

    void forget(const QString &key);

private:
    void tick();
    void setQuickReconnect(bool quick);

    lt::session &m_session;
    const QHash<QString, lt::torrent_handle> &m_torrents;
    std::function<QString()> m_playedHash;
    // Peers we dialled ourselves and got: they listen there.
    QHash<QString, std::vector<lt::tcp::endpoint>> m_known;
    bool m_quick = false;
    QTimer m_tick;
};
