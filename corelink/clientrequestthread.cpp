#include "corelink/clientrequestthread.h"

#include "corelink/coreprotocol.h"
#include "platform/logging.h"

#include <QPointer>
#include <QPushButton>

namespace {

ClientRequestTHread::Asker &defaultAsker()
{
    static ClientRequestTHread::Asker asker;
    return asker;
}

int defaultReconnectMs = 1000;
int defaultReplyTimeoutMs = 60000;

const char *socketErrorName(QLocalSocket::LocalSocketError error)
{
    switch (error) {
    case QLocalSocket::ConnectionRefusedError:
        return "ConnectionRefusedError..";
    case QLocalSocket::PeerClosedError:
        return "PeerClosedError..";
    case QLocalSocket::SocketAccessError:
        return "SocketAccessError..";
    case QLocalSocket::SocketResourceError:
        return "SocketResourceError..";
    case QLocalSocket::SocketTimeoutError:
        return "SocketTimeoutError..";
    case QLocalSocket::DatagramTooLargeError:
        return "DatagramTooLargeError..";
    case QLocalSocket::UnknownSocketError:
        return "UnknownSocketError..";
    case QLocalSocket::UnsupportedSocketOperationError:
        return "UnsupportedSocketOperationError..";
    default:
        return nullptr;
    }
}

} // namespace

void ClientRequestTHread::setDefaultAsker(const Asker &asker)
{
    defaultAsker() = asker;
}

void ClientRequestTHread::setDefaultIntervals(int reconnectMs, int replyTimeoutMs)
{
    defaultReconnectMs = reconnectMs;
    defaultReplyTimeoutMs = replyTimeoutMs;
}

ClientRequestTHread::ClientRequestTHread(QObject *parent)
    : QThread(parent)
    , socket(new QLocalSocket(this))
    , replyTimer(new QTimer(this))
    , m_asker(defaultAsker())
{
    reconnectTimer.setInterval(defaultReconnectMs);
    reconnectTimer.setSingleShot(true);
    pref.sync();
    qCDebug(lcCorelink).noquote() << "pref.fileName()==" << pref.fileName();
    configuredServerName = pref.getBackServerName();
    currentServerName = configuredServerName;
    qCDebug(lcCorelink).noquote() << "ServerName =" << currentServerName;

    // started() comes from the new thread; both calls are queued to the GUI
    // thread, where this object lives.
    connect(this, &QThread::started, this, [this] { emit serverStateCheck(QString(QLatin1String(""))); });
    connect(this, &QThread::started, this, &ClientRequestTHread::tryToConn);
    connect(&reconnectTimer, &QTimer::timeout, this, &ClientRequestTHread::tryToConn);
    connect(socket, &QLocalSocket::readyRead, this, &ClientRequestTHread::recvCheck);
    connect(socket, &QLocalSocket::connected, this, [this] {
        if (m_connectPending)
            connectionMade();
    });

    buildBox(
        lostBox, tr("We have lost the back-server(MorvaneCore.exe).."), tr("Do you wanna re-start it ?"));
    serverLostAttitude = pref.getBackServerLostAttitude();
    buildBox(timeoutBox, tr("The reply from MorvaneCore timeout, MorvaneCore may lost.."),
        QStringLiteral("Do you wanna re-start it ?"));
    replyTimeOutAttitude = pref.getBackReplyTimeOutAttitude();

    replyTimer->setInterval(defaultReplyTimeoutMs);
    connect(replyTimer, &QTimer::timeout, this, &ClientRequestTHread::replyTimeOutProcess);
    connect(socket, &QLocalSocket::stateChanged, this, &ClientRequestTHread::socketStateCheck);
    connect(socket, &QLocalSocket::errorOccurred, this, &ClientRequestTHread::socketErrorCheck);
}

ClientRequestTHread::~ClientRequestTHread()
{
    // Nothing may answer the socket's last signals while members go away.
    errorHandlingEnabled = false;
    stateHandlingEnabled = false;
    socket->disconnect(this);
    quit();
    wait();
}

void ClientRequestTHread::buildBox(QMessageBox &box, const QString &text, const QString &informative)
{
    box.setText(text);
    box.setInformativeText(informative);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    rememberButton = box.addButton(tr("Yes,and remember my choice"), QMessageBox::AcceptRole);
    box.setDefaultButton(rememberButton);
    box.setEscapeButton(QMessageBox::No);
}

int ClientRequestTHread::ask(QMessageBox &box)
{
    m_asking = true;
    const int answer = m_asker ? m_asker(box) : box.exec();
    m_asking = false;
    return answer;
}

