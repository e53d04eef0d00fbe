#include "websites.h"

#include <QCoreApplication>

#include "platform/version.h"
#include "settings/preferences.h"

namespace {
QString hostSetting(const QString &key)
{
    return Preferences().value(key, QString()).toString().trimmed();
}

QUrl onWebServer(const QString &pathAndQuery)
{
    const QString server = WebSites::webServer();
    if (server.isEmpty())
        return QUrl();
    // Tolerant parsing keeps the link's values as written; only what cannot
    // travel in an address at all gets encoded on the wire.
    return QUrl(QStringLiteral("http://") + server + pathAndQuery, QUrl::TolerantMode);
}
}

QString WebSites::webServer()
{
    return hostSetting(QStringLiteral("/config/webServer"));
}

QString WebSites::noTrackerSiteText()
{
    return QCoreApplication::translate(
        "WebSites", "Link ignored: no tracker site is set (trackerSite in Morvane.ini).");
}

QString WebSites::trackerSite()
{
    return hostSetting(QStringLiteral("/config/trackerSite"));
}

float WebSites::programVersion()
{
    return float(QString(QLatin1String(MORVANE_VERSION)).toDouble());
}

QString WebSites::programVersionText()
{
    return QString::number(QString(QLatin1String(MORVANE_VERSION)).toDouble(), 'g', 6);
}

QUrl WebSites::startPageAddress(const QString &startPage)
{
    return onWebServer(QStringLiteral("/top/start.php?startPage=") + startPage + QStringLiteral("&version=")
        + programVersionText());
}

QUrl WebSites::pausedPageAddress()
{
    return onWebServer(QStringLiteral("/paused/"));
}

QUrl WebSites::feedbackAddress()
{
    return onWebServer(QStringLiteral("/forum"));
}
