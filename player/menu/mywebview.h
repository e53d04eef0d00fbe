#pragma once

#include <QWebEngineView>

// The start-page view. Drops and double-clicks belong to the player window,
// so they are handed on instead of handled here.
class MyWebView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit MyWebView(QWidget *parent = nullptr);

signals:
    void sendDropEvent(QDropEvent *event);
    void sendDoubldClick(QMouseEvent *event);
    // Every link the user follows in the page; the page itself stays put.
    void linkClicked(QUrl url);

protected:
    void dropEvent(QDropEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void childEvent(QChildEvent *event) override;
};
