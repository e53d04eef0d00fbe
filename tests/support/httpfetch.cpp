#include "httpfetch.h"

#include <QHostAddress>
#include <QList>
#include <QTest>

HttpFetch::HttpFetch(quint16 port, const QByteArray &head, qint64 stopAfter, QObject *parent)
    : QObject(parent)
    , m_stopAfter(stopAfter)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &HttpFetch::read);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        read();
        m_closed = true;
        m_done = true;
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        m_closed = true;
        m_done = true;
    });
    m_clock.start();
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    m_socket.write(head + "\r\n\r\n");
}

bool HttpFetch::waitDone(int timeoutMs)
{
    return m_done || QTest::qWaitFor([this] { return m_done; }, timeoutMs);
}

bool HttpFetch::waitClosed(int timeoutMs)
{
    return m_closed || QTest::qWaitFor([this] { return m_closed; }, timeoutMs);
}

QByteArray HttpFetch::header(const QByteArray &name) const
{
    const QList<QByteArray> lines = m_head.split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

void HttpFetch::read()
{
    if (m_socket.isOpen())
        m_buffer += m_socket.readAll();
    if (m_status == 0) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_head = m_buffer.left(end);
        m_buffer.remove(0, end + 4);
        const QList<QByteArray> statusLine = m_head.left(m_head.indexOf('\r')).split(' ');
        m_status = statusLine.value(1).toInt();
        bool ok = false;
        m_length = header("content-length").toLongLong(&ok);
        if (!ok)
            m_length = -1;
    }
    if (!m_buffer.isEmpty() && m_firstByteMs < 0)
        m_firstByteMs = m_clock.elapsed();
    const qint64 wanted = m_length < 0 ? m_buffer.size() : qMax<qint64>(0, m_length - m_body.size());
    m_body += m_buffer.left(wanted);
    m_trailing += m_buffer.mid(wanted);
    m_buffer.clear();
    if ((m_length >= 0 && m_body.size() >= m_length) || (m_stopAfter >= 0 && m_body.size() >= m_stopAfter))
        m_done = true;
}
