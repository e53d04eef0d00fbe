#include "streamconnection.h"

#include "byterange.h"
#include "httprequest.h"

#include "platform/logging.h"

#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {
constexpr qsizetype maxHeadBytes = 16 * 1024;
// What the socket may hold unsent: the reader sets the pace, not our disk.
constexpr qint64 highWater = 1024 * 1024;
constexpr qint64 chunkBytes = 256 * 1024;
constexpr int idleMs = 60000;

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

// Compares in a time that does not tell how much of a guess was right.
bool sameToken(const QByteArray &given, const QByteArray &token)
{
    if (given.size() != token.size())
        return false;
    char difference = 0;
    for (qsizetype i = 0; i < token.size(); ++i)
        difference = char(difference | (given.at(i) ^ token.at(i)));
    return difference == 0;
}

bool digitsOnly(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 6)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

QByteArray contentType(const QString &name)
{
    static const QMimeDatabase types;
    const QMimeType type = types.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.name().toLatin1()
                                               : QByteArray("application/octet-stream");
}
}

StreamConnection::StreamConnection(QTcpSocket *socket, StreamServer *server)
    : QObject(server)
    , m_socket(socket)
    , m_server(server)
{
    m_socket->setParent(this);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
    connect(m_socket, &QTcpSocket::readyRead, this, &StreamConnection::readRequests);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &StreamConnection::pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_idle.start();
    if (m_socket->bytesAvailable() > 0)
        readRequests();
}

void StreamConnection::readRequests()
{
    m_buffer += m_socket->readAll();
    while (!m_closing && !m_sending) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > maxHeadBytes)
                refuse(431);
            return;
        }
        const QByteArray head = m_buffer.left(end);
        m_buffer.remove(0, end + 4);
        const std::optional<HttpRequest> request = HttpRequest::parse(head);
        if (!request) {
            refuse(400);
            return;
        }
        m_idle.stop();
        answer(*request);
    }
    // Requests sent ahead of their turn wait; a flood does not.
    if (m_sending && m_buffer.size() > maxHeadBytes * 4)
        m_socket->abort();
}

void StreamConnection::answer(const HttpRequest &request)
{
    m_keepAlive = request.keepAlive();
    const bool head = request.method == "HEAD";
    if (!head && request.method != "GET") {
        refuse(405, "Allow: GET, HEAD\r\n");
        return;
    }
    QByteArray path = request.target;
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);
    // "", token, hash, index and, optionally, the file's name.
    const QList<QByteArray> parts = path.split('/');
    if (parts.size() < 2 || !parts.at(0).isEmpty() || !sameToken(parts.at(1), m_server->token())) {
        refuse(403);
        return;
    }
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{40}$"));
    if (parts.size() < 4 || parts.size() > 5 || !hex.match(QString::fromLatin1(parts.at(2))).hasMatch()
        || !digitsOnly(parts.at(3))) {
        refuse(404);
        return;
    }
    const std::optional<StreamServer::File> file
        = m_server->file(QString::fromLatin1(parts.at(2)), parts.at(3).toInt());
    // The name is only for the reader's title bar, but it must be the file's.
    const QString name
        = parts.size() == 5 ? QString::fromUtf8(QByteArray::fromPercentEncoding(parts.at(4))) : QString();
    if (!file || (!name.isEmpty() && name != file->name)) {
        refuse(404);
        return;
    }

    const ByteRange range = ByteRange::parse(request.header("range"), file->size);
    const QByteArray size = QByteArray::number(file->size);
    if (range.kind == ByteRange::Unsatisfiable) {
        sendHead(416, { "Content-Range: bytes */" + size, "Content-Length: 0" });
        finishAnswer();
        return;
    }
    QList<QByteArray> fields { "Content-Type: " + contentType(file->name),
        "Content-Length: " + QByteArray::number(range.last - range.first + 1), "Accept-Ranges: bytes" };
    if (range.kind == ByteRange::Part)
        fields.append("Content-Range: bytes " + QByteArray::number(range.first) + '-'
            + QByteArray::number(range.last) + '/' + size);
    sendHead(range.kind == ByteRange::Part ? 206 : 200, fields);
    if (head || range.last < range.first) {
        finishAnswer();
        return;
    }
    if (!m_file || m_file->key != file->key || m_file->row != file->row) {
        m_heldPiece = -1;
        m_held.clear();
    }
    m_file = file;
    m_next = range.first;
    m_end = range.last + 1;
    m_sending = true;
    m_waiting = false;
    qCDebug(lcCore).noquote() << "stream:" << file->name << "bytes" << m_next << "to" << range.last;
    m_server->readerAt(*m_file, m_next);
    pump();
}

void StreamConnection::sendHead(int status, const QList<QByteArray> &fields)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    for (const QByteArray &field : fields)
        head += field + "\r\n";
    if (!m_keepAlive)
        head += "Connection: close\r\n";
    head += "\r\n";
    m_socket->write(head);
}

void StreamConnection::refuse(int status, const QByteArray &extra)
{
    m_closing = true;
    m_sending = false;
    m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n" + extra
        + "Content-Length: 0\r\nConnection: close\r\n\r\n");
    m_socket->disconnectFromHost();
}

void StreamConnection::pump()
{
    if (!m_sending || m_waiting || m_closing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    while (m_next < m_end && m_socket->bytesToWrite() < highWater) {
        const qint64 at = m_file->offset + m_next;
        const int piece = int(at / m_file->pieceLength);
        if (piece != m_heldPiece) {
            const QByteArray data = m_server->piece(this, *m_file, piece, m_next);
            if (data.isNull()) {
                m_waiting = true;
                return;
            }
            m_heldPiece = piece;
            m_held = data;
        }
        const qint64 inPiece = at - qint64(piece) * m_file->pieceLength;
        const qint64 count = qMin(qMin(m_held.size() - inPiece, m_end - m_next), chunkBytes);
        if (count <= 0) {
            fail(); // a piece shorter than its place in the torrent
            return;
        }
        m_socket->write(m_held.constData() + inPiece, count);
        m_next += count;
    }
    if (m_next >= m_end)
        finishAnswer();
}

void StreamConnection::pieceReady(int piece, const QByteArray &data)
{
    if (!m_waiting)
        return;
    m_waiting = false;
    m_heldPiece = piece;
    m_held = data;
    pump();
}

void StreamConnection::fail()
{
    m_closing = true;
    m_sending = false;
    m_waiting = false;
    m_socket->abort();
}

void StreamConnection::finishAnswer()
{
    m_sending = false;
    if (!m_keepAlive) {
        m_closing = true;
        m_socket->disconnectFromHost();
        return;
    }
    m_idle.start();
    // Requests that came meanwhile, from the event loop: a long pipeline
    // must not nest one answer inside the other.
    if (!m_buffer.isEmpty())
        QMetaObject::invokeMethod(this, &StreamConnection::readRequests, Qt::QueuedConnection);
}
