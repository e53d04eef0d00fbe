#include "modalwatcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

ModalWatcher::ModalWatcher(Handler handler, int timeoutMs, Kind kind)
    : m_handler(std::move(handler))
    , m_kind(kind)
    , m_deadline(timeoutMs)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget *window = m_kind == Popup ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
    if (window && window->isVisible() && m_handled) {
        if (window == m_current)
            return; // still being handled
        ++m_unexpected;
        qWarning("closing an unexpected %s", window->metaObject()->className());
        if (auto *box = qobject_cast<QMessageBox *>(window))
            qWarning("it says: %s", qPrintable(box->text()));
        window->close();
    } else if (window && window->isVisible()) {
        m_handled = true;
        m_current = window;
        m_className = QString::fromLatin1(window->metaObject()->className());
        // Queued, so that this timer stays free to act on a window that the
        // handler's own action may open.
        QMetaObject::invokeMethod(
            this,
            [this, target = QPointer<QWidget>(window)] {
                if (target)
                    m_handler(target);
                m_current = nullptr;
            },
            Qt::QueuedConnection);
        return;
    }
    if (m_deadline.hasExpired())
        m_timer.stop();
}
