#pragma once

#include <QString>

#include <libtorrent/kademlia/dht_state.hpp>

// libtorrent's session state between runs: the DHT's node ids and the nodes
// it knew, so that a magnet after a restart asks them at once instead of
// bootstrapping from nothing.
class SessionStateFile
{
public:
    explicit SessionStateFile(const QString &path);

    QString path() const { return m_path; }
    // Empty when there is no file or it cannot be read: the core starts
    // either way.
    lt::dht::dht_state load() const;
    bool save(const lt::dht::dht_state &state) const;

    // What the live session knows, over what was known before wherever the
    // session has nothing (the DHT off, or not yet in touch).
    static lt::dht::dht_state merged(const lt::dht::dht_state &stored, const lt::dht::dht_state &live);

private:
    QString m_path;
};
