#include "mywebview.h"

#include "linkdelegatingpage.h"

#include <QChildEvent>
#include <QDropEvent>
#include <QMouseEvent>

MyWebView::MyWebView(QWidget *parent)
    : QWebEngineView(parent)
{
    auto *page = new LinkDelegatingPage(this);
    setPage(page);
    connect(page, &LinkDelegatingPage::linkClicked, this, &MyWebView::linkClicked);
}

void MyWebView::dropEvent(QDropEvent *event)
{
    emit sendDropEvent(event);
}

void MyWebView::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit sendDoubldClick(event);
}

// The engine draws through a child widget that receives the input events;
// watch it so that drops and double-clicks still reach the window.
void MyWebView::childEvent(QChildEvent *event)
{
    if (event->type() == QEvent::ChildAdded && event->child()->isWidgetType())
        event->child()->installEventFilter(this);
    QWebEngineView::childEvent(event);
}

bool MyWebView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != this && watched->parent() == this) {
        switch (event->type()) {
        case QEvent::Drop:
            emit sendDropEvent(static_cast<QDropEvent *>(event));
            return true;
        case QEvent::MouseButtonDblClick:
            emit sendDoubldClick(static_cast<QMouseEvent *>(event));
            return true;
        default:
            break;
        }
    }
    return QWebEngineView::eventFilter(watched, event);
}
