#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

// Acts on the next modal window (or popup menu) while the code under test
// runs its own event loop (exec, QMessageBox, QFileDialog, QMenu::exec),
// polling until a deadline. Windows of the same kind after that one are
// closed and counted, so that a test fails instead of hanging.
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    enum Kind { Modal, Popup };
    using Handler = std::function<void(QWidget *window)>;

    explicit ModalWatcher(Handler handler, int timeoutMs = 5000, Kind kind = Modal);

    bool handled() const { return m_handled; }
    QString className() const { return m_className; }
    int unexpected() const { return m_unexpected; }

private:
    void poll();

    Handler m_handler;
    Kind m_kind;
    QTimer m_timer;
    QDeadlineTimer m_deadline;
    bool m_handled = false;
    int m_unexpected = 0;
    QPointer<QWidget> m_current;
    QString m_className;
};
