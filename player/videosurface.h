#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class VlcEngine;

// Keeps the engine drawing into one widget's native window. Qt makes a
// widget's native window again when the window's flags or its way of
// composing change (web pages do that); the engine follows every new id.
class VideoSurface : public QObject
{
    Q_OBJECT

public:
    VideoSurface(QWidget *widget, VlcEngine *engine, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_widget;
    VlcEngine *m_engine;
};
