#include "localseeder.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/create_torrent.hpp>
#include <libtorrent/ip_filter.hpp>
#include <libtorrent/magnet_uri.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/torrent_info.hpp>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <chrono>

bool LocalSeeder::makeTorrent(const Options &options, QString *error)
{
    const QFileInfo source(options.path);
    if (!source.exists()) {
        *error = QStringLiteral("no such file or folder: ") + options.path;
        return false;
    }
    lt::file_storage files;
    lt::add_files(files, QDir::cleanPath(source.absoluteFilePath()).toStdString());
    if (files.num_files() == 0) {
        *error = QStringLiteral("nothing to share in ") + options.path;
        return false;
    }
    lt::create_torrent maker(
        files, options.pieceSize, options.v1Only ? lt::create_torrent::v1_only : lt::create_flags_t {});
    maker.set_creator("morvane-seed");
    lt::error_code ec;
    lt::set_piece_hashes(maker, source.absolutePath().toStdString(), ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return false;
    }
    std::vector<char> bytes;
    lt::bencode(std::back_inserter(bytes), maker.generate());
    QSaveFile out(options.torrentPath);
    if (!out.open(QIODevice::WriteOnly)
        || out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

LocalSeeder::LocalSeeder(const Options &options)
    : m_options(options)
{ }

LocalSeeder::~LocalSeeder() = default;

lt::settings_pack LocalSeeder::loopbackSettings(int port, const QString &address)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::listen_interfaces, address.toStdString() + ':' + std::to_string(port));
    if (address != QLatin1String("127.0.0.1"))
        pack.set_str(lt::settings_pack::outgoing_interfaces, address.toStdString());
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, false);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    // uTP is ~20x slower than TCP on loopback: offer peers TCP.
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, false);
    return pack;
}

bool LocalSeeder::start(QString *error)
{
    lt::error_code ec;
    m_info = std::make_shared<lt::torrent_info>(m_options.torrentPath.toStdString(), ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return false;
    }

    lt::settings_pack pack = loopbackSettings(m_options.port, m_options.address);
    pack.set_int(lt::settings_pack::upload_rate_limit, int(m_options.uploadRate));
    pack.set_int(lt::settings_pack::alert_mask, lt::alert_category::status | lt::alert_category::error);
    m_session = std::make_unique<lt::session>(lt::session_params(pack));

    if (m_options.uploadRate > 0) {
        // Loopback peers fall in libtorrent's unlimited "local" class; put
        // every address in the global class so that the limit holds.
        lt::ip_filter classes;
        const std::uint32_t global = 1u << static_cast<std::uint32_t>(lt::session::global_peer_class_id);
        classes.add_rule(lt::make_address("0.0.0.0"), lt::make_address("255.255.255.255"), global);
        classes.add_rule(
            lt::make_address("::"), lt::make_address("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"), global);
        m_session->set_peer_class_filter(classes);
    }

    lt::add_torrent_params params;
    params.ti = m_info;
    params.save_path = QFileInfo(m_options.path).absolutePath().toStdString();
    if (m_options.unchecked) {
        // Every piece present by our word: never hashed, sent as it is.
        params.have_pieces.resize(m_info->num_pieces(), true);
    } else {
        params.flags |= lt::torrent_flags::seed_mode;
    }
    params.flags &= ~(lt::torrent_flags::paused | lt::torrent_flags::auto_managed);
    m_handle = m_session->add_torrent(params, ec);
    if (ec) {
        *error = QString::fromStdString(ec.message());
        return false;
    }

    // The port is known once the listen socket is open.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_port == 0 && std::chrono::steady_clock::now() < deadline) {
        m_session->wait_for_alert(std::chrono::milliseconds(200));
        std::vector<lt::alert *> alerts;
        m_session->pop_alerts(&alerts);
        for (lt::alert *a : alerts) {
            if (auto *listening = lt::alert_cast<lt::listen_succeeded_alert>(a)) {
                if (listening->socket_type == lt::socket_type_t::tcp)
                    m_port = listening->port;
            } else if (auto *failed = lt::alert_cast<lt::listen_failed_alert>(a)) {
                *error = QString::fromStdString(failed->message());
                return false;
            }
        }
    }
    if (m_port == 0) {
        *error = QStringLiteral("no listen port");
        return false;
    }
    return true;
}

QString LocalSeeder::magnet() const
{
    return QString::fromStdString(lt::make_magnet_uri(*m_info))
        + QStringLiteral("&x.pe=%1:%2").arg(m_options.address).arg(m_port);
}

QString LocalSeeder::hash() const
{
    const lt::info_hash_t hashes = m_info->info_hashes();
    const lt::sha1_hash hash = hashes.has_v1() ? hashes.v1 : hashes.get_best();
    return QString::fromLatin1(QByteArray(hash.data(), int(hash.size())).toHex());
}

void LocalSeeder::tick()
{
    std::vector<lt::alert *> alerts;
    m_session->pop_alerts(&alerts);
    for (const int peer : std::as_const(m_options.peerPorts))
        m_handle.connect_peer(lt::tcp::endpoint(lt::make_address("127.0.0.1"), std::uint16_t(peer)));
}

qint64 LocalSeeder::uploaded() const
{
    return m_handle.status({}).total_payload_upload;
}
