#include "corelink/clientagent.h"

#include "corelink/clientrequestthread.h"
#include "corelink/coreprompt.h"
#include "platform/logging.h"

#include <QUrl>

ClientAgent::ClientAgent(QObject *parent)
    : QObject(parent)
    , thread(new ClientRequestTHread(this))
    , m_prompt(new CorePrompt(thread, this))
{
    using Thread = ClientRequestTHread;
    connect(this, &ClientAgent::sessionRequest, this, &ClientAgent::sessionRequestPreCheck);
    connect(this, &ClientAgent::sessionRequestChecked, thread, &Thread::sendRequest);

    // replies and core state, passed on as they are
    connect(thread, &Thread::startupTorrent, this, &ClientAgent::startupTorrent);
    connect(thread, &Thread::torrentDataSet, this, &ClientAgent::torrentDataSet);
    connect(thread, &Thread::addedReturn, this, &ClientAgent::addedReturn);
    connect(thread, &Thread::serverStateCheck, this, &ClientAgent::serverStateCheck);
    // Connected first: a new core learns what plays before the window acts on
    // the connection.
    connect(thread, &Thread::webRequestCheck, this, &ClientAgent::tellPlayback);
    connect(thread, &Thread::webRequestCheck, this, &ClientAgent::webRequestCheck);
    connect(thread, &Thread::connectionLost, this, &ClientAgent::connectionLost);
    connect(thread, &Thread::serverReadyToClose, this, &ClientAgent::serverReadyToClose);
    connect(thread, &Thread::addFailedRows, this, &ClientAgent::addFailedRows);
    connect(thread, &Thread::pieceFinishedRows, this, &ClientAgent::pieceFinishedRows);
    connect(thread, &Thread::streamAddressRows, this, &ClientAgent::streamAddressRows);
    // A core that comes back has a new token.
    connect(thread, &Thread::connectionLost, this, &ClientAgent::forgetStreamAddress);

    // the window's commands to the connection
    connect(this, &ClientAgent::_rebuildConnection, thread, &Thread::tryToConn);
    connect(
        this, &ClientAgent::_disconnectFromServerBeforeQuit, thread, &Thread::disconnectFromServerBeforeQuit);
    connect(this, &ClientAgent::replyTimeOutCheckHold, thread, &Thread::replyTimeOutCheckHold);
    connect(this, &ClientAgent::replyTimeOutCheckReset, thread, &Thread::replyTimeOutCheckReset);

    thread->start(QThread::InheritPriority);
}

ClientAgent::~ClientAgent()
{
    // Its event loop is idle, so a plain quit ends it; terminating a thread
    // can leave it holding locks.
    thread->exit(0);
    thread->wait();
    delete thread;
}

void ClientAgent::sessionRequestPreCheck(CoreProtocol::RequestType requestType, QStringList list)
{
    if (list.isEmpty()) {
        qCDebug(lcCorelink).noquote()
            << "Error : empty QStringList in sessionRequest(int,QStringList) found..";
        return;
    }
    // Each address shows as "Processing.." until the core has answered for it.
    if (requestType == CoreProtocol::AddUrls) {
        emit prepBuildItemForUrl(list, list);
        emit buildTemporaryItem(int(list.size()));
    }
    if (requestType == CoreProtocol::PlayingFile) {
        m_playedFile = list;
        // A range asked for another file means nothing for this one.
        m_playedRange.clear();
    } else if (requestType == CoreProtocol::PiecePriority) {
        m_playedRange = list;
    }
    emit sessionRequestChecked(requestType, list);
}

void ClientAgent::tellPlayback()
{
    // A core started after a loss has restored its downloads but knows
    // nothing of playback: without this, playback would wait for ever.
    if (!m_playedFile.isEmpty())
        thread->sendRequest(CoreProtocol::PlayingFile, m_playedFile);
    if (!m_playedRange.isEmpty())
        thread->sendRequest(CoreProtocol::PiecePriority, m_playedRange);
}

void ClientAgent::pieceFinishedRows(const QList<QStringList> &rows)
{
    for (const QStringList &row : rows) {
        bool ok = false;
        const int piece = row.size() == 2 ? row.at(1).toInt(&ok) : -1;
        if (ok && piece >= 0 && !row.at(0).isEmpty())
            emit pieceFinished(row.at(0), piece);
    }
}

void ClientAgent::addFailedRows(const QList<QStringList> &rows)
{
    for (const QStringList &row : rows) {
        if (row.size() != 2 || row.at(0).isEmpty()) {
            qCDebug(lcCorelink).noquote() << "\tadd-failed row without item and reason ignored:" << row;
            continue;
        }
        emit addFailed(row.at(0), row.at(1));
    }
}

void ClientAgent::streamAddressRows(const QList<QStringList> &rows)
{
    // Only an address that a file's place can be appended to.
    const auto usable = [](const QString &text) {
        const QUrl url(text, QUrl::StrictMode);
        return url.isValid() && url.scheme() == QLatin1String("http") && !url.host().isEmpty()
            && text.endsWith(QLatin1Char('/'));
    };
    const QString address = rows.value(0).value(0);
    const QString network = rows.value(1).value(0);
    m_streamAddress = usable(address) ? address : QString();
    m_networkStreamAddress = !m_streamAddress.isEmpty() && usable(network) ? network : QString();
    if (m_streamAddress.isEmpty())
        qCDebug(lcCorelink).noquote() << "\tstream address ignored:" << rows;
    emit streamAddressChanged(m_streamAddress, m_networkStreamAddress);
}

void ClientAgent::forgetStreamAddress()
{
    if (m_streamAddress.isEmpty())
        return;
    m_streamAddress.clear();
    m_networkStreamAddress.clear();
    emit streamAddressChanged(QString(), QString());
}
