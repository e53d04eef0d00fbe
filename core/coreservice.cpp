#include "coreservice.h"

#include "rowbuilder.h"
#include "streamingscheduler.h"
#include "torrentfetcher.h"
#include "torrentsession.h"

#include "platform/logging.h"
#include "protocol/coreprotocol.h"
#include "settings/preferences.h"

namespace {
constexpr int statusIntervalMs = 1000;
constexpr int urgentSpacingMs = 100;

bool toInt(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}
}

CoreService::CoreService(const CoreSettings &settings, const QString &backupFolder, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_session(new TorrentSession(settings, backupFolder, this))
{
    m_statusTimer.setInterval(statusIntervalMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &CoreService::sendStatus);
    m_urgentTimer.setSingleShot(true);
    connect(&m_urgentTimer, &QTimer::timeout, this, &CoreService::sendStatus);

    connect(m_session, &TorrentSession::metadataArrived, this, [this](const QString &hash) {
        // Our own player rebuilds a magnet row from its description whenever
        // it comes: no need to wait for it to ask after the next status list.
        if (m_playerConnected && m_extendedReplies && m_magnetsListed.remove(hash))
            describeMagnets({ hash });
        sendStatusSoon();
    });
    connect(m_session, &TorrentSession::playedPieceFinished, this, [this](const QString &hash, int piece) {
        // The status list is spaced out; a waiting read should not be.
        if (m_playerConnected && m_extendedReplies)
            emit reply(CoreProtocol::PieceFinished, { { hash, QString::number(piece) } });
        sendStatusSoon();
    });
    connect(m_session, &TorrentSession::statusReady, this, [this] {
        if (m_statusPending)
            emitStatus();
    });
    connect(m_session, &TorrentSession::refused, this,
        [this](const QString &hash, const QString &name, const QString &why) {
            addFailed(QStringLiteral("magnet:?xt=urn:btih:") + hash, name + QStringLiteral(": ") + why);
        });
    connect(m_session, &TorrentSession::allResumeDataSaved, this, [this] {
        qCInfo(lcCore).noquote() << "resume data saved, ready to close";
        emit reply(CoreProtocol::ReadyToClose, {});
    });
}

CoreService::~CoreService() = default;

void CoreService::setStatusInterval(int milliseconds)
{
    m_statusTimer.setInterval(milliseconds);
}

void CoreService::setPlayerConnected(bool connected)
{
    m_playerConnected = connected;
    // Each player says anew whether it reads our own replies.
    m_extendedReplies = false;
    m_magnetsListed.clear();
    m_statusPending = false;
    m_statusSkipped = false;
    if (connected) {
        // A player that comes back was not quitting after all.
        m_session->holdForQuit(false);
        m_statusTimer.start();
    } else {
        m_statusTimer.stop();
        m_urgentTimer.stop();
    }
}

void CoreService::sendStatus()
{
    if (!m_playerConnected)
        return;
    m_urgentTimer.stop();
    // A player that does not read would otherwise have us pile up lists
    // without end; it gets the latest state once it has caught up.
    if (m_backlog && m_backlog() > maxBacklogBytes) {
        m_statusSkipped = true;
        return;
    }
    m_statusSkipped = false;
    // libtorrent did not answer within a whole tick: what we know will do.
    if (m_statusPending)
        emitStatus();
    m_statusPending = true;
    m_session->requestStatus();
}

void CoreService::emitStatus()
{
    m_statusPending = false;
    m_sinceStatus.start();
    // The periodic list is also the player's sign of life: sent when nothing
    // changed and when there are no downloads at all.
    sendRows(CoreProtocol::StatusList, m_session->statusRows(), true);
}

void CoreService::replyDrained()
{
    if (m_statusSkipped && m_playerConnected && (!m_backlog || m_backlog() <= maxBacklogBytes))
        sendStatus();
}

void CoreService::sendRows(qint32 type, const QList<QStringList> &rows, bool all)
{
    const QList<QList<QStringList>> batches = RowBuilder::batches(rows, RowBuilder::maxFrameBytes());
    for (const QList<QStringList> &batch : batches) {
        emit reply(type, batch);
        if (!all)
            break;
    }
}

void CoreService::addFailed(const QString &item, const QString &reason)
{
    // An older player could not skip a reply type it does not know.
    if (m_extendedReplies)
        emit reply(CoreProtocol::AddFailed, { { item, reason } });
}

void CoreService::sendStatusSoon()
{
    if (!m_playerConnected || m_urgentTimer.isActive())
        return;
    const qint64 since = m_sinceStatus.isValid() ? m_sinceStatus.elapsed() : urgentSpacingMs;
    m_urgentTimer.start(int(qMax<qint64>(0, urgentSpacingMs - since)));
}

void CoreService::handleRequest(qint32 type, const QStringList &arguments)
{
    qCDebug(lcCore).noquote() << "request" << type << arguments;
    switch (type) {
    case CoreProtocol::AddTorrentFile:
        addFiles(arguments);
        break;
    case CoreProtocol::AddMagnets:
        addMagnets(arguments);
        break;
    case CoreProtocol::DeleteWithFiles:
        removeAll(arguments, true);
        break;
    case CoreProtocol::RemoveFromList:
        removeAll(arguments, false);
        break;
    case CoreProtocol::StartDownloads:
        forEachHash(arguments, "resume", &TorrentSession::resume);
        break;
    case CoreProtocol::PauseDownloads:
        forEachHash(arguments, "pause", &TorrentSession::pause);
        break;
    case CoreProtocol::ResumeAll:
        m_session->resumeAll();
        break;
    case CoreProtocol::PlayingFile:
        playFile(arguments);
        break;
    case CoreProtocol::PiecePriority:
        prioritise(arguments);
        break;
    case CoreProtocol::StartupList:
        sendRows(CoreProtocol::StartupTorrents, m_session->startupRows(), false);
        break;
    case CoreProtocol::DescribeMagnets:
        describeMagnets(arguments);
        break;
    case CoreProtocol::SetSavePath:
        if (arguments.value(0).trimmed().isEmpty()) {
            qCWarning(lcCore).noquote() << "request 15 without a folder ignored";
            break;
        }
        m_session->config().setSavePath(arguments.first());
        break;
    case CoreProtocol::Ipv6On:
        m_session->config().setIpv6(true);
        break;
    case CoreProtocol::Ipv6Off:
        m_session->config().setIpv6(false);
        break;
    case CoreProtocol::ChangeChannel:
        if (arguments.size() != 1 || arguments.first().trimmed().isEmpty()) {
            qCWarning(lcCore).noquote() << "request 18 needs one channel name, got" << arguments;
            break;
        }
        emit channelChangeRequested(arguments.first());
        break;
    case CoreProtocol::AddUrls:
        addUrls(arguments);
        break;
    case CoreProtocol::SetDiskCache:
        setDiskCache(arguments);
        break;
    case CoreProtocol::ExtendedReplies:
        m_extendedReplies = true;
        if (!m_streamAddresses.isEmpty()) {
            QList<QStringList> rows;
            for (const QString &address : std::as_const(m_streamAddresses))
                rows.append({ address });
            emit reply(CoreProtocol::StreamAddress, rows);
        }
        break;
    case CoreProtocol::PrepareQuit:
        m_session->holdForQuit(true);
        m_session->saveAllResumeData();
        break;
    case CoreProtocol::RateLimits:
        setRateLimits(arguments);
        break;
    default:
        qCWarning(lcCore).noquote() << "unknown request type" << type << "ignored";
        break;
    }
}

void CoreService::addFiles(const QStringList &paths)
{
    QList<QStringList> rows;
    for (const QString &path : paths) {
        QString error;
        const QString hash = m_session->addTorrentFile(path, &error);
        if (hash.isEmpty()) {
            qCWarning(lcCore).noquote() << "torrent file not added:" << path << ":" << error;
            addFailed(path, error);
            continue;
        }
        rows.append(m_session->descriptionRow(hash));
    }
    // The player cannot use an empty list: failures are only logged.
    if (!rows.isEmpty())
        sendRows(CoreProtocol::AddedTorrents, rows, false);
}

void CoreService::addMagnets(const QStringList &uris)
{
    QList<QStringList> rows;
    for (const QString &uri : uris) {
        QString error;
        const QString hash = m_session->addMagnet(uri, &error);
        if (hash.isEmpty()) {
            qCWarning(lcCore).noquote() << "magnet link not added:" << uri << ":" << error;
            addFailed(uri, error);
            continue;
        }
        rows.append({ hash });
        if (m_extendedReplies && !m_session->hasMetadata(hash))
            m_magnetsListed.insert(hash);
    }
    if (!rows.isEmpty())
        sendRows(CoreProtocol::AddedMagnets, rows, false);
}

void CoreService::addUrls(const QStringList &texts)
{
    auto *fetcher = new TorrentFetcher(m_settings.loopback, this);
    connect(fetcher, &TorrentFetcher::finished, this,
        [this, fetcher](const QList<TorrentFetcher::Result> &results) {
            fetcher->deleteLater();
            QList<QStringList> rows;
            for (const TorrentFetcher::Result &result : results) {
                if (!result.error.isEmpty()) {
                    qCWarning(lcCore).noquote()
                        << "torrent address failed:" << result.text << ":" << result.error;
                    addFailed(result.text, result.error);
                    continue;
                }
                QString error;
                const QString hash = m_session->addTorrentData(result.data, &error);
                if (hash.isEmpty()) {
                    qCWarning(lcCore).noquote()
                        << "no torrent at" << result.url.toDisplayString() << ":" << error;
                    addFailed(result.text, error);
                    continue;
                }
                if (!result.commentUrl.isEmpty()) {
                    Preferences prefs;
                    prefs.setValue(QStringLiteral("/comment_url/") + hash, result.commentUrl);
                    prefs.sync();
                }
                rows.append(m_session->descriptionRow(hash));
            }
            if (!rows.isEmpty())
                sendRows(CoreProtocol::AddedUrls, rows, false);
        });
    fetcher->fetch(texts);
}

void CoreService::describeMagnets(const QStringList &hashes)
{
    QList<QStringList> rows;
    for (const QString &hash : hashes) {
        const QStringList row = m_session->descriptionRow(hash);
        if (!row.isEmpty())
            rows.append(row);
    }
    // Nothing yet: the player asks again with the next status list.
    if (!rows.isEmpty())
        sendRows(CoreProtocol::MagnetDescriptions, rows, true);
}

void CoreService::forEachHash(
    const QStringList &hashes, const char *what, bool (TorrentSession::*action)(const QString &))
{
    for (const QString &hash : hashes) {
        if (!TorrentSession::isHash(hash) || !(m_session->*action)(hash))
            qCWarning(lcCore).noquote() << what << "ignored for unknown download" << hash;
    }
}

void CoreService::removeAll(const QStringList &hashes, bool withFiles)
{
    for (const QString &hash : hashes) {
        if (!TorrentSession::isHash(hash) || !m_session->remove(hash, withFiles))
            qCWarning(lcCore).noquote()
                << (withFiles ? "delete" : "remove") << "ignored for unknown download" << hash;
    }
}

void CoreService::playFile(const QStringList &arguments)
{
    int fileRow = 0;
    if (arguments.size() != 2 || !TorrentSession::isHash(arguments.at(0))
        || !toInt(arguments.at(1), &fileRow)) {
        qCWarning(lcCore).noquote() << "request 9 needs [hash, file index], got" << arguments;
        return;
    }
    QString error;
    if (!m_session->scheduler()->setPlayedFile(arguments.at(0), fileRow, &error))
        qCWarning(lcCore).noquote() << "played file not set for" << arguments.at(0) << ":" << error;
}

void CoreService::prioritise(const QStringList &arguments)
{
    int numbers[3] = {};
    if (arguments.size() != 4 || !TorrentSession::isHash(arguments.at(0))
        || !toInt(arguments.at(1), &numbers[0]) || !toInt(arguments.at(2), &numbers[1])
        || !toInt(arguments.at(3), &numbers[2])) {
        qCWarning(lcCore).noquote() << "request 11 needs [hash, file start, first wanted, file end], got"
                                    << arguments;
        return;
    }
    QString error;
    if (!m_session->scheduler()->setStreamingWindow(
            arguments.at(0), numbers[0], numbers[1], numbers[2], &error))
        qCWarning(lcCore).noquote() << "streaming window not set for" << arguments.at(0) << ":" << error;
}

void CoreService::setDiskCache(const QStringList &arguments)
{
    int megabytes = 0;
    if (arguments.size() != 1 || !toInt(arguments.first(), &megabytes) || megabytes <= 0) {
        qCWarning(lcCore).noquote() << "request 20 needs a size in MB, got" << arguments;
        return;
    }
    m_session->config().setDiskCache(unsigned(megabytes));
}

void CoreService::setRateLimits(const QStringList &arguments)
{
    int numbers[3] = {};
    if (arguments.size() != 3 || !toInt(arguments.at(0), &numbers[0]) || !toInt(arguments.at(1), &numbers[1])
        || !toInt(arguments.at(2), &numbers[2]) || numbers[0] < 0 || numbers[1] < 0 || numbers[2] < 0) {
        qCWarning(lcCore).noquote() << "rate limits need [download KiB/s, upload KiB/s, connections], got"
                                    << arguments;
        return;
    }
    qCInfo(lcCore).noquote() << "rate limits: download" << numbers[0] << "KiB/s, upload" << numbers[1]
                             << "KiB/s, connections" << numbers[2];
    m_session->config().setRateLimits(unsigned(numbers[0]), unsigned(numbers[1]), unsigned(numbers[2]));
}
