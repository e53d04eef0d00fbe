#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A minimal FTP server on 127.0.0.1 for tests: anonymous login, binary
// type, passive mode and RETR of the files it was given (paths from "/").
class FtpTestServer : public QObject
{
    Q_OBJECT

public:
    explicit FtpTestServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return m_control.serverPort(); }
    void serve(const QString &path, const QByteArray &body) { m_files.insert(path, body); }
    QStringList commands() const { return m_commands; }

private:
    void session(QTcpSocket *control);

    QTcpServer m_control;
    QHash<QString, QByteArray> m_files;
    QStringList m_commands;
};
