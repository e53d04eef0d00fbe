#pragma once

// The bytes between the player and MorvaneCore over a QLocalSocket.
//
//   Request (player -> core): qint32 type, QStringList arguments.
//   Reply   (core -> player): qint32 type, then QList<QStringList> rows only
//                             for the types replyHasRows() accepts.
//   QDataStream version 12, big-endian; no length prefix.
//
// Writing:
//   socket->write(CoreProtocol::encodeRequest(CoreProtocol::PauseDownloads, {hash}));
//   socket->write(CoreProtocol::encodeReply(CoreProtocol::StatusList, rows));
//
// Reading (incremental and transactional, see replyreader.h / requestreader.h):
//   m_reader.append(socket->readAll());
//   CoreReply reply;
//   FrameReader::Status st;
//   while ((st = m_reader.next(reply)) == FrameReader::FrameReady) handle(reply);
//   if (st == FrameReader::Corrupt) { log(m_reader.errorString()); socket->abort(); }
//
// The peer is another process: readers never trust its counts or lengths.

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

struct CoreRequest
{
    qint32 type = 0;
    QStringList arguments;
};

struct CoreReply
{
    qint32 type = 0;
    QList<QStringList> rows;
};

namespace CoreProtocol {

// QDataStream::Qt_4_6
constexpr int StreamVersion = 12;

enum RequestType : qint32 {
    AddTorrentFile = 0,
    AddMagnets = 1,
    DeleteWithFiles = 2,
    RemoveFromList = 3,
    StartDownloads = 4,
    PauseDownloads = 5,
    ResumeAll = 6,
    PlayingFile = 9,
    PiecePriority = 11,
    StartupList = 12,
    DescribeMagnets = 14,
    SetSavePath = 15,
    Ipv6On = 16,
    Ipv6Off = 17,
    ChangeChannel = 18,
    AddUrls = 19,
    SetDiskCache = 20,
    PrepareQuit = 21,
    // Our own additions, unused by the types above; a core that does not know
    // them logs and ignores them.
    RateLimits = 30, // download KiB/s, upload KiB/s, max connections (0 = no limit)
    ExtendedReplies = 31, // the player reads our own reply types (AddFailed, PieceFinished, StreamAddress)
};

enum ReplyType : qint32 {
    AddedTorrents = 0,
    AddedMagnets = 1,
    StartupTorrents = 12,
    StatusList = 13,
    MagnetDescriptions = 14,
    AddedUrls = 19,
    ReadyToClose = 21,
    // Our own: sent only to a player that asked with ExtendedReplies, since a
    // frame has no length and an older player could not skip it.
    AddFailed = 30, // rows: item (path, link or address), reason
    // rows: hash, piece (of the torrent); a piece of the played file is
    // written. Sent at once: a read of the player may be waiting for it.
    PieceFinished = 31,
    // rows: [address] where the core serves the files of its downloads to
    // other players, "http://127.0.0.1:PORT/TOKEN/" (a file is at
    // HASH/INDEX/NAME under it), then [address] under this machine's network
    // address when the local network is served too. Sent in answer to
    // ExtendedReplies.
    StreamAddress = 32,
};

// Reply types that carry a QList<QStringList>; every other type is 4 bytes.
bool replyHasRows(qint32 type);

QByteArray encodeRequest(qint32 type, const QStringList &arguments);
// rows are written only when replyHasRows(type).
QByteArray encodeReply(qint32 type, const QList<QStringList> &rows = {});

// The local socket a channel name stands for. A bare name would be one file in
// the shared temporary folder, where every user's core meets every other's:
// outside Windows it lives in the user's own runtime folder instead.
QString socketName(const QString &channel);

} // namespace CoreProtocol

Q_DECLARE_METATYPE(CoreRequest)
Q_DECLARE_METATYPE(CoreReply)
