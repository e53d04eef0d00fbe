#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <QLabel>
class QWidget;
class VlcEngine;

// The short messages over the video area ("data caching.." and the like).
// While a picture plays, libvlc draws the text into the picture itself, so
// a cleared or replaced message leaves nothing behind; with no picture a
// label on the video area shows it.
class MessageOverlay : public QObject
{
    Q_OBJECT

public:
    MessageOverlay(QWidget *videoArea, VlcEngine *engine, QObject *parent = nullptr);

    // autoClear: gone after clearAfterMs unless replaced first.
    void show(const QString &text, bool autoClear);
    void hide();
    // Empty while nothing is shown.
    QString text() const { return m_text; }
    QLabel *label() const { return m_label; }

    static constexpr int clearAfterMs = 3000;

private:
    void showLabel(bool visible);

    QPointer<QLabel> m_label;
    VlcEngine *m_engine;
    QString m_text;
    QTimer m_clearTimer;
};
