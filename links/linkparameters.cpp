#include "linkparameters.h"

#include "platform/logging.h"
#include "websites.h"

void LinkParameters::clear()
{
    *this = LinkParameters();
}

bool LinkParameters::assign(const QString &part, bool withStartPage)
{
    // The order matters only for the first match; no key is a prefix of another.
    const struct
    {
        QLatin1String key;
        QString LinkParameters::*field;
    } keys[] = {
        { QLatin1String("ty="), &LinkParameters::ty },
        { QLatin1String("ro="), &LinkParameters::ro },
        { QLatin1String("url="), &LinkParameters::url },
        { QLatin1String("id="), &LinkParameters::id },
        { QLatin1String("dm="), &LinkParameters::dm },
        { QLatin1String("xl="), &LinkParameters::xl },
        { QLatin1String("ua="), &LinkParameters::ua },
        { QLatin1String("tr="), &LinkParameters::tr },
        { QLatin1String("ts="), &LinkParameters::ts },
        { QLatin1String("cs="), &LinkParameters::cs },
        { QLatin1String("sp="), &LinkParameters::sp },
    };
    for (const auto &entry : keys) {
        if (entry.field == &LinkParameters::sp && !withStartPage)
            continue;
        if (part.startsWith(entry.key, Qt::CaseInsensitive)) {
            this->*entry.field = part.mid(entry.key.size());
            return true;
        }
    }
    return false;
}

QString LinkParameters::torrentHost() const
{
    if (ro != QLatin1String("1"))
        return url;
    const QString site = WebSites::trackerSite();
    if (site.isEmpty())
        qCDebug(lcLinks, "\tno tracker site configured, link dropped..");
    return site;
}

QString LinkParameters::downloadAddress(const QString &host) const
{
    return QStringLiteral("http://") + host + QStringLiteral("/download.php?id=") + id
        + QStringLiteral("&passkey=") + ua;
}

QString LinkParameters::commentAddress(const QString &host) const
{
    return QStringLiteral("http://") + host + QStringLiteral("/details.php?id=") + id
        + QStringLiteral("&cmtpage=1&page=0");
}
