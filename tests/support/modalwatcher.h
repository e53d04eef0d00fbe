#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

// Acts on the next modal window while the code under test runs its own
// event loop (exec, QMessageBox, QFileDialog), polling with a deadline.
// Modal windows after that one are closed and counted, so that a test
// fails instead of hanging.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *modal)>;

    explicit ModalWatcher(Handler handler, int timeoutMs = 5000);

    bool handled() const { return m_handled; }
    QString className() const { return m_className; }
    int unexpected() const { return m_unexpected; }

private:
    void poll();

    Handler m_handler;
    QTimer m_timer;
    int m_remaining;
    bool m_handled = false;
    int m_unexpected = 0;
    QPointer<QWidget> m_current;
    QString m_className;
};