void ClientRequestTHread::reloadServerName()
{
    pref.sync();
    currentServerName = pref.getBackServerName();
    qCDebug(lcCorelink).noquote() << "Now change the serverName as" << currentServerName;
}

void ClientRequestTHread::tryToConn()
{
    switch (socket->state()) {
    case QLocalSocket::UnconnectedState:
        break;
    case QLocalSocket::ClosingState:
        // Still writing out to the old channel: connect once it is gone.
        m_reconnectWanted = true;
        return;
    default:
        // Connected, or a connect that finishes later reports itself.
        return;
    }
    qCDebug(lcCorelink).noquote() << "Try to connect at server :" << currentServerName;
    m_reader.clear();
    m_connectPending = true;
    socket->connectToServer(CoreProtocol::socketName(currentServerName), QIODevice::ReadWrite);
    // connected() may already have reported the connection.
    if (!m_connectPending)
        return;
    if (socket->state() == QLocalSocket::ConnectedState)
        connectionMade();
    else if (socket->state() == QLocalSocket::UnconnectedState) {
        m_connectPending = false;
        reconnectTimer.start();
    }
}

void ClientRequestTHread::connectionMade()
{
    m_connectPending = false;
    reconnectTimer.stop();
    qCDebug(lcCorelink).noquote() << "Connect to server at " << currentServerName << " success..";
    if (!startupListReceived)
        sendRequest(CoreProtocol::StartupList, QString(QLatin1String("")));
    // The core keeps our own reply types from a player that has not asked,
    // and forgets the asking with each connection.
    sendRequest(CoreProtocol::ExtendedReplies, QStringList());
    replyTimer->start();
    emit webRequestCheck();
}

void ClientRequestTHread::sendRequest(int type, QString _request)
{
    sendRequest(type, QStringList { _request });
}

void ClientRequestTHread::sendRequest(int type, QStringList list)
{
    if (socket->serverName() != CoreProtocol::socketName(currentServerName)) {
        qCDebug(lcCorelink).noquote() << "ServerName ERROR...wrong error server name..";
        socket->disconnectFromServer();
        tryToConn();
        return;
    }
    writeFrame(type, list);
}

void ClientRequestTHread::writeFrame(int type, const QStringList &list)
{
    socket->write(CoreProtocol::encodeRequest(type, list));
    socket->flush();
}

void ClientRequestTHread::disconnectFromServerBeforeQuit()
{
    replyTimer->stop();
    reconnectTimer.stop();
    m_reconnectWanted = false;
    errorHandlingEnabled = false;
    stateHandlingEnabled = false;
    socket->disconnectFromServer();
}

void ClientRequestTHread::replyTimeOutCheckHold()
{
    replyTimer->stop();
}

void ClientRequestTHread::replyTimeOutCheckReset()
{
    replyTimer->start();
}

void ClientRequestTHread::recvCheck()
{
    m_reader.append(socket->readAll());
    const QPointer<ClientRequestTHread> alive(this);
    CoreReply reply;
    FrameReader::Status status;
    while ((status = m_reader.next(reply)) == FrameReader::FrameReady) {
        replyTimer->start();
        switch (reply.type) {
        case CoreProtocol::AddedTorrents:
        case CoreProtocol::AddedUrls:
            emit addedReturn(CoreProtocol::AddedTorrents, reply.rows);
            break;
        case CoreProtocol::AddedMagnets:
        case CoreProtocol::MagnetDescriptions:
            emit addedReturn(reply.type, reply.rows);
            break;
        case CoreProtocol::StartupTorrents:
            // Only the first list of a run builds the downloads list.
            if (!startupListReceived) {
                startupListReceived = true;
                emit startupTorrent(reply.rows);
            }
            break;
        case CoreProtocol::StatusList:
            emit torrentDataSet(reply.rows);
            break;
        case CoreProtocol::ReadyToClose:
            emit serverReadyToClose();
            break;
        case CoreProtocol::AddFailed:
            emit addFailedRows(reply.rows);
            break;
        default:
            break;
        }
        // A receiver may have quit, disconnected or deleted us meanwhile.
        if (!alive || socket->state() != QLocalSocket::ConnectedState)
            return;
    }
    if (status == FrameReader::Corrupt) {
        qCWarning(lcCorelink).noquote()
            << "Error : broken reply from server, dropping the connection.." << m_reader.errorString();
        socket->abort();
        if (errorHandlingEnabled)
            queueServerLost();
    }
}

