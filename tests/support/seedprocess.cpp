#include "seedprocess.h"

#include <QDeadlineTimer>
#include <QDir>

SeedProcess::SeedProcess(const QString &path, const QStringList &extraArguments)
    : m_path(path)
    , m_arguments(extraArguments)
{ }

SeedProcess::~SeedProcess()
{
    stop();
}

QString SeedProcess::program()
{
    return QDir(QStringLiteral(MORVANE_BUILD_BIN_DIR)).filePath(QStringLiteral("morvane-seed"));
}

bool SeedProcess::start(int timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(program(), m_arguments + QStringList { m_path });
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_output.contains(QLatin1String("\nseeding"))) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()
            || !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_output += QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    }
    const QStringList lines = m_output.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString value = line.section(QStringLiteral(": "), 1);
        if (line.startsWith(QLatin1String("torrent: ")))
            m_torrentPath = value;
        else if (line.startsWith(QLatin1String("magnet: ")))
            m_magnet = value;
        else if (line.startsWith(QLatin1String("hash: ")))
            m_hash = value;
        else if (line.startsWith(QLatin1String("port: ")))
            m_port = value.toInt();
    }
    return !m_torrentPath.isEmpty() && !m_magnet.isEmpty() && m_port > 0;
}

void SeedProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill(); // our own child, by its handle
        m_process.waitForFinished(5000);
    }
    readOutput();
}

void SeedProcess::readOutput()
{
    m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
}

qint64 SeedProcess::sent()
{
    readOutput();
    // The last complete report; a line still being written is left for later.
    const QStringList lines = m_output.left(m_output.lastIndexOf(QLatin1Char('\n'))).split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->startsWith(QLatin1String("sent: ")) || line->startsWith(QLatin1String("uploaded: ")))
            return line->section(QStringLiteral(": "), 1).toLongLong();
    }
    return 0;
}
