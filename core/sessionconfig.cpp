#include "sessionconfig.h"

#include "platform/logging.h"

#include <libtorrent/fingerprint.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/torrent_info.hpp>

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace {
// Well-known DHT routers, libtorrent's back-up when it knows no nodes.
constexpr const char *dhtRouters = "dht.libtorrent.org:25401,router.bittorrent.com:6881,"
                                   "router.utorrent.com:6881,dht.transmissionbt.com:6881";

// A tracker may be used in loopback mode only when it is on this machine.
bool isLoopbackUrl(const std::string &url)
{
    const QString host = QUrl(QString::fromStdString(url)).host();
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    static const QRegularExpression loopback(QStringLiteral("^127\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}$"));
    return loopback.match(host).hasMatch();
}

int diskCacheBytes(unsigned int megabytes)
{
    return int(std::clamp<qint64>(megabytes, 1, 1024) * 1024 * 1024);
}
}

SessionConfig::SessionConfig(const CoreSettings &settings)
    : m_settings(settings)
{ }

lt::session_params SessionConfig::sessionParams() const
{
    lt::session_params params(sessionSettings());
    if (m_settings.loopback) {
        // Peers from magnet hints, exchange or trackers: only this machine.
        lt::ip_filter filter;
        filter.add_rule(
            lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), lt::ip_filter::blocked);
        filter.add_rule(lt::make_address("127.0.0.0"), lt::make_address("127.255.255.255"), 0);
        filter.add_rule(lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"),
            lt::ip_filter::blocked);
        filter.add_rule(lt::make_address("::1"), lt::make_address("::1"), 0);
        params.ip_filter = filter;
    }
    return params;
}

void SessionConfig::attach(lt::session &session)
{
    m_session = &session;
    limitLoopbackPeers();
}

lt::settings_pack SessionConfig::sessionSettings() const
{
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::alert_mask,
        lt::alert_category::status | lt::alert_category::storage | lt::alert_category::error
            | lt::alert_category::piece_progress);
    pack.set_str(lt::settings_pack::listen_interfaces, m_settings.listenInterfaces().toStdString());
    pack.set_str(lt::settings_pack::peer_fingerprint, lt::generate_fingerprint("MV", 1, 0, 5));
    pack.set_str(lt::settings_pack::user_agent, "MorvaneCore/1.05");
    const bool open = !m_settings.loopback;
    pack.set_bool(lt::settings_pack::enable_dht, open);
    pack.set_str(lt::settings_pack::dht_bootstrap_nodes, open ? dhtRouters : "");
    pack.set_bool(lt::settings_pack::enable_lsd, open);
    pack.set_bool(lt::settings_pack::enable_upnp, open);
    pack.set_bool(lt::settings_pack::enable_natpmp, open);
    // Loopback peers all come from 127.0.0.1; and uTP's congestion control
    // only slows a link that has no congestion (TCP is ~20x faster there).
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, m_settings.loopback);
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, open);
    pack.set_int(lt::settings_pack::max_queued_disk_bytes, diskCacheBytes(m_settings.diskCacheMb));
    // libtorrent picks its first pieces at random, whatever their priority;
    // a player waiting for its first pieces cannot afford that.
    pack.set_int(lt::settings_pack::initial_picker_threshold, 0);
    // New peers (a magnet's hint) are connected on the session tick: a
    // shorter tick gets a magnet's metadata to the player sooner.
    pack.set_int(lt::settings_pack::tick_interval, 100);
    // Blocks already asked of a peer are served before anything a seek
    // wants: keep about one second of requests queued, not three.
    pack.set_int(lt::settings_pack::request_queue_time, 1);
    limitsInto(pack);
    return pack;
}

void SessionConfig::limitsInto(lt::settings_pack &pack) const
{
    // The caps are what the player shows as rates: payload and protocol,
    // not libtorrent's estimate of the TCP/IP headers around them.
    pack.set_bool(lt::settings_pack::rate_limit_ip_overhead, false);
    pack.set_int(
        lt::settings_pack::download_rate_limit, CoreSettings::bytesPerSecond(m_settings.downloadLimitKib));
    pack.set_int(
        lt::settings_pack::upload_rate_limit, CoreSettings::bytesPerSecond(m_settings.uploadLimitKib));
    const int connections = m_settings.maxConnections > 0
        ? int(qMin(m_settings.maxConnections, unsigned(std::numeric_limits<int>::max())))
        : lt::default_settings().get_int(lt::settings_pack::connections_limit);
    pack.set_int(lt::settings_pack::connections_limit, connections);
}

void SessionConfig::limitLoopbackPeers()
{
    // libtorrent exempts local peers from the limits. In loopback mode every
    // peer is local, and tests must see the limits the user would.
    if (!m_settings.loopback)
        return;
    lt::peer_class_info local = m_session->get_peer_class(lt::session::local_peer_class_id);
    local.download_limit = CoreSettings::bytesPerSecond(m_settings.downloadLimitKib);
    local.upload_limit = CoreSettings::bytesPerSecond(m_settings.uploadLimitKib);
    m_session->set_peer_class(lt::session::local_peer_class_id, local);
}

void SessionConfig::confineToLoopback(lt::add_torrent_params &params) const
{
    if (!m_settings.loopback)
        return;
    std::vector<std::string> trackers;
    std::vector<int> tiers;
    for (std::size_t i = 0; i < params.trackers.size(); ++i) {
        if (isLoopbackUrl(params.trackers[i])) {
            trackers.push_back(params.trackers[i]);
            tiers.push_back(i < params.tracker_tiers.size() ? params.tracker_tiers[i] : 0);
        } else {
            qCInfo(lcCore).noquote() << "loopback mode: tracker left out:"
                                     << QString::fromStdString(params.trackers[i]);
        }
    }
    params.trackers = trackers;
    params.tracker_tiers = tiers;
    params.url_seeds.clear();
    params.dht_nodes.clear();
    if (params.ti) {
        auto info = std::make_shared<lt::torrent_info>(*params.ti);
        info->clear_trackers();
        for (const lt::announce_entry &entry : params.ti->trackers()) {
            if (isLoopbackUrl(entry.url))
                info->add_tracker(entry.url, entry.tier);
            else
                qCInfo(lcCore).noquote()
                    << "loopback mode: tracker left out:" << QString::fromStdString(entry.url);
        }
        info->clear_web_seeds();
        params.ti = info;
    }
}

void SessionConfig::setSavePath(const QString &path)
{
    m_settings.savePath = path;
}

void SessionConfig::setIpv6(bool enabled)
{
    m_settings.ipv6 = enabled;
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, m_settings.listenInterfaces().toStdString());
    m_session->apply_settings(pack);
}

void SessionConfig::setDiskCache(unsigned int megabytes)
{
    m_settings.diskCacheMb = megabytes;
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::max_queued_disk_bytes, diskCacheBytes(megabytes));
    m_session->apply_settings(pack);
}

void SessionConfig::setRateLimits(
    unsigned int downloadKib, unsigned int uploadKib, unsigned int maxConnections)
{
    m_settings.downloadLimitKib = downloadKib;
    m_settings.uploadLimitKib = uploadKib;
    m_settings.maxConnections = maxConnections;
    lt::settings_pack pack;
    limitsInto(pack);
    m_session->apply_settings(pack);
    limitLoopbackPeers();
}
