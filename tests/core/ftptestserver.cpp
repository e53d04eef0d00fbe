#include "ftptestserver.h"

#include <QPointer>
#include <QTcpSocket>

FtpTestServer::FtpTestServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_control, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_control.nextPendingConnection())
            session(socket);
    });
}

bool FtpTestServer::listen()
{
    return m_control.listen(QHostAddress::LocalHost, 0);
}

void FtpTestServer::session(QTcpSocket *control)
{
    connect(control, &QTcpSocket::disconnected, control, &QObject::deleteLater);
    auto *data = new QTcpServer(control);
    auto pending = std::make_shared<QByteArray>();
    auto haveFile = std::make_shared<bool>(false);
    auto send = [control, data, pending, haveFile] {
        // A client may connect before RETR: the connection waits for it.
        if (!*haveFile || !data->hasPendingConnections())
            return false;
        QTcpSocket *peer = data->nextPendingConnection();
        peer->write(*pending);
        peer->disconnectFromHost();
        control->write("226 Transfer complete\r\n");
        *haveFile = false;
        return true;
    };
    connect(data, &QTcpServer::newConnection, control, [data, send] {
        if (!send())
            data->pauseAccepting(); // keep it until RETR
    });
    control->write("220 test server\r\n");
    connect(control, &QTcpSocket::readyRead, this, [this, control, data, pending, haveFile, send] {
        while (control->canReadLine()) {
            const QString line = QString::fromLatin1(control->readLine()).trimmed();
            m_commands.append(line);
            const QString verb = line.section(' ', 0, 0).toUpper();
            const QString argument = line.section(' ', 1);
            if (verb == "USER") {
                control->write("331 password please\r\n");
            } else if (verb == "PASS") {
                control->write("230 logged in\r\n");
            } else if (verb == "PWD") {
                control->write("257 \"/\" is the current directory\r\n");
            } else if (verb == "TYPE") {
                control->write("200 type set\r\n");
            } else if (verb == "PASV") {
                data->listen(QHostAddress::LocalHost, 0);
                const quint16 p = data->serverPort();
                control->write(QStringLiteral("227 Entering Passive Mode (127,0,0,1,%1,%2)\r\n")
                                   .arg(p / 256)
                                   .arg(p % 256)
                                   .toLatin1());
            } else if (verb == "RETR") {
                // Paths without a leading "/" are relative to the login folder, "/".
                const QString path = argument.startsWith('/') ? argument : '/' + argument;
                if (!m_files.contains(path)) {
                    control->write("550 no such file\r\n");
                    continue;
                }
                *pending = m_files.value(path);
                *haveFile = true;
                control->write("150 opening data connection\r\n");
                if (data->hasPendingConnections())
                    send();
            } else if (verb == "QUIT") {
                control->write("221 bye\r\n");
                control->disconnectFromHost();
            } else {
                control->write("502 not implemented\r\n");
            }
        }
    });
}
