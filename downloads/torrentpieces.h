#pragma once

#include "downloads/piecemap.h"
#include "protocol/coreprotocol.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>

// What is known about the pieces from one play position of a file.
struct PieceCheck
{
    QString hash;
    int fileIndex = 0;
    // Piece numbers within the torrent: the file's first piece, the first
    // piece checked and the file's last piece.
    int fileStart = 0;
    int first = 0;
    int last = 0;
    bool ready = false;
    // False until the core has sent piece data for the file.
    bool known = false;
};

// The one home of every download's pieces: filled from the core's status
// lists and finished-piece replies, read by the downloads list when it starts
// playback and by the streaming policy while a file plays.
class TorrentPieces : public QObject
{
    Q_OBJECT

public:
    explicit TorrentPieces(QObject *parent = nullptr);

    // The torrent's pieces, or one file's when the core listed its files;
    // character 0 of the result is the file's first piece. Empty when unknown.
    PieceMap filePieces(const QString &hash, int fileIndex) const;
    PieceMap torrentPieces(const QString &hash) const;
    int pieceLength(const QString &hash) const;
    // What keeps the download from delivering, as its last status says: a
    // disk that takes no data, or no peer at all; empty otherwise.
    QString waitCause(const QString &hash) const;
    // Pieces count from the file's first piece. Asking never sends
    // anything: requestPieces() does.
    PieceCheck checkPieces(const QString &hash, int fileIndex, int piece) const;
    bool pieceReady(const QString &hash, int fileIndex, int piece) const;
    bool hasLastPiece(const QString &hash, int fileIndex) const;
    // Asks the core to fetch the file from the checked position on, when
    // pieces there are missing or priority is wanted anyway.
    void requestPieces(const PieceCheck &check, bool requestPriority);

public slots:
    // A status list of the core (reply 13).
    void statusReceived(const QList<QStringList> &list);
    // One piece of a torrent is in, ahead of the next status list.
    void pieceFinished(const QString &hash, int piece);

signals:
    void statusRefreshed();
    void pieceAdded(const QString &hash);
    void sessionRequest(CoreProtocol::RequestType type, QStringList operateObject);

private:
    struct FileRange
    {
        int first = 0;
        int last = 0;
    };
    struct Torrent
    {
        PieceMap pieces;
        int pieceCount = 0;
        int pieceLength = 0;
        QString waitCause;
        // As the status lists them; empty before the core has the metadata.
        QList<FileRange> files;
    };
    // Null when the torrent is unknown or has no such file.
    const Torrent *find(const QString &hash, int fileIndex, FileRange *range) const;

    QHash<QString, Torrent> m_torrents;
};
