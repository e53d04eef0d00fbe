#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class ClientRequestTHread;

// The one way into the core for the rest of the player: requests come in as
// signals, replies go out as signals, the connection thread does the work.
class ClientAgent : public QObject
{
    Q_OBJECT

public:
    explicit ClientAgent(QObject *parent = nullptr);
    ~ClientAgent() override;

    // For tuning in tests (time-outs, the box asker) and for checks.
    ClientRequestTHread *requestThread() const { return thread; }

signals:
    void sessionRequest(int requestType, QStringList);
    void sessionRequest(int requestType, QString = QString(QLatin1String("")));
    void sessionRequestChecked(int, QStringList);
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

public slots:
    void sessionRequestPreCheck(int requestType, QStringList list);

private slots:
    void addFailedRows(const QList<QStringList> &rows);

private:
    ClientRequestTHread *thread;
};
