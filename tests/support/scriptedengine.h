#pragma once

#include "player/streamingengine.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Stands in for the playback engine: records what it is told and reports the
// time, length and missing piece the test sets.
class ScriptedEngine : public StreamingEngine
{
public:
    struct Refresh
    {
        int mode;
        QByteArray bits;
        int pieceLength;
    };

    QStringList opened;
    QList<double> openedAt;
    QList<float> positionsSet;
    QList<Refresh> refreshes;
    int plays = 0;
    int pauses = 0;
    int stops = 0;
    bool playing = false;
    qint64 lengthMs = 0;
    qint64 timeMs = 0;
    float positionNow = 0;
    int lack = -1;
    bool readable = true;
    bool download = false;
    bool aligned = false;
    qint64 readAhead = 0;

    void open(const QString &path, double startSeconds = 0) override
    {
        opened << path;
        openedAt << startSeconds;
        playing = false;
    }
    void play() override
    {
        ++plays;
        playing = true;
    }
    void pause() override
    {
        ++pauses;
        playing = false;
    }
    void stop() override
    {
        ++stops;
        playing = false;
    }
    qint64 length() const override { return lengthMs; }
    qint64 time() const override { return timeMs; }
    float position() const override { return positionNow; }
    void setPosition(float position) override { positionsSet << position; }
    void refreshBitfield(int mode, const char *bits, int length, int pieceLength) override
    {
        refreshes << Refresh { mode, QByteArray(bits, length), pieceLength };
    }
    int lackPiece() const override { return lack; }
    void setSource(bool isDownload, bool isAligned) override
    {
        download = isDownload;
        aligned = isAligned;
    }
    bool isReadable(const QString &) const override { return readable; }
    qint64 readAheadBytes() const override { return readAhead; }
};
