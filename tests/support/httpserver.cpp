#include "httpserver.h"

#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

HttpServer::HttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpServer::accept);
}

void HttpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handle(socket); });
    }
}

bool HttpServer::listen(const QSslConfiguration &tls)
{
    delete m_server;
    auto *server = new QSslServer(this);
    server->setSslConfiguration(tls);
    m_server = server;
    m_tls = true;
    // Encrypted connections are announced once their handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::accept);
    return listen();
}

HttpServer::~HttpServer() = default;

bool HttpServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 HttpServer::port() const
{
    return m_server->serverPort();
}

QUrl HttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(port())
                    .arg(path));
}

QString HttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

void HttpServer::serve(const QString &path, const QByteArray &body, const QByteArray &contentType)
{
    Response response;
    response.body = body;
    response.headers.append({ "Content-Type", contentType });
    m_routes.insert(path, response);
}

void HttpServer::serve(const QString &path, const Response &response)
{
    m_routes.insert(path, response);
}

void HttpServer::redirect(const QString &path, const QString &location, int status)
{
    Response response;
    response.status = status;
    response.headers.append({ "Location", location.toUtf8() });
    m_routes.insert(path, response);
}

void HttpServer::handle(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("buffer", QByteArray());
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QString path = requestLine.size() > 1 ? QString::fromUtf8(requestLine.at(1)) : QString();
    m_requested.append(path);
    emit requested(path);

    const auto route = m_routes.constFind(path);
    Response response;
    if (route == m_routes.constEnd()) {
        response.status = 404;
        response.body = "not found";
    } else {
        response = *route;
    }
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\n";
    for (const auto &[name, value] : response.headers)
        reply += name + ": " + value + "\r\n";
    reply += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    reply += response.body;
    socket->write(reply);
    socket->disconnectFromHost();
}
