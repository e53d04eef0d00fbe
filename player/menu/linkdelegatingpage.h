#pragma once

#include <QWebEnginePage>

// A page that does not follow links: a clicked link, or a page asking for a
// new window, is reported instead and the page stays where it is.
class LinkDelegatingPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit LinkDelegatingPage(QObject *parent = nullptr);

signals:
    void linkClicked(QUrl url);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
};
