#include "xvfbserver.h"

#include <QDeadlineTimer>

XvfbServer::~XvfbServer()
{
    stop();
}

bool XvfbServer::start(const QString &screen, int timeoutMs)
{
    m_process.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            screen, QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    if (!m_process.waitForStarted(5000))
        return false;
    // Xvfb writes the display number once it accepts connections.
    QDeadlineTimer deadline(timeoutMs);
    QByteArray out;
    while (!out.contains('\n')) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return false;
        m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        out += m_process.readAllStandardOutput();
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(out.trimmed());
    return true;
}

void XvfbServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    m_display.clear();
}
