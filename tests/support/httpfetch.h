#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>

// One HTTP request written byte for byte to 127.0.0.1 (no client library
// to clean up a path on the way), and what comes back.
class HttpFetch : public QObject
{
    Q_OBJECT

public:
    // head: the request line and fields, without the blank line that ends
    // them. stopAfter: done after that many bytes of body (-1: all of it).
    HttpFetch(quint16 port, const QByteArray &head, qint64 stopAfter = -1, QObject *parent = nullptr);

    // The answer's head and body are in (or the server closed).
    bool isDone() const { return m_done; }
    bool waitDone(int timeoutMs);
    // The server closed the connection.
    bool waitClosed(int timeoutMs);

    int status() const { return m_status; }
    QByteArray header(const QByteArray &name) const;
    const QByteArray &body() const { return m_body; }
    // Bytes after the announced body: none when the server keeps to HTTP.
    const QByteArray &trailing() const { return m_trailing; }
    // From the request to the first byte of body; -1 before it.
    qint64 firstByteMs() const { return m_firstByteMs; }

private:
    void read();

    QTcpSocket m_socket;
    QElapsedTimer m_clock;
    QByteArray m_buffer;
    QByteArray m_head;
    QByteArray m_body;
    QByteArray m_trailing;
    qint64 m_length = -1;
    qint64 m_stopAfter;
    qint64 m_firstByteMs = -1;
    int m_status = 0;
    bool m_done = false;
    bool m_closed = false;
};
