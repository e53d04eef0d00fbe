#pragma once

#include <QString>

// What the core takes from the shared Morvane.ini and its environment at
// start. Requests 15, 16/17, 20 and the rate limits change the running
// values afterwards.
class CoreSettings
{
public:
    // Reads the shared settings file of the current user.
    static CoreSettings load();
    // MORVANE_NETWORK=loopback: nothing may leave 127.0.0.0/8.
    static bool loopbackFromEnvironment();
    // A port from the Options box: ticked and a whole number 1-65535, else 0.
    static int portFrom(bool ticked, const QString &text);
    // A limit in KiB/s as libtorrent's bytes per second (0: none), kept
    // below what its limiter can hold.
    static int bytesPerSecond(unsigned int kibPerSecond);

    // libtorrent's listen_interfaces for these values.
    QString listenInterfaces() const;

    bool loopback = false;
    QString savePath;
    unsigned int diskCacheMb = 16;
    int port = 0; // 0: libtorrent's own choice
    bool ipv6 = true;
    // The stream for other players listens beyond loopback; never in loopback mode.
    bool streamOnNetwork = false;
    unsigned int downloadLimitKib = 0; // 0: no limit
    unsigned int uploadLimitKib = 0;
    unsigned int maxConnections = 0; // 0: libtorrent's default
};
