#include "corelink/clientrequestthread.h"

#include "platform/logging.h"
#include "protocol/coreprotocol.h"

#include <QPointer>

namespace {

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

void ClientRequestTHread::setDefaultIntervals(int reconnectMs, int replyTimeoutMs)
{
    defaultReconnectMs = reconnectMs;
    defaultReplyTimeoutMs = replyTimeoutMs;
}

ClientRequestTHread::ClientRequestTHread(QObject *parent)
    : QThread(parent)
    , socket(new QLocalSocket(this))
    , replyTimer(new QTimer(this))
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
        if (m_state == State::Connecting)
            connectionMade();
    });

    serverLostAttitude = pref.getBackServerLostAttitude();
    replyTimeOutAttitude = pref.getBackReplyTimeOutAttitude();
    m_lostCheck.setSingleShot(true);
    m_lostCheck.setInterval(0);
    connect(&m_lostCheck, &QTimer::timeout, this, [this] {
        if (errorHandlingEnabled())
            serverLostProcess();
    });

    replyTimer->setInterval(defaultReplyTimeoutMs);
    connect(replyTimer, &QTimer::timeout, this, &ClientRequestTHread::replyTimeOutProcess);
    connect(socket, &QLocalSocket::stateChanged, this, &ClientRequestTHread::socketStateCheck);
    connect(socket, &QLocalSocket::errorOccurred, this, &ClientRequestTHread::socketErrorCheck);
}

ClientRequestTHread::~ClientRequestTHread()
{
    // Nothing may answer the socket's last signals while members go away.
    m_state = State::Quitting;
    socket->disconnect(this);
    quit();
    wait();
}

void ClientRequestTHread::setState(State state)
{
    // Quitting is final.
    if (m_state != State::Quitting)
        m_state = state;
}

void ClientRequestTHread::settle()
{
    m_state = socket->state() == QLocalSocket::ConnectedState ? State::Connected : State::Unconnected;
}

void ClientRequestTHread::reloadServerName()
{
    pref.sync();
    // A core writes its channel when it moves, maybe after we dial: until a
    // core answers on the name we gave, the settings may still hold the old one.
    currentServerName = m_namedChannel.isEmpty() ? pref.getBackServerName() : m_namedChannel;
    qCDebug(lcCorelink).noquote() << "Now change the serverName as" << currentServerName;
}

void ClientRequestTHread::tryToConn()
{
    if (m_state == State::Quitting)
        return;
    // The answer decides what becomes of the link; ask again later.
    if (isAsking()) {
        reconnectTimer.start();
        return;
    }
    switch (socket->state()) {
    case QLocalSocket::UnconnectedState:
        break;
    case QLocalSocket::ClosingState:
        setState(State::Rejoining);
        return;
    default:
        // Connected, or a connect that finishes later reports itself.
        return;
    }
    qCDebug(lcCorelink).noquote() << "Try to connect at server :" << currentServerName;
    m_reader.clear();
    setState(State::Connecting);
    socket->connectToServer(CoreProtocol::socketName(currentServerName), QIODevice::ReadWrite);
    switch (socket->state()) {
    case QLocalSocket::ConnectedState:
        // connected() may already have reported the connection.
        if (m_state == State::Connecting)
            connectionMade();
        break;
    case QLocalSocket::UnconnectedState:
        setState(State::Unconnected);
        reconnectTimer.start();
        break;
    default:
        break;
    }
}

void ClientRequestTHread::connectionMade()
{
    setState(State::Connected);
    reconnectTimer.stop();
    m_namedChannel.clear();
    qCDebug(lcCorelink).noquote() << "Connect to server at " << currentServerName << " success..";
    if (!startupListReceived)
        sendRequest(CoreProtocol::StartupList, QStringList { QStringLiteral("") });
    // The core keeps our own reply types from a player that has not asked,
    // and forgets the asking with each connection.
    sendRequest(CoreProtocol::ExtendedReplies, QStringList());
    replyTimer->start();
    emit webRequestCheck();
}

