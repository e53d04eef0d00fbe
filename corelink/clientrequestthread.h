#pragma once

#include "app/preferences.h"
#include "corelink/replyreader.h"

#include <QList>
#include <QLocalSocket>
#include <QMessageBox>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <functional>

class QPushButton;

// The player's one connection to MorvaneCore. The QThread only runs an idle
// event loop: this object, its socket and timers live in the GUI thread, so
// every slot runs there and no locking is needed.
class ClientRequestTHread : public QThread
{
    Q_OBJECT

public:
    // Runs a question box and returns what QMessageBox::exec() would: 0 for
    // the remember button, QMessageBox::Yes or QMessageBox::No.
    using Asker = std::function<int(QMessageBox &box)>;

    explicit ClientRequestTHread(QObject *parent = nullptr);
    ~ClientRequestTHread() override;

    // Used by objects created later; tests set them so that no modal box
    // blocks and no minute passes.
    static void setDefaultAsker(const Asker &asker);
    static void setDefaultIntervals(int reconnectMs, int replyTimeoutMs);

    void setAsker(const Asker &asker) { m_asker = asker; }
    void setReconnectInterval(int ms) { reconnectTimer.setInterval(ms); }
    void setReplyTimeout(int ms) { replyTimer->setInterval(ms); }

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

public slots:
    void tryToConn();
    void sendRequest(int type, QString _request = QString(QLatin1String("")));
    void sendRequest(int type, QStringList list);
    void disconnectFromServerBeforeQuit();
    void replyTimeOutCheckHold();
    void replyTimeOutCheckReset();
    void recvCheck();
    void serverLostProcess();
    void replyTimeOutProcess();
    void socketErrorCheck(QLocalSocket::LocalSocketError error);
    void socketStateCheck(QLocalSocket::LocalSocketState state);

private:
    void connectionMade();
    void queueServerLost();
    void writeFrame(int type, const QStringList &list);
    int ask(QMessageBox &box);
    void buildBox(QMessageBox &box, const QString &text, const QString &informative);
    void reloadServerName();

    QLocalSocket *socket;
    QTimer reconnectTimer;
    bool startupListReceived = false;
    QTimer *replyTimer;
    QString configuredServerName;
    QString currentServerName;
    QMessageBox timeoutBox;
    QMessageBox lostBox;
    QPushButton *rememberButton = nullptr;
    bool serverLostAttitude = false;
    bool replyTimeOutAttitude = false;
    bool errorHandlingEnabled = true;
    bool stateHandlingEnabled = true;
    Preferences pref;

    ReplyReader m_reader;
    Asker m_asker;
    // A connect that did not finish at once settles through connected().
    bool m_connectPending = false;
    bool m_reconnectWanted = false;
    bool m_lostQueued = false;
    bool m_asking = false;
};
