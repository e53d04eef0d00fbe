#pragma once

#include "protocol/coreprotocol.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class ClientRequestTHread;
class CorePrompt;

// The one way into the core for the rest of the player: requests come in as
// signals, replies go out as signals, the connection thread does the work.
class ClientAgent : public QObject
{
    Q_OBJECT

public:
    explicit ClientAgent(QObject *parent = nullptr);
    ~ClientAgent() override;

    // For tuning in tests (time-outs, the prompt's asker) and for checks.
    ClientRequestTHread *requestThread() const { return thread; }
    CorePrompt *prompt() const { return m_prompt; }
    // "http://127.0.0.1:PORT/TOKEN/": a download's file is at HASH/INDEX/NAME
    // under it. Empty when the core serves no stream.
    QString streamAddress() const { return m_streamAddress; }
    // The same for other machines of the local network; usually empty.
    QString networkStreamAddress() const { return m_networkStreamAddress; }

signals:
    // A request with one argument travels as a one-element list.
    void sessionRequest(CoreProtocol::RequestType requestType, QStringList arguments);
    void sessionRequestChecked(CoreProtocol::RequestType requestType, QStringList arguments);
    void startupTorrent(QList<QStringList> list);
    void addedReturn(int type, QList<QStringList> list);
    void torrentDataSet(QList<QStringList> data);
    void serverStateCheck(QString newChannelName);
    void _rebuildConnection();
    void _disconnectFromServerBeforeQuit();
    void replyTimeOutCheckHold();
    void replyTimeOutCheckReset();
    void webRequestCheck();
    void serverReadyToClose();
    void prepBuildItemForUrl(QStringList urlList, QStringList itemIDList);
    void buildTemporaryItem(int);
    // A torrent file, magnet link or address (as it was requested) that the
    // core could not add, and why.
    void addFailed(QString item, QString reason);
    // A piece (of the torrent) of the played file was written.
    void pieceFinished(QString hash, int piece);
    // The core went away: rates and states it reported no longer hold.
    void connectionLost();
    // Where the core serves the downloads' files to other players (see
    // streamAddress()); empty while no core told us.
    void streamAddressChanged(QString address, QString networkAddress);

public slots:
    void sessionRequestPreCheck(CoreProtocol::RequestType requestType, QStringList list);

private slots:
    void addFailedRows(const QList<QStringList> &rows);
    void pieceFinishedRows(const QList<QStringList> &rows);
    void streamAddressRows(const QList<QStringList> &rows);
    void forgetStreamAddress();
    void tellPlayback();

private:
    ClientRequestTHread *thread;
    CorePrompt *m_prompt;
    // The last played file and piece range sent, for a core that joins later.
    QStringList m_playedFile;
    QStringList m_playedRange;
    QString m_streamAddress;
    QString m_networkStreamAddress;
};