void ClientRequestTHread::queueServerLost()
{
    // Runs once the socket has settled: a peer that closes is still
    // "connected" while its error is being reported.
    if (m_lostQueued)
        return;
    m_lostQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_lostQueued = false;
            if (errorHandlingEnabled)
                serverLostProcess();
        },
        Qt::QueuedConnection);
}

void ClientRequestTHread::serverLostProcess()
{
    qCDebug(lcCorelink).noquote() << "\t socket state ==" << socket->state();
    if (socket->state() == QLocalSocket::ConnectedState || m_asking)
        return;
    qCDebug(lcCorelink).noquote() << "\t error!! socket is not connected yet...";
    replyTimer->stop();
    if (!serverLostAttitude) {
        const int answer = ask(lostBox);
        if (!errorHandlingEnabled)
            return; // the player began to quit while the box was open
        if (answer == 0) {
            serverLostAttitude = true;
            pref.setBackServerLostAttitude(true);
            pref.setBackServerLostWarnShow(false);
            pref.sync();
        } else if (answer != QMessageBox::Yes) {
            return;
        }
    }
    qCDebug(lcCorelink).noquote() << "\t fault process : server suddenly turn down..";
    socket->abort();
    socket->disconnectFromServer();
    socket->close();
    currentServerName += QLatin1Char('+');
    emit serverStateCheck(currentServerName);
}

void ClientRequestTHread::replyTimeOutProcess()
{
    // The timer keeps running while the box is open; one question at a time.
    if (m_asking)
        return;
    qCDebug(lcCorelink).noquote()
        << "\t fault process : try to deal the reply timeout problem by change data channel..";
    if (replyTimeOutAttitude) {
        qCDebug(lcCorelink).noquote() << "\t replyTimeOutAttitude is true : auto process without warning..";
    } else {
        qCDebug(lcCorelink).noquote()
            << "\t replyTimeOutAttitude is false : ask user to authorize to process..";
        const int answer = ask(timeoutBox);
        if (!errorHandlingEnabled)
            return;
        if (answer == 0) {
            replyTimeOutAttitude = true;
            pref.setBackReplyTimeOutAttitude(true);
            pref.setBackReplyTimeOutWarnShow(false);
            pref.sync();
        } else if (answer == QMessageBox::No) {
            replyTimer->stop();
            return;
        } else if (answer != QMessageBox::Yes) {
            return;
        }
    }
    currentServerName += QLatin1Char('+');
    // Still connected to the old name, so this one skips the name check.
    writeFrame(CoreProtocol::ChangeChannel, QStringList { currentServerName });
}

void ClientRequestTHread::socketErrorCheck(QLocalSocket::LocalSocketError error)
{
    if (!errorHandlingEnabled)
        return;
    switch (error) {
    case QLocalSocket::ServerNotFoundError:
        qCDebug(lcCorelink).noquote() << "ServerNotFoundError..";
        reloadServerName();
        break;
    case QLocalSocket::ConnectionError:
        qCDebug(lcCorelink).noquote() << "ConnectionError..";
        queueServerLost();
        break;
    default:
        if (const char *name = socketErrorName(error))
            qCDebug(lcCorelink).noquote() << name;
#ifndef Q_OS_WIN
        // A local socket reports a core that died as a closed peer here,
        // where a named pipe reports a connection error.
        if (error == QLocalSocket::PeerClosedError && !m_connectPending)
            queueServerLost();
#endif
        break;
    }
}

void ClientRequestTHread::socketStateCheck(QLocalSocket::LocalSocketState state)
{
    if (!stateHandlingEnabled)
        return;
    switch (state) {
    case QLocalSocket::ConnectedState:
        qCDebug(lcCorelink).noquote() << "ConnectedState..";
        break;
    case QLocalSocket::ConnectingState:
        qCDebug(lcCorelink).noquote() << "ConnectingState..";
        break;
    case QLocalSocket::ClosingState:
        qCDebug(lcCorelink).noquote() << "ClosingState..";
        break;
    case QLocalSocket::UnconnectedState:
        qCDebug(lcCorelink).noquote() << "UnconnectedState..";
        reloadServerName();
        if (m_connectPending) {
            // A connect that was still under way has failed.
            m_connectPending = false;
            reconnectTimer.start();
        }
        if (m_reconnectWanted) {
            m_reconnectWanted = false;
            QMetaObject::invokeMethod(this, &ClientRequestTHread::tryToConn, Qt::QueuedConnection);
        }
        break;
    }
}
