#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

class QSslConfiguration;
class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests: serves canned responses by
// path and records every request line it saw.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    explicit HttpServer(QObject *parent = nullptr);
    ~HttpServer() override;

    bool listen();
    // The same over TLS with this certificate and key.
    bool listen(const QSslConfiguration &tls);
    quint16 port() const;
    // "http://127.0.0.1:<port>" + path ("https://" over TLS)
    QUrl url(const QString &path) const;
    // host:port, for settings that hold a bare server name
    QString hostAndPort() const;

    void serve(const QString &path, const QByteArray &body,
        const QByteArray &contentType = "application/octet-stream");
    void serve(const QString &path, const Response &response);
    void redirect(const QString &path, const QString &location, int status = 302);

    // Paths requested so far, in order.
    QStringList requestedPaths() const { return m_requested; }

signals:
    void requested(const QString &path);

private:
    void accept();
    void handle(QTcpSocket *socket);

    QTcpServer *m_server;
    bool m_tls = false;
    QHash<QString, Response> m_routes;
    QStringList m_requested;
};
