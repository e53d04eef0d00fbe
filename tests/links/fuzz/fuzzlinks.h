#pragma once

// Shared by the link fuzz targets: a throw-away home with a tracker site and
// a web server configured (so every branch is reachable), an offscreen
// application, and the checks every request sent for a link must pass.

#include "settings/preferences.h"
#include "tests/support/temporaryhome.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdlib>

inline void setUpLinkFuzzing(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Millions of trace lines would only slow the search down.
    QLoggingCategory::setFilterRules(QStringLiteral("morvane.*.debug=false"));
    static TemporaryHome home;
    static QApplication app(*argc, *argv);
    QCoreApplication::setApplicationName(QStringLiteral("Morvane"));
    Preferences settings;
    settings.setValue(QStringLiteral("/config/trackerSite"), QStringLiteral("tracker.test:8080"));
    settings.setValue(QStringLiteral("/config/webServer"), QStringLiteral("www.maker.test"));
}

// A request never goes out empty, and each kind carries what it names.
inline void checkRequest(int type, const QStringList &arguments)
{
    if (arguments.isEmpty())
        abort();
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            abort();
    }
    const QString &first = arguments.constFirst();
    switch (type) {
    case 0:
        if (arguments.size() != 1 || !first.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive))
            abort();
        break;
    case 1:
        if (!first.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive))
            abort();
        break;
    case 19:
        if (!first.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
            && !first.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)
            && !first.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive))
            abort();
        break;
    default:
        abort();
    }
}
