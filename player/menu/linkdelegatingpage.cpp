#include "linkdelegatingpage.h"

LinkDelegatingPage::LinkDelegatingPage(QObject *parent)
    : QWebEnginePage(parent)
{ }

bool LinkDelegatingPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (type == NavigationTypeLinkClicked) {
        emit linkClicked(url);
        return false;
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage *LinkDelegatingPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type);
    // A link meant for a new window: catch its first navigation, report it
    // like any other link and throw the page away.
    auto *popup = new QWebEnginePage(this);
    connect(popup, &QWebEnginePage::urlChanged, this, [this, popup](const QUrl &url) {
        if (url.isEmpty() || !popup->property("reported").isNull())
            return;
        popup->setProperty("reported", true);
        emit linkClicked(url);
        popup->deleteLater();
    });
    return popup;
}
