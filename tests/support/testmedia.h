#pragma once

#include <QSize>
#include <QString>
#include <QTemporaryDir>

// Clips made with ffmpeg at test time (H.264 + AAC), so no media file lives
// in the repository.
class TestMedia
{
public:
    enum Kind { FaststartMp4, TrailingIndexMp4, Matroska };

    // What make() encodes: a moving test pattern with noise, so that it does
    // not compress away, or one flat colour.
    struct Recipe
    {
        QSize size { 320, 240 };
        int rate = 25;
        int seconds = 4;
        QString colour; // a still picture of this colour instead of the pattern
        int noise = 30;
        int videoKbps = 2000; // 0: the encoder's own choice
        bool constantRate = false;
        int keyframeEvery = 25; // 0: the encoder's own choice
        int audioKbps = 64; // 0: no sound
        bool faststart = false;
    };

    // The reference content of streaming benchmarks: 24 fps, constant
    // 4 Mbit/s, a keyframe every 2 s, AAC 128 kbit/s, index at the front.
    static Recipe reference(QSize size, int seconds);
    // Short clip of the given kind and length (the default recipe), made once
    // per test process; empty when ffmpeg failed.
    static QString clip(Kind kind, int seconds = 4);
    // Encodes recipe into path, whose suffix picks the container.
    static bool make(const Recipe &recipe, const QString &path, int timeoutMs = 120000);
    // The same streams in the container of target's suffix.
    static bool remux(const QString &source, const QString &target, int timeoutMs = 120000);
    // A subtitle file that shows text from 0 to seconds, a cue a second.
    static bool writeSrt(const QString &path, const QString &text, int seconds);
    // A still clip of colour in Matroska with two audio tracks (English 440 Hz,
    // French 880 Hz) and two subtitle tracks (English, French) showing the two
    // texts; none of them marked default, so no subtitle shows at first.
    static bool makeWithTracks(const QString &path, const QString &colour, const QString &englishText,
        const QString &frenchText, int seconds, int timeoutMs = 120000);
    static QString folder();
    // Copies the clip to name inside a fresh folder of its own.
    static QString copyAs(const QString &source, const QString &name);
};
