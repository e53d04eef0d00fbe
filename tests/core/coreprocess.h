#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// MorvaneCore from the build's bin folder, as a child of the test.
class CoreProcess
{
public:
    CoreProcess(const QString &channel, const QProcessEnvironment &environment);
    ~CoreProcess();
    CoreProcess(const CoreProcess &) = delete;
    CoreProcess &operator=(const CoreProcess &) = delete;

    static QString program();

    bool start();
    // SIGKILL to this child only: nothing is saved on the way out.
    void kill();
    void stop();
    bool waitForExit(int timeoutMs);
    QProcess &process() { return m_process; }

private:
    QString m_channel;
    QProcess m_process;
};
