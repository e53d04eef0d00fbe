#pragma once

#include <QObject>

// The operating system's polite request to stop (SIGTERM or SIGINT on
// Linux) as a Qt signal on the thread that created the object, so that a
// service can save its state and close its sockets on the way out.
// On Windows the core is stopped with taskkill /f, which nothing can catch:
// there it never fires.
class StopSignal : public QObject
{
    Q_OBJECT

public:
    // One per process: it owns the signal handlers while it lives.
    explicit StopSignal(QObject *parent = nullptr);
    ~StopSignal() override;

signals:
    void stopRequested();
};
