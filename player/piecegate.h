#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>

// Serves the bytes of a file that is still being downloaded to the playback
// engine, and only the bytes whose pieces are known to be present. The player
// tells it which pieces exist; a read that reaches a missing piece waits for a
// newer piece string, for failBlockedReads() or for the next media.
//
// A read that waits reports the piece it waits for once per piece string.
//
// Unless the file is known to start where its first piece starts, its offset
// inside that piece is not known, so a byte at p may lie in piece p/L or
// p/L + 1: both must be present before it is served.
//
// Reads run on the engine's threads; everything else may be called from any
// thread.
class PieceGate
{
public:
    enum Mode { PlainFile = 0, HeadOnly = 1, Seekable = 2 };
    enum Event { NeedPieceString = 0x900, LackData = 0x901 };

    // One open of a media: its file and where the engine reads.
    class Stream;

    PieceGate();
    ~PieceGate();
    PieceGate(const PieceGate &) = delete;
    PieceGate &operator=(const PieceGate &) = delete;

    // Called on the engine's threads, without the gate's lock held.
    void setEventSink(std::function<void(int event)> sink);

    void refreshBitfield(int mode, const char *bits, int length, int pieceLength);
    // The file starts at the start of its first piece (the first file of a
    // torrent): a byte at p lies in piece p/L. Kept until changed.
    void setAligned(bool aligned);
    // Index within the piece string of the piece the last blocked read waits
    // for; -1 before any.
    int lackPiece() const;
    int mode() const;

    // Makes every read of the streams opened so far return -1 at once, now
    // and later: the engine cannot interrupt a read, and stopping waits for it.
    void failBlockedReads();
    bool hasBlockedRead() const;
    // Whether the bytes around offset may be read now (mode 0: always).
    bool canServe(qint64 offset) const;

    // Sees every byte range handed to the engine (tests and traces).
    void setReadObserver(std::function<void(qint64 offset, const char *data, qint64 length)> observer);

    // The stream interface the engine's callbacks use.
    Stream *open(const QString &path, quint64 *size);
    qint64 read(Stream *stream, char *buffer, qint64 length);
    bool seek(Stream *stream, quint64 offset);
    void close(Stream *stream);

private:
    // How many bytes from offset may be served now (at most length); when
    // none, *missing is the piece to wait for.
    qint64 servable(qint64 offset, qint64 length, int *missing) const;
    bool pieceIsPresent(qint64 index) const;
    void raise(int event);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void(int)> m_sink;
    std::function<void(qint64, const char *, qint64)> m_observer;
    int m_mode = PlainFile;
    bool m_aligned = false;
    QByteArray m_bits;
    qint64 m_pieceLength = 0;
    int m_lackPiece = -1;
    // Bumped by every refresh: a blocked read looks again.
    quint64 m_refreshes = 0;
    // Streams opened before the current epoch fail their reads.
    quint64 m_epoch = 0;
    int m_blockedReads = 0;
};
