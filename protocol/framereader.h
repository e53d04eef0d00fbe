#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Cuts QDataStream frames out of a byte stream that arrives in pieces.
// A frame is delivered once, whole, when its last byte has arrived; bytes of
// an unfinished frame wait in the buffer. Every count and length is checked
// against the frame budget before anything is allocated, and the scan resumes
// where it stopped, so a large frame arriving in many reads is walked once.
class FrameReader
{
public:
    enum class Kind { Request, Reply };
    enum Status { NeedMoreData, FrameReady, Corrupt };

    // Large enough for a status list of tens of thousands of downloads.
    static constexpr qsizetype DefaultMaxFrameBytes = 64 * 1024 * 1024;

    explicit FrameReader(Kind kind);

    void append(const QByteArray &bytes);
    void append(const char *data, qsizetype size);

    // Drops buffered bytes and any error.
    void clear();

    // A frame larger than this (or announcing more than fits in it) is corrupt.
    void setMaxFrameBytes(qsizetype bytes) { m_maxFrameBytes = bytes; }
    qsizetype maxFrameBytes() const { return m_maxFrameBytes; }

    // Bytes received but not yet delivered as a frame.
    qsizetype bufferedBytes() const { return m_buffer.size() - m_start; }
    bool isCorrupt() const { return m_corrupt; }
    QString errorString() const { return m_error; }

protected:
    // For a request, rows holds exactly one list: the arguments.
    Status nextFrame(qint32 &type, QList<QStringList> &rows);

private:
    enum class Stage { Type, RowCount, RowStart, Field, Done };

    Status scan();
    Status fail(const QString &why);
    void decode(qint32 &type, QList<QStringList> &rows) const;
    void resetScan();

    Kind m_kind;
    QByteArray m_buffer;
    qsizetype m_maxFrameBytes = DefaultMaxFrameBytes;
    // Current frame starts at m_start; the scan has validated up to m_pos.
    qsizetype m_start = 0;
    qsizetype m_pos = 0;
    Stage m_stage = Stage::Type;
    quint32 m_rowsLeft = 0;
    quint32 m_fieldsLeft = 0;
    bool m_corrupt = false;
    QString m_error;
};
