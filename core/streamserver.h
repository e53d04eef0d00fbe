#pragma once

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTcpServer>

#include <optional>

class StreamConnection;
class TorrentSession;

// Serves the files of the downloads over HTTP, to other players on this
// machine (or, when asked, a TV on the local network), while they download:
// http://127.0.0.1:PORT/TOKEN/HASH/INDEX/NAME, INDEX numbered as in the
// description row. The token is new with every start of the core, so an
// address works only for someone we gave it to.
//
// A read of a piece that is not there yet waits for it without holding up
// the other readers, and tells the streaming scheduler where that reader is.
class StreamServer : public QObject
{
    Q_OBJECT

public:
    // The largest number of connections served at once.
    static constexpr int maxConnections = 32;

    explicit StreamServer(TorrentSession *session, QObject *parent = nullptr);
    ~StreamServer() override;

    // Loopback only unless onNetwork. port 0: any free port.
    bool listen(bool onNetwork, quint16 port = 0);
    quint16 port() const { return m_server.serverPort(); }
    const QByteArray &token() const { return m_token; }
    // "http://127.0.0.1:PORT/TOKEN/"; empty when not listening.
    QString address() const;
    // The same under this machine's address on the local network; empty
    // when only loopback is served.
    QString networkAddress() const;

    struct File
    {
        QString key;
        int row = 0;
        QString name;
        qint64 size = 0;
        qint64 offset = 0; // bytes into the torrent
        qint64 pieceLength = 0;
    };
    // The file at row of a download with metadata.
    std::optional<File> file(const QString &hash, int row) const;
    // The bytes of a piece of file when at hand. Otherwise a null array:
    // reader->pieceReady() brings them once they are, and the scheduler hears
    // that a reader waits at position (bytes into the file).
    QByteArray piece(StreamConnection *reader, const File &file, int piece, qint64 position);
    // A reader starts at position: the pieces from there come first.
    void readerAt(const File &file, qint64 position);

private:
    using PieceKey = QPair<QString, int>;

    void accept();
    void readPiece(const PieceKey &key);
    void onPieceFinished(const QString &hash, int piece);
    void onPieceRead(const QString &hash, int piece, const QByteArray &data);
    void onRemoved(const QString &hash);

    TorrentSession *m_session;
    QTcpServer m_server;
    QByteArray m_token;
    bool m_onNetwork = false;
    // Pieces recently read for readers: several readers of one file, and a
    // reader whose ranges cross a piece, need them again at once.
    QCache<PieceKey, QByteArray> m_cache;
    QHash<PieceKey, QList<QPointer<StreamConnection>>> m_waiting;
    QSet<PieceKey> m_reading;
    QList<QPointer<StreamConnection>> m_connections;
};
