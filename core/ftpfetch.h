#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

// Fetches one file over FTP (passive mode, binary), which Qt 6's network
// access no longer does. The data connection always goes to the control
// connection's host, whatever address the server names, so a server cannot
// point the core at another machine.
class FtpFetch : public QObject
{
    Q_OBJECT

public:
    FtpFetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *parent = nullptr);

    void start();

signals:
    // error is empty on success.
    void finished(const QByteArray &data, const QString &error);

private:
    enum class Step { Greeting, User, Password, Type, Passive, Retrieve, Transfer, Done };

    void readControl();
    void reply(int code, const QString &text);
    void command(const QByteArray &line, Step next);
    void openData(const QString &text);
    void readData();
    void finishIfComplete();
    void fail(const QString &error);

    QUrl m_url;
    qint64 m_maxBytes;
    QTcpSocket *m_control;
    QTcpSocket *m_data = nullptr;
    QTimer m_timeout;
    Step m_step = Step::Greeting;
    QByteArray m_lineBuffer;
    QByteArray m_received;
    bool m_dataClosed = false;
    bool m_transferConfirmed = false;
};
