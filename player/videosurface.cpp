#include "videosurface.h"

#include "player/vlcengine.h"

#include <QEvent>
#include <QWidget>

VideoSurface::VideoSurface(QWidget *widget, VlcEngine *engine, QObject *parent)
    : QObject(parent)
    , m_widget(widget)
    , m_engine(engine)
{
    // A native window of its own, painted by the engine alone; its ancestors
    // stay what they are.
    widget->setAttribute(Qt::WA_NativeWindow);
    widget->setAttribute(Qt::WA_DontCreateNativeAncestors);
    widget->setAttribute(Qt::WA_OpaquePaintEvent);
    widget->setAttribute(Qt::WA_NoSystemBackground);
    widget->installEventFilter(this);
    m_engine->setWindow(widget->winId());
}

bool VideoSurface::eventFilter(QObject *watched, QEvent *event)
{
    // No id: the window is being destroyed (perhaps with the engine already
    // gone); the next id, if any, follows.
    if (watched == m_widget && event->type() == QEvent::WinIdChange && m_widget->internalWinId())
        m_engine->setWindow(m_widget->internalWinId());
    return QObject::eventFilter(watched, event);
}
