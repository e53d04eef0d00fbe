#include "coreprocess.h"

#include <QDir>

CoreProcess::CoreProcess(const QString &channel, const QProcessEnvironment &environment)
    : m_channel(channel)
{
    QProcessEnvironment env = environment;
    env.insert(QStringLiteral("MORVANE_NETWORK"), QStringLiteral("loopback"));
    if (!env.contains(QStringLiteral("QT_LOGGING_RULES")))
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("morvane.core.debug=false"));
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
}

CoreProcess::~CoreProcess()
{
    stop();
}

QString CoreProcess::program()
{
    return QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR)).filePath(QStringLiteral("MorvaneCore"));
}

bool CoreProcess::start()
{
    m_process.start(program(), { m_channel });
    return m_process.waitForStarted(10000);
}

void CoreProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

void CoreProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
}

bool CoreProcess::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}
