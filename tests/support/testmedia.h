#pragma once

#include <QString>
#include <QTemporaryDir>

// Short clips made with ffmpeg at test time (H.264 + AAC), so no media file
// lives in the repository. Made once per test process.
class TestMedia
{
public:
    enum Kind { FaststartMp4, TrailingIndexMp4, Matroska };

    // Path of a clip of the given kind and length; empty when ffmpeg failed.
    static QString clip(Kind kind, int seconds = 4);
    static QString folder();
    // Copies the clip to name inside a fresh folder of its own.
    static QString copyAs(const QString &source, const QString &name);
};
