#pragma once

#include "protocol/coreprotocol.h"
#include "protocol/replyreader.h"
#include "settings/preferences.h"

#include <QList>
#include <QLocalSocket>
#include <QStringList>
#include <QThread>
#include <QTimer>

// The player's one connection to MorvaneCore. The QThread only runs an idle
// event loop: this object, its socket and timers live in the GUI thread, so
// every slot runs there and no locking is needed. Questions to the user are
// asked elsewhere (CorePrompt): this object only announces coreLost() and
// replyTimedOut() and acts on the answer when it comes.
class ClientRequestTHread : public QThread
{
    Q_OBJECT

public:
    enum class State {
        Unconnected, // nothing under way; the reconnect timer may be running
        Connecting, // a connect that did not finish at once settles through connected()
        Connected,
        Rejoining, // still writing out to the old channel: connect once it is gone
        AskingLost, // the core went away; waiting for the user's answer
        AskingTimeout, // the core went silent; waiting for the user's answer
        Quitting, // disconnected before quitting: the socket's signals are ignored
    };
    Q_ENUM(State)

    enum class Answer { Remember, Yes, No, Dismissed };

    explicit ClientRequestTHread(QObject *parent = nullptr);
    ~ClientRequestTHread() override;

    // Used by objects created later; tests set them so that no minute passes.
    static void setDefaultIntervals(int reconnectMs, int replyTimeoutMs);

    void setReconnectInterval(int ms) { reconnectTimer.setInterval(ms); }
    void setReplyTimeout(int ms) { replyTimer->setInterval(ms); }

    State state() const { return m_state; }
    QString channelName() const { return currentServerName; }
    bool isConnected() const { return socket->state() == QLocalSocket::ConnectedState; }
    bool isReplyTimerActive() const { return replyTimer->isActive(); }

signals:
    void startupTorrent(QList<QStringList> list);
    void addedReturn(int type, QList<QStringList> list);
    void torrentDataSet(QList<QStringList> data);
    void serverStateCheck(QString _newChannelName = QString(QLatin1String("")));
    void webRequestCheck();
    void serverReadyToClose();
    // Rows [item, reason] of what the core could not add.
    void addFailedRows(QList<QStringList> rows);
    void pieceFinishedRows(QList<QStringList> rows);
    void streamAddressRows(QList<QStringList> rows);
    // Questions for the user; each is answered through the slot below.
    void coreLost();
    void replyTimedOut();
    // The connection to the core broke; what the core reported is stale now.
    void connectionLost();

public slots:
    void tryToConn();
    void sendRequest(CoreProtocol::RequestType type, QStringList list);
    void disconnectFromServerBeforeQuit();
    void replyTimeOutCheckHold();
    void replyTimeOutCheckReset();
    void recvCheck();
    void serverLostProcess();
    void replyTimeOutProcess();
    void socketErrorCheck(QLocalSocket::LocalSocketError error);
    void socketStateCheck(QLocalSocket::LocalSocketState state);
    void coreLostAnswered(ClientRequestTHread::Answer answer);
    void replyTimedOutAnswered(ClientRequestTHread::Answer answer);

private:
    bool isAsking() const { return m_state == State::AskingLost || m_state == State::AskingTimeout; }
    bool errorHandlingEnabled() const { return m_state != State::Quitting; }
    bool stateHandlingEnabled() const { return m_state != State::Quitting; }
    void setState(State state);
    // The state a finished question leaves behind.
    void settle();
    void connectionMade();
    void queueServerLost();
    void restartCore();
    void changeChannel();
    void writeFrame(int type, const QStringList &list);
    void reloadServerName();

    QLocalSocket *socket;
    QTimer reconnectTimer;
    bool startupListReceived = false;
    QTimer *replyTimer;
    QString configuredServerName;
    QString currentServerName;
    // The channel the player has just named (for a core it started, or in a
    // move it asked for): dialled until a core answers there, whatever the
    // settings still say.
    QString m_namedChannel;
    bool serverLostAttitude = false;
    bool replyTimeOutAttitude = false;
    Preferences pref;

    ReplyReader m_reader;
    State m_state = State::Unconnected;
    // A peer that closes is still "connected" while its error is reported:
    // the check runs once the socket has settled, and only once.
    QTimer m_lostCheck;
};
