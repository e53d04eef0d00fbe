#include "messageoverlay.h"

#include "platform/logging.h"
#include "player/vlcengine.h"

#include <QCoreApplication>
#include <QLabel>

MessageOverlay::MessageOverlay(QWidget *videoArea, VlcEngine *engine, QObject *parent)
    : QObject(parent)
    , m_label(new QLabel(videoArea))
    , m_engine(engine)
{
    m_label->setObjectName(QStringLiteral("messagelabel"));
    QFont font = m_label->font();
    font.setPointSize(10);
    font.setWeight(QFont::Bold);
    m_label->setFont(font);
    m_label->setStyleSheet(QStringLiteral("color: rgb(242, 242,0);"));
    m_label->move(10, 10);
    m_label->hide();
    m_clearTimer.setSingleShot(true);
    m_clearTimer.setInterval(clearAfterMs);
    connect(&m_clearTimer, &QTimer::timeout, this, &MessageOverlay::hide);
    // The window may drop the engine before this; the guard covers the other
    // order.
    m_engine->setPictureCallback([self = QPointer<MessageOverlay>(this)](bool picture) {
        if (self)
            self->showLabel(!picture && !self->m_text.isEmpty());
    });
}

void MessageOverlay::showLabel(bool visible)
{
    if (!m_label)
        return;
    m_label->setVisible(visible);
    if (visible)
        m_label->raise();
}

void MessageOverlay::show(const QString &text, bool autoClear)
{
    // Progress on a shown caching message is the same wait, not a new one:
    // traces count waits.
    const QString caching = QCoreApplication::translate("player", "data caching..");
    const bool trace = !(m_text.startsWith(caching) && text.startsWith(caching));
    if (autoClear)
        m_clearTimer.start();
    else
        m_clearTimer.stop();
    m_text = text;
    if (trace && qEnvironmentVariableIsSet("MORVANE_UI_TRACE"))
        qCDebug(lcPlayer).noquote() << "ui: message" << text;
    m_engine->setMarquee(text);
    // The picture may not fill the video area: the label would show beside
    // it, so it is there only while there is no picture.
    if (m_label) {
        m_label->setText(text);
        m_label->adjustSize();
    }
    showLabel(!m_engine->hasPicture());
}

void MessageOverlay::hide()
{
    m_clearTimer.stop();
    if (m_text.isEmpty())
        return;
    m_text.clear();
    if (qEnvironmentVariableIsSet("MORVANE_UI_TRACE"))
        qCDebug(lcPlayer).noquote() << "ui: message cleared";
    m_engine->setMarquee(QString());
    showLabel(false);
}