void ClientRequestTHread::sendRequest(CoreProtocol::RequestType type, QStringList list)
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
    m_state = State::Quitting;
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
        case CoreProtocol::PieceFinished:
            emit pieceFinishedRows(reply.rows);
            break;
        case CoreProtocol::StreamAddress:
            emit streamAddressRows(reply.rows);
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
        if (errorHandlingEnabled())
            queueServerLost();
    }
}

void ClientRequestTHread::queueServerLost()
{
    m_lostCheck.start();
}

void ClientRequestTHread::serverLostProcess()
{
    qCDebug(lcCorelink).noquote() << "\t socket state ==" << socket->state();
    if (socket->state() == QLocalSocket::ConnectedState || isAsking())
        return;
    qCDebug(lcCorelink).noquote() << "\t error!! socket is not connected yet...";
    replyTimer->stop();
    emit connectionLost();
    if (serverLostAttitude) {
        restartCore();
        return;
    }
    m_state = State::AskingLost;
    emit coreLost();
}

void ClientRequestTHread::coreLostAnswered(Answer answer)
{
    // The player began to quit while the question was open.
    if (m_state != State::AskingLost)
        return;
    settle();
    if (answer == Answer::Remember) {
        serverLostAttitude = true;
        pref.setBackServerLostAttitude(true);
        pref.setBackServerLostWarnShow(false);
        pref.sync();
    } else if (answer != Answer::Yes) {
        return;
    }
    restartCore();
}

void ClientRequestTHread::restartCore()
{
    qCDebug(lcCorelink).noquote() << "\t fault process : server suddenly turn down..";
    // The new name grows from the one the settings hold now.
    m_namedChannel.clear();
    socket->abort();
    socket->disconnectFromServer();
    socket->close();
    currentServerName += QLatin1Char('+');
    m_namedChannel = currentServerName;
    emit serverStateCheck(currentServerName);
}

void ClientRequestTHread::replyTimeOutProcess()
{
    // The timer keeps running while a question is open; one at a time.
    if (isAsking())
        return;
    qCDebug(lcCorelink).noquote()
        << "\t fault process : try to deal the reply timeout problem by change data channel..";
    if (replyTimeOutAttitude) {
        qCDebug(lcCorelink).noquote() << "\t replyTimeOutAttitude is true : auto process without warning..";
        changeChannel();
        return;
    }
    qCDebug(lcCorelink).noquote() << "\t replyTimeOutAttitude is false : ask user to authorize to process..";
    m_state = State::AskingTimeout;
    emit replyTimedOut();
}

void ClientRequestTHread::replyTimedOutAnswered(Answer answer)
{
    if (m_state != State::AskingTimeout)
        return;
    settle();
    switch (answer) {
    case Answer::Remember:
        replyTimeOutAttitude = true;
        pref.setBackReplyTimeOutAttitude(true);
        pref.setBackReplyTimeOutWarnShow(false);
        pref.sync();
        break;
    case Answer::Yes:
        break;
    case Answer::No:
        replyTimer->stop();
        return;
    case Answer::Dismissed:
        return;
    }
    changeChannel();
}

void ClientRequestTHread::changeChannel()
{
    currentServerName += QLatin1Char('+');
    m_namedChannel = currentServerName;
    // Still connected to the old name, so this one skips the name check.
    writeFrame(CoreProtocol::ChangeChannel, QStringList { currentServerName });
}

void ClientRequestTHread::socketErrorCheck(QLocalSocket::LocalSocketError error)
{
    if (!errorHandlingEnabled())
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
        if (error == QLocalSocket::PeerClosedError && m_state != State::Connecting)
            queueServerLost();
#endif
        break;
    }
}

void ClientRequestTHread::socketStateCheck(QLocalSocket::LocalSocketState state)
{
    if (!stateHandlingEnabled())
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
        if (m_state == State::Connecting) {
            // A connect that was still under way has failed.
            m_state = State::Unconnected;
            reconnectTimer.start();
        } else if (m_state == State::Rejoining) {
            m_state = State::Unconnected;
            QMetaObject::invokeMethod(this, &ClientRequestTHread::tryToConn, Qt::QueuedConnection);
        } else if (m_state == State::Connected) {
            m_state = State::Unconnected;
        }
        break;
    }
}
