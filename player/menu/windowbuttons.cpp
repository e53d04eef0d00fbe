#include "windowbuttons.h"

#include "links/websites.h"
#include "platform/logging.h"
#include "webpages.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QWidget>

namespace {
const int frameOn = 0;
const int frameNormal = 1;
const int frameInactive = 2;

bool isWebAddress(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}
}

WindowButtons::WindowButtons(QWidget *window, QWidget *fileList, WebPages *pages,
    QAbstractButton *commentButton, QAbstractButton *playlistButton, QAbstractButton *miniButton,
    QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_fileList(fileList)
    , m_pages(pages)
    , m_commentButton(commentButton)
    , m_playlistButton(playlistButton)
    , m_miniButton(miniButton)
{ }

void WindowButtons::miniClicked()
{
    if (m_window)
        m_window->showMinimized();
    emit frameRequested(m_miniButton, frameNormal);
}

void WindowButtons::hideplaylistClicked(bool fullScreen)
{
    if (m_fileList) {
        if (m_fileList->isHidden()) {
            m_fileList->show();
            emit frameRequested(m_playlistButton, frameOn);
        } else {
            m_fileList->hide();
            emit frameRequested(m_playlistButton, frameNormal);
        }
    }
    if (m_pages)
        m_pages->replace(fullScreen);
}

void WindowButtons::setCommentButton(QString setCommentUrl)
{
    m_commentUrl = setCommentUrl;
    m_commentAvailable = !setCommentUrl.isEmpty();
    emit frameRequested(m_commentButton, m_commentAvailable ? frameNormal : frameInactive);
}

void WindowButtons::commentClicked()
{
    if (m_commentAvailable) {
        // The address came from a torrent site: only ever a web page.
        const QUrl url(m_commentUrl, QUrl::TolerantMode);
        if (isWebAddress(url))
            QDesktopServices::openUrl(url);
        else
            qCDebug(lcPlayer).noquote() << QStringLiteral("\trefused to open comment page: ") + m_commentUrl;
    }
    emit frameRequested(m_commentButton, frameNormal);
}

void WindowButtons::feedbackClicked()
{
    const QUrl url = WebSites::feedbackAddress();
    if (url.isEmpty()) {
        qCDebug(lcPlayer, "\tno web server configured, no feedback page..");
        return;
    }
    QDesktopServices::openUrl(url);
}
