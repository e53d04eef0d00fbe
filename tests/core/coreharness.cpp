#include "coreharness.h"

#include "protocol/coreprotocol.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>

QByteArray CoreHarness::randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.generate() & 0xff);
    return bytes;
}

bool CoreHarness::writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray CoreHarness::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int CoreHarness::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool CoreHarness::setUpHome(const QString &channelPrefix)
{
    m_home = std::make_unique<TemporaryHome>();
    if (!m_home->isValid())
        return false;
    m_channel = QStringLiteral("%1-%2-%3")
                    .arg(channelPrefix)
                    .arg(QCoreApplication::applicationPid())
                    .arg(++m_serial);
    m_savePath = QDir(m_home->path()).filePath(QStringLiteral("downloads"));
    m_corePort = freePort();
    setSetting(QStringLiteral("Preferences/Downloads/SavePath"), m_savePath);
    setSetting(QStringLiteral("/config/portcheckbox"), true);
    setSetting(QStringLiteral("/config/portlineEdit"), QString::number(m_corePort));
    return true;
}

void CoreHarness::tearDown()
{
    m_client.reset();
    m_core.reset();
    m_home.reset();
}

QString CoreHarness::iniPath() const
{
    return m_home->dataHome() + QStringLiteral("/Morvane/BT_backup/data/Morvane.ini");
}

QString CoreHarness::backupFolder() const
{
    return m_home->dataHome() + QStringLiteral("/Morvane/BT_backup/core");
}

void CoreHarness::setSetting(const QString &key, const QVariant &value)
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    settings.setValue(key, value);
}

bool CoreHarness::startCore(const QProcessEnvironment &extra)
{
    QProcessEnvironment env = m_home->environment();
    env.insert(extra);
    m_core = std::make_unique<CoreProcess>(m_channel, env);
    if (!m_core->start())
        return false;
    m_client = std::make_unique<CoreTestClient>();
    if (!m_client->connectTo(m_channel))
        return false;
    if (m_extendedReplies)
        m_client->send(CoreProtocol::ExtendedReplies, { QString() });
    return true;
}

std::unique_ptr<SeedProcess> CoreHarness::seed(const QString &path, const QStringList &extra)
{
    auto seeder = std::make_unique<SeedProcess>(path,
        QStringList { QStringLiteral("--piece-size"), QString::number(kPieceSize), QStringLiteral("--peer"),
            QString::number(m_corePort) }
            + extra);
    if (!seeder->start()) {
        qWarning().noquote() << seeder->output();
        return nullptr;
    }
    return seeder;
}

QStringList CoreHarness::waitForStatus(
    const QString &hash, const std::function<bool(const QStringList &)> &match, int timeoutMs)
{
    QStringList row;
    m_client->waitFor(
        CoreProtocol::StatusList, timeoutMs,
        [&](const CoreReply &reply) {
            row = CoreTestClient::statusRow(reply, hash);
            return !row.isEmpty() && match(row);
        },
        m_client->mark());
    return row;
}
