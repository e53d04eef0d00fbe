#include "linkprocessor.h"

#include "parameterpaths.h"
#include "platform/logging.h"
#include "settings/misc.h"
#include "settings/preferences.h"
#include "websites.h"

#include <QDesktopServices>
#include <QDir>
#include <QWidget>

namespace {
const QLatin1String morvanePrefix("morvane://");
const QLatin1String bcPrefix("bc://bt/");

QString withoutTrailingSlash(QString text)
{
    if (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

// Our own schemes written in a way we do not understand: from a web page,
// never to be taken for a file name.
bool isMalformedOwnLink(const QString &parameter)
{
    return parameter.startsWith(QLatin1String("morvane:"), Qt::CaseInsensitive)
        || parameter.startsWith(QLatin1String("bc:"), Qt::CaseInsensitive);
}

// What a clicked start-page link may hand to the desktop: web pages, and the
// link schemes the desktop hands back to us. Never files or programs.
bool mayOpenOnDesktop(const QUrl &url)
{
    static const QStringList schemes = { QStringLiteral("http"), QStringLiteral("https"),
        QStringLiteral("ftp"), QStringLiteral("magnet"), QStringLiteral("morvane"), QStringLiteral("bc") };
    return url.isValid() && schemes.contains(url.scheme().toLower());
}
}

LinkProcessor::LinkProcessor(const QStringList &startupParameters, QWidget *window, QWidget *fileList,
    std::function<int()> playState, QObject *parent)
    : QObject(parent)
    , m_startupParameters(startupParameters)
    , m_autoPlayMethod(Preferences().getAutoPlayMethod())
    , m_window(window)
    , m_fileList(fileList)
    , m_playState(std::move(playState))
{ }

void LinkProcessor::processParams(QStringList params)
{
    for (const QString &raw : std::as_const(params)) {
        bool local = true;
        // Launchers pass local files as file: URIs; from here on they are paths.
        const QString parameter = ParameterPaths::localPath(raw.trimmed(), &local);
        if (!local) {
            qCDebug(lcLinks).noquote() << QStringLiteral("\tnot a file on this machine: ") + raw.trimmed();
            continue;
        }
        if (parameter.isEmpty())
            continue;
        if (misc::isUrl(parameter)) {
            continue;
        } else if (parameter.startsWith(bcPrefix, Qt::CaseInsensitive)) {
            const QString magnet = misc::magnetFromBcLink(parameter);
            if (!magnet.isEmpty())
                emit sessionRequest(CoreProtocol::AddMagnets, QStringList { magnet });
        } else if (parameter.startsWith(morvanePrefix, Qt::CaseInsensitive)) {
            processmorvane(parameter);
        } else if (parameter.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive)) {
            emit sessionRequest(CoreProtocol::AddMagnets, QStringList { parameter });
        } else if (isMalformedOwnLink(parameter)) {
            qCDebug(lcLinks).noquote() << QStringLiteral("\tunknown link form dropped: ") + parameter;
        } else if (parameter.endsWith(QLatin1String(".torrent"), Qt::CaseInsensitive)) {
            emit sessionRequest(CoreProtocol::AddTorrentFile, QStringList { parameter });
        } else {
            emit playFileRequested(QDir::toNativeSeparators(parameter));
        }
    }
}

void LinkProcessor::processParams(QString params_str)
{
    processParams(QStringList { params_str });
    if (!m_window)
        return;
    QWidget *top = m_window->window();
    top->setWindowState(Qt::WindowActive);
    top->setWindowState(top->windowState() & ~Qt::WindowMinimized);
    top->show();
    top->raise();
    top->activateWindow();
}

void LinkProcessor::webRequestCheckProcess()
{
    if (m_startupParameters.isEmpty())
        return;
    // Cleared first: a file played from here may run a nested event loop.
    const QStringList parameters = std::exchange(m_startupParameters, QStringList());
    processParams(parameters);
}

void LinkProcessor::processmorvane(QString param)
{
    m_linkParameters.clear();
    param = withoutTrailingSlash(param);
    const QStringList parts = param.split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString &part : parts)
        m_linkParameters.assign(part, true);

    const LinkParameters &link = m_linkParameters;
    if (link.ty.isEmpty()) {
        const QString magnet = misc::magnetFromPipeLink(param);
        if (!magnet.isEmpty())
            emit sessionRequest(CoreProtocol::AddMagnets, QStringList { magnet });
        return;
    }
    if (link.ty == QLatin1String("0")) {
        if (link.sp.isEmpty())
            return;
        loadStartPage(link.sp);
        return;
    }
    if (link.ty != QLatin1String("1"))
        return;

    const QString site = link.torrentHost();
    if (site.isEmpty()) {
        if (link.ro == QLatin1String("1"))
            emit notice(WebSites::noTrackerSiteText());
        return;
    }
    // The torrent file, then the torrent's comment page.
    m_linkParameters.requestUrl = link.downloadAddress(site) + QLatin1Char('@') + link.commentAddress(site);
    emit sessionRequest(CoreProtocol::AddUrls, QStringList { m_linkParameters.requestUrl });
}

void LinkProcessor::openUrlSlot(QUrl url)
{
    m_linkParameters.ty.clear();
    m_linkParameters.sp.clear();
    const QStringList parts
        = withoutTrailingSlash(url.toString()).split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (part.startsWith(QLatin1String("ty="), Qt::CaseInsensitive))
            m_linkParameters.ty = part.mid(3);
        else if (part.startsWith(QLatin1String("sp="), Qt::CaseInsensitive))
            m_linkParameters.sp = part.mid(3);
    }
    if (m_linkParameters.ty == QLatin1String("0")) {
        loadStartPage(m_linkParameters.sp);
        return;
    }
    if (!mayOpenOnDesktop(url)) {
        qCDebug(lcLinks).noquote() << QStringLiteral("\trefused to open link: ") + url.toString();
        return;
    }
    QDesktopServices::openUrl(url);
}

void LinkProcessor::addedReturnPrepProcess(int type, QList<QStringList> list)
{
    if (m_fileList && m_fileList->isHidden())
        m_fileList->show();
    const int state = m_playState ? m_playState() : 0;
    const bool autoPlay = m_autoPlayMethod || (state != 1 && state != 2);
    emit addedReturn(type, list, autoPlay);
}

void LinkProcessor::autoPlayMethodChanged(bool _autoPlayMethod)
{
    m_autoPlayMethod = _autoPlayMethod;
}

void LinkProcessor::loadStartPage(const QString &startPage)
{
    Preferences().setStartPage(startPage);
    const QUrl address = WebSites::startPageAddress(startPage);
    if (address.isEmpty()) {
        qCDebug(lcLinks, "\tno web server configured, start page not loaded..");
        return;
    }
    emit startPageLoadRequested(address);
}
