#pragma once

#include "coresettings.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>

// How the libtorrent session is set up, and the settings the player changes
// while it runs. In loopback mode nothing it lets through leaves 127.0.0.0/8.
class SessionConfig
{
public:
    explicit SessionConfig(const CoreSettings &settings);

    const CoreSettings &settings() const { return m_settings; }
    // What a new session starts with: its settings and, in loopback mode,
    // an address filter that lets only this machine in.
    lt::session_params sessionParams() const;
    // The running session that later changes go to.
    void attach(lt::session &session);

    void setSavePath(const QString &path);
    void setIpv6(bool enabled);
    void setDiskCache(unsigned int megabytes);
    // KiB/s (0: none) and a connection cap (0: libtorrent's default).
    void setRateLimits(unsigned int downloadKib, unsigned int uploadKib, unsigned int maxConnections);

    // Loopback mode: trackers outside this machine, web seeds and DHT
    // nodes are left out of a download before it is added.
    void confineToLoopback(lt::add_torrent_params &params) const;

private:
    lt::settings_pack sessionSettings() const;
    void limitsInto(lt::settings_pack &pack) const;
    void limitLoopbackPeers();

    CoreSettings m_settings;
    lt::session *m_session = nullptr;
};
