#include "streamserver.h"

#include "rowbuilder.h"
#include "streamconnection.h"
#include "streamingscheduler.h"
#include "torrentsession.h"

#include "platform/logging.h"

#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <libtorrent/torrent_info.hpp>

namespace {
// Enough for a few pieces of every reader; pieces are 16 KiB to 16 MiB.
constexpr qsizetype cacheBytes = 48 * 1024 * 1024;
constexpr int tokenBytes = 16;
}

StreamServer::StreamServer(TorrentSession *session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_cache(cacheBytes)
{
    QByteArray random(tokenBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), tokenBytes / 4);
    m_token = random.toHex();

    connect(&m_server, &QTcpServer::newConnection, this, &StreamServer::accept);
    connect(m_session, &TorrentSession::pieceFinished, this, &StreamServer::onPieceFinished);
    connect(m_session, &TorrentSession::pieceRead, this, &StreamServer::onPieceRead);
    connect(m_session, &TorrentSession::downloadRemoved, this, &StreamServer::onRemoved);
}

StreamServer::~StreamServer() = default;

bool StreamServer::listen(bool onNetwork, quint16 port)
{
    m_onNetwork = onNetwork;
    if (!m_server.listen(onNetwork ? QHostAddress::AnyIPv4 : QHostAddress::LocalHost, port)) {
        qCWarning(lcCore).noquote() << "stream server not started:" << m_server.errorString();
        return false;
    }
    qCInfo(lcCore).noquote() << "stream server on" << (onNetwork ? "all addresses" : "127.0.0.1") << "port"
                             << m_server.serverPort();
    return true;
}

QString StreamServer::address() const
{
    if (!m_server.isListening())
        return QString();
    return QStringLiteral("http://127.0.0.1:%1/%2/")
        .arg(m_server.serverPort())
        .arg(QString::fromLatin1(m_token));
}

QString StreamServer::networkAddress() const
{
    if (!m_server.isListening() || !m_onNetwork)
        return QString();
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
            || (flags & QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return QStringLiteral("http://%1:%2/%3/")
                    .arg(entry.ip().toString())
                    .arg(m_server.serverPort())
                    .arg(QString::fromLatin1(m_token));
        }
    }
    return QString();
}

void StreamServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        m_connections.removeAll(nullptr);
        if (m_connections.size() >= maxConnections) {
            qCWarning(lcCore).noquote() << "stream server: too many connections, one refused";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connections.append(new StreamConnection(socket, this));
    }
}

std::optional<StreamServer::File> StreamServer::file(const QString &hash, int row) const
{
    const QString key = hash.toLower();
    const lt::torrent_handle h = m_session->handle(key);
    if (!h.is_valid())
        return std::nullopt;
    const std::shared_ptr<const lt::torrent_info> info = h.torrent_file();
    if (!info || !info->is_valid())
        return std::nullopt;
    const lt::file_storage &files = info->files();
    const QList<lt::file_index_t> visible = RowBuilder::visibleFiles(files);
    if (row < 0 || row >= visible.size())
        return std::nullopt;
    const lt::file_index_t index = visible.at(row);
    File f;
    f.key = key;
    f.row = row;
    f.name = QString::fromStdString(std::string(files.file_name(index)));
    f.size = files.file_size(index);
    f.offset = files.file_offset(index);
    f.pieceLength = info->piece_length();
    return f;
}

void StreamServer::readerAt(const File &file, qint64 position)
{
    QString error;
    if (!m_session->scheduler()->readerAt(file.key, file.row, position, &error))
        qCDebug(lcCore).noquote() << "stream reader not scheduled:" << error;
}

QByteArray StreamServer::piece(StreamConnection *reader, const File &file, int piece, qint64 position)
{
    const PieceKey key { file.key, piece };
    if (const QByteArray *cached = m_cache.object(key))
        return *cached;
    const lt::torrent_handle h = m_session->handle(file.key);
    if (!h.is_valid())
        return QByteArray();
    QList<QPointer<StreamConnection>> &waiting = m_waiting[key];
    if (!waiting.contains(reader))
        waiting.append(reader);
    if (h.have_piece(lt::piece_index_t(piece)))
        readPiece(key);
    else
        readerAt(file, position);
    return QByteArray();
}

void StreamServer::readPiece(const PieceKey &key)
{
    if (m_reading.contains(key))
        return;
    const lt::torrent_handle h = m_session->handle(key.first);
    if (!h.is_valid())
        return;
    m_reading.insert(key);
    h.read_piece(lt::piece_index_t(key.second));
}

void StreamServer::onPieceFinished(const QString &hash, int piece)
{
    const PieceKey key { hash, piece };
    if (m_waiting.contains(key))
        readPiece(key);
}

void StreamServer::onPieceRead(const QString &hash, int piece, const QByteArray &data)
{
    const PieceKey key { hash, piece };
    // The scheduler reads pieces too; only ours are kept.
    if (!m_reading.remove(key))
        return;
    const QList<QPointer<StreamConnection>> waiting = m_waiting.take(key);
    if (data.isEmpty()) {
        qCWarning(lcCore).noquote() << "stream: piece" << piece << "of" << hash << "could not be read";
        for (const QPointer<StreamConnection> &reader : waiting)
            if (reader)
                reader->fail();
        return;
    }
    m_cache.insert(key, new QByteArray(data), data.size());
    for (const QPointer<StreamConnection> &reader : waiting)
        if (reader)
            reader->pieceReady(piece, data);
}

void StreamServer::onRemoved(const QString &hash)
{
    const QList<PieceKey> keys = m_waiting.keys();
    for (const PieceKey &key : keys) {
        if (key.first != hash)
            continue;
        m_reading.remove(key);
        const QList<QPointer<StreamConnection>> waiting = m_waiting.take(key);
        for (const QPointer<StreamConnection> &reader : waiting)
            if (reader)
                reader->fail();
    }
    const QList<PieceKey> cached = m_cache.keys();
    for (const PieceKey &key : cached)
        if (key.first == hash)
            m_cache.remove(key);
}
