#include "coreprogram.h"

#include "coreserver.h"
#include "coreservice.h"
#include "coresettings.h"
#include "disktrouble.h"
#include "streamserver.h"
#include "torrentsession.h"

#include "platform/logging.h"
#include "settings/misc.h"
#include "settings/preferences.h"

#include <QDir>

CoreProgram::CoreProgram(QObject *parent)
    : QObject(parent)
{ }

CoreProgram::~CoreProgram()
{
    delete m_server;
    delete m_stream;
    delete m_service;
    delete m_lock;
}

CoreProgram::Start CoreProgram::start(const QString &channel)
{
    const QString backup = misc::backupLocation();
    m_lock = new QLockFile(QDir(backup).filePath(QStringLiteral("core.lock")));
    m_lock->setStaleLockTime(0); // a killed core's lock is stale by its pid
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            qCInfo(lcCore).noquote() << "another core already serves this user; leaving it to its work";
            return Start::AlreadyRunning;
        }
        qCWarning(lcCore).noquote() << "cannot lock" << backup;
        return Start::Failed;
    }

    const CoreSettings settings = CoreSettings::load();
    qCInfo(lcCore).noquote() << "network:" << (settings.loopback ? "loopback only" : "open") << "listen"
                             << settings.listenInterfaces() << "save path" << settings.savePath;
    m_service = new CoreService(settings, QDir(backup).filePath(QStringLiteral("core")));
    // Tests and benchmarks shorten these instead of waiting them out.
    bool ok = false;
    const int saveInterval = qEnvironmentVariableIntValue("MORVANE_CORE_SAVE_INTERVAL_MS", &ok);
    if (ok && saveInterval > 0)
        m_service->session()->setResumeSaveInterval(saveInterval);
    const int statusInterval = qEnvironmentVariableIntValue("MORVANE_CORE_STATUS_INTERVAL_MS", &ok);
    if (ok && statusInterval > 0)
        m_service->setStatusInterval(statusInterval);
    const int diskRetry = qEnvironmentVariableIntValue("MORVANE_CORE_DISK_RETRY_MS", &ok);
    if (ok && diskRetry > 0)
        m_service->session()->diskTrouble()->setRetryInterval(diskRetry);
    m_service->session()->restore();

    // Other players read the downloads' files here; the core works without it.
    m_stream = new StreamServer(m_service->session());
    if (m_stream->listen(settings.streamOnNetwork)) {
        QStringList addresses { m_stream->address() };
        if (!m_stream->networkAddress().isEmpty())
            addresses.append(m_stream->networkAddress());
        m_service->setStreamAddresses(addresses);
    }

    m_server = new CoreServer;
    if (!m_server->listen(channel))
        return Start::Failed;

    // player -> service -> player
    connect(m_server, &CoreServer::requestReceived, m_service, &CoreService::handleRequest);
    connect(m_service, &CoreService::reply, m_server, &CoreServer::send);
    m_service->setBacklogProbe([server = m_server] { return server->pendingBytes(); });
    connect(m_server, &CoreServer::replyBytesWritten, m_service, &CoreService::replyDrained);
    connect(
        m_server, &CoreServer::playerConnected, m_service, [this] { m_service->setPlayerConnected(true); });
    connect(m_server, &CoreServer::playerDisconnected, m_service,
        [this] { m_service->setPlayerConnected(false); });
    connect(m_service, &CoreService::channelChangeRequested, this, &CoreProgram::moveChannel);
    return Start::Serving;
}

void CoreProgram::stop()
{
    if (!m_service) {
        emit stopped();
        return;
    }
    qCInfo(lcCore).noquote() << "stopping: saving resume data";
    connect(m_service->session(), &TorrentSession::allResumeDataSaved, this, &CoreProgram::stopped,
        Qt::SingleShotConnection);
    m_service->session()->holdForQuit(true);
    m_service->session()->saveAllResumeData();
}

void CoreProgram::moveChannel(const QString &channel)
{
    if (!m_server->moveTo(channel))
        return;
    // The player looks here for the name whenever its connection fails.
    Preferences prefs;
    prefs.setValue(QStringLiteral("/config/backServerName"), channel);
    prefs.sync();
    qCInfo(lcCore).noquote() << "moved to channel" << channel;
}
