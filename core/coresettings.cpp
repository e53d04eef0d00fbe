#include "coresettings.h"

#include "settings/preferences.h"

#include <QStringList>

#include <limits>

CoreSettings CoreSettings::load()
{
    CoreSettings settings;
    const Preferences prefs;
    settings.loopback = loopbackFromEnvironment();
    settings.savePath = prefs.getSavePath();
    settings.diskCacheMb = prefs.getDiskCache();
    settings.port = portFrom(prefs.getPortCheckbox(), prefs.getPortLineEdit());
    settings.ipv6 = prefs.getIpv6Checkbox();
    settings.streamOnNetwork = !settings.loopback && prefs.getStreamOnNetwork();
    settings.downloadLimitKib = prefs.getDownloadLimit();
    settings.uploadLimitKib = prefs.getUploadLimit();
    settings.maxConnections = prefs.getMaxConnections();
    return settings;
}

bool CoreSettings::loopbackFromEnvironment()
{
    return qEnvironmentVariable("MORVANE_NETWORK") == QLatin1String("loopback");
}

int CoreSettings::portFrom(bool ticked, const QString &text)
{
    if (!ticked)
        return 0;
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port : 0;
}

int CoreSettings::bytesPerSecond(unsigned int kibPerSecond)
{
    // libtorrent's limiter takes only limits below the largest int.
    const qint64 bytes = qint64(kibPerSecond) * 1024;
    return int(qMin<qint64>(bytes, std::numeric_limits<int>::max() - 1));
}

QString CoreSettings::listenInterfaces() const
{
    if (loopback) {
        // An ephemeral port unless one was asked for: several loopback cores
        // (tests, a benchmark) may run side by side.
        return QStringLiteral("127.0.0.1:%1").arg(port);
    }
    const int listenPort = port > 0 ? port : 6881;
    QStringList interfaces { QStringLiteral("0.0.0.0:%1").arg(listenPort) };
    if (ipv6)
        interfaces.append(QStringLiteral("[::]:%1").arg(listenPort));
    return interfaces.join(QLatin1Char(','));
}
