#include "modalwatcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

ModalWatcher::ModalWatcher(Handler handler, int timeoutMs)
    : m_handler(std::move(handler))
    , m_remaining(timeoutMs / 10)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && m_handled) {
        if (modal == m_current)
            return; // still being handled
        ++m_unexpected;
        qWarning("closing an unexpected %s", modal->metaObject()->className());
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            qWarning("it says: %s", qPrintable(box->text()));
        modal->close();
    } else if (modal && modal->isVisible()) {
        m_handled = true;
        m_current = modal;
        m_className = QString::fromLatin1(modal->metaObject()->className());
        // Queued, so that this timer stays free to act on a window that the
        // handler's own action may open.
        QMetaObject::invokeMethod(
            this,
            [this, target = QPointer<QWidget>(modal)] {
                if (target)
                    m_handler(target);
                m_current = nullptr;
            },
            Qt::QueuedConnection);
        return;
    }
    if (--m_remaining <= 0)
        m_timer.stop();
}
