#pragma once

#include <QString>
#include <QUrl>

// The two web sites the player talks about: the maker's web server (start
// page, paused page, forum, update) and the tracker site. Both are hosts with
// an optional port, read from Morvane.ini; empty means there is none.
class WebSites
{
public:
    WebSites() = delete;

    static QString webServer();
    static QString trackerSite();
    // What the user is told when a tracker-site link is dropped for want of one.
    static QString noTrackerSiteText();

    // The program version as a number and as the shortest decimal text.
    static float programVersion();
    static QString programVersionText();

    // "http://" + web server + "/top/start.php?startPage=" + startPage +
    // "&version=" + version; empty when there is no web server.
    static QUrl startPageAddress(const QString &startPage);
    // The paused page and the forum; empty when there is no web server.
    static QUrl pausedPageAddress();
    static QUrl feedbackAddress();
};
