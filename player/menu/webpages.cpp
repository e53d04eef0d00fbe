#include "webpages.h"

#include "links/websites.h"
#include "mywebview.h"
#include "platform/logging.h"
#include "settings/preferences.h"

#include <QLabel>

namespace {
int s_pauseCount = 0;
const QSize viewSize(740, 390);
const QSize logoSize(821, 487);
const int playingState = 2;
}

WebPages::WebPages(QWidget *videoArea, std::function<int()> playState, QObject *parent)
    : QObject(parent)
    , m_videoArea(videoArea)
    , m_view(new MyWebView(videoArea))
    , m_logo(new QLabel(videoArea))
    , m_playState(std::move(playState))
{
    m_logo->setObjectName(QStringLiteral("centrelogo"));
    m_logo->setGeometry(QRect(QPoint(1, 10), logoSize));
    m_logo->setStyleSheet(
        QStringLiteral("background-image:url(://new//prefix1//resource//icon//centrelogo.png);"));

    m_view->setObjectName(QStringLiteral("startpageview"));
    m_view->setGeometry(QRect(QPoint(30, 30), viewSize));
    m_view->setWindowFlag(Qt::WindowStaysOnTopHint);
    // Hidden until a load finishes. Hidden, not closed: a closed view drops
    // the load it is running.
    m_view->hide();
    connect(m_view, &QWebEngineView::loadFinished, this, &WebPages::htmlFinishLoad);

    flashResizeTimer.setSingleShot(true);
    connect(&flashResizeTimer, &QTimer::timeout, this, &WebPages::FlashResize);

    const QUrl address = startPageAddress();
    if (address.isEmpty()) {
        if (WebSites::webServer().isEmpty())
            qCDebug(lcPlayer, "\tno web server configured, no start page..");
        return;
    }
    m_view->load(address);
}

QUrl WebPages::startPageAddress()
{
    const QString startPage = Preferences().getStartPage();
    if (startPage == QLatin1String("none"))
        return QUrl();
    return WebSites::startPageAddress(startPage);
}

int WebPages::pauseCount()
{
    return s_pauseCount;
}

void WebPages::playing()
{
    m_view->hide();
    m_logo->hide();
}

void WebPages::stopped()
{
    const QUrl address = startPageAddress();
    if (address.isEmpty()) {
        m_view->hide();
        m_logo->show();
        return;
    }
    m_view->load(address);
    m_view->show();
}

void WebPages::paused()
{
    if (s_pauseCount++ != 0)
        return;
    const QUrl address = WebSites::pausedPageAddress();
    if (address.isEmpty()) {
        qCDebug(lcPlayer, "\tno web server configured, no paused page..");
        return;
    }
    m_view->load(address);
    m_view->show();
}

void WebPages::resumed()
{
    m_view->setUrl(QUrl());
    m_view->hide();
}

void WebPages::place(bool fullScreen)
{
    m_fullScreen = fullScreen;
    QPoint at(30, 30);
    QPoint logoAt(1, 10);
    if (fullScreen && m_videoArea) {
        at = QPoint(m_videoArea->width() / 4, m_videoArea->height() / 4);
        logoAt = at;
    }
    m_view->setGeometry(QRect(at, viewSize));
    m_logo->setGeometry(QRect(logoAt, logoSize));
}

void WebPages::replace(bool fullScreen)
{
    m_fullScreen = fullScreen;
    fitView();
    flashResizeTimer.start(1);
}

void WebPages::FlashResize()
{
    fitView();
    flashResizeTimer.stop();
}

void WebPages::fitView()
{
    if (!m_videoArea)
        return;
    if (m_fullScreen) {
        m_view->setGeometry(QRect(QPoint(m_videoArea->width() / 4, m_videoArea->height() / 4), viewSize));
        return;
    }
    m_view->resize(m_videoArea->size() - QSize(60, 60));
}

void WebPages::htmlFinishLoad(bool ok)
{
    const bool isPlaying = m_playState && m_playState() == playingState;
    // A page that cannot be had is not worth an error page: the logo instead.
    if (!ok) {
        qCDebug(lcPlayer, "\tpage failed to load..");
        m_view->hide();
        if (!isPlaying)
            m_logo->show();
        return;
    }
    m_logo->hide();
    if (isPlaying)
        m_view->hide();
    else
        m_view->show();
}

void WebPages::loadStartPage(const QUrl &address)
{
    if (address.isEmpty())
        return;
    m_view->load(address);
}
