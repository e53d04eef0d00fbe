#pragma once

#include "streamserver.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <optional>

class HttpRequest;
class QTcpSocket;

// One client of the stream server: reads its requests (GET and HEAD, one
// byte range each, one after the other on a kept-alive connection) and
// sends the file's bytes as the pieces come.
class StreamConnection : public QObject
{
    Q_OBJECT

public:
    // Takes the socket.
    StreamConnection(QTcpSocket *socket, StreamServer *server);

    // A piece it waited for is at hand.
    void pieceReady(int piece, const QByteArray &data);
    // The download went away or its piece could not be read: an answer
    // already begun cannot be finished.
    void fail();

private:
    void readRequests();
    void answer(const HttpRequest &request);
    // An error status without body, and the connection closes.
    void refuse(int status, const QByteArray &extra = QByteArray());
    void sendHead(int status, const QList<QByteArray> &fields);
    void pump();
    void finishAnswer();

    QTcpSocket *m_socket;
    StreamServer *m_server;
    QByteArray m_buffer;
    QTimer m_idle;
    std::optional<StreamServer::File> m_file;
    qint64 m_next = 0; // next byte of the file to send
    qint64 m_end = 0; // one past the last
    // The piece being sent, held while the cache may let it go.
    int m_heldPiece = -1;
    QByteArray m_held;
    bool m_sending = false;
    bool m_waiting = false;
    bool m_keepAlive = true;
    bool m_closing = false;
};
