#pragma once

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

// What the streaming policy asks of the playback engine. VlcEngine is the
// real one; tests put a scripted one in its place.
class StreamingEngine
{
public:
    virtual ~StreamingEngine() = default;

    // Replaces the current media; startSeconds > 0 opens it there.
    virtual void open(const QString &path, double startSeconds = 0) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual qint64 length() const = 0;
    virtual qint64 time() const = 0;
    virtual float position() const = 0;
    virtual void setPosition(float position) = 0;
    // Called from any thread, the engine's own included.
    virtual void refreshBitfield(int mode, const char *bits, int length, int pieceLength) = 0;
    virtual int lackPiece() const = 0;
    // For the next open: whether the file is a download that may still miss
    // pieces, and whether it starts where its first piece starts (then no
    // neighbouring piece is needed to read a byte).
    virtual void setSource(bool download, bool alignedToPieces) = 0;
    // What the engine keeps read ahead of its demuxer: when a read waits,
    // this much still plays before the demuxer waits too.
    virtual qint64 readAheadBytes() const { return 0; }
    // Whether the file can be opened now: a download's file only appears on
    // disk with its first piece written.
    virtual bool isReadable(const QString &path) const { return QFileInfo(path).isFile(); }
};
