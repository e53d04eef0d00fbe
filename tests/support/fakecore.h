#pragma once

#include "protocol/coreprotocol.h"
#include "protocol/requestreader.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QLocalSocket;

// A scripted MorvaneCore for tests: a QLocalServer on a channel name that
// records every request frame from its client and sends whatever replies
// the test asks for, whole, split, in bursts, or not at all.
class FakeCore : public QObject
{
    Q_OBJECT

public:
    explicit FakeCore(QObject *parent = nullptr);
    ~FakeCore() override;

    // A channel name no other test process will use.
    static QString uniqueChannelName(const QString &stem = QStringLiteral("MorvaneTestCore"));

    // Listens under name; a server already listening moves there, keeping
    // its client (as a core does when asked to change its channel).
    bool listen(const QString &name);
    void stopListening();
    QString channelName() const { return m_name; }

    bool hasClient() const;
    int connectionCount() const { return m_connections; }
    bool waitForClient(int timeoutMs = 5000);
    bool waitForConnectionCount(int count, int timeoutMs = 5000);
    bool waitForRequests(int count, int timeoutMs = 5000);

    QList<CoreRequest> requests() const { return m_requests; }
    QList<CoreRequest> requestsOfType(int type) const;
    QByteArray receivedBytes() const { return m_received; }
    void clearRecorded();

    void reply(int type, const QList<QStringList> &rows = {});
    void sendRaw(const QByteArray &bytes);
    // Sends bytes in pieces cut at the given offsets, gapMs apart, so that
    // the client reads them in separate reads.
    void sendInPieces(const QByteArray &bytes, const QList<qsizetype> &cuts, int gapMs = 20);
    // Answers every later request of requestType with these bytes.
    void answer(int requestType, const QByteArray &replyBytes) { m_answers.insert(requestType, replyBytes); }
    // Breaks the connection without a goodbye.
    void dropClient();

signals:
    void clientConnected();
    void clientDisconnected();
    void requestReceived(CoreRequest request);
    void badRequest(QString why);

private:
    void accept();
    void readClient();

    QLocalServer *m_server;
    QPointer<QLocalSocket> m_client;
    RequestReader m_reader;
    QString m_name;
    int m_connections = 0;
    QList<CoreRequest> m_requests;
    QByteArray m_received;
    QHash<int, QByteArray> m_answers;
};
