#pragma once

#include <QList>
#include <QString>

#include <libtorrent/session.hpp>

#include <memory>

// A seed on 127.0.0.1 only, with nothing else switched on (no DHT, local
// discovery, UPnP or NAT-PMP), for tests, benchmarks and the demo.
class LocalSeeder
{
public:
    struct Options
    {
        QString path; // file or folder to share
        QString torrentPath; // where the .torrent goes
        qint64 uploadRate = 0; // bytes per second, 0 unlimited
        int port = 0; // 0: any free port
        int pieceSize = 0; // 0: libtorrent's choice
        bool v1Only = false; // default: hybrid v1+v2
        QList<int> peerPorts; // 127.0.0.1 ports to offer the torrent to
        QString address = QStringLiteral("127.0.0.1"); // any of 127.0.0.0/8
        // Serve the files as they are, unchecked, under an existing
        // .torrent: a copy that differs makes a peer that sends bad data.
        bool unchecked = false;
    };

    // Writes the .torrent; false with the reason in *error.
    static bool makeTorrent(const Options &options, QString *error);
    // Session settings for 127.0.0.1:port only, as the core's loopback mode
    // has them: nothing else switched on, TCP between the peers.
    static lt::settings_pack loopbackSettings(int port, const QString &address = QStringLiteral("127.0.0.1"));

    explicit LocalSeeder(const Options &options);
    ~LocalSeeder();

    bool start(QString *error);
    int port() const { return m_port; }
    QString magnet() const;
    QString hash() const;

    // Keeps libtorrent's alert queue short and offers the torrent to the
    // given peers again (they may add it later); call about once a second.
    void tick();
    // Payload bytes sent so far.
    qint64 uploaded() const;

private:
    Options m_options;
    std::unique_ptr<lt::session> m_session;
    std::shared_ptr<lt::torrent_info> m_info;
    lt::torrent_handle m_handle;
    int m_port = 0;
};
