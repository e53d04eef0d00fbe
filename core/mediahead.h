#pragma once

#include <QByteArray>

// What the first bytes of a media file tell the core: how long it plays
// and whether a player reads the file's end before its first frame.
class MediaHead
{
public:
    enum class Kind { Unknown, Mp4, Matroska };
    struct Facts
    {
        Kind kind = Kind::Unknown;
        double durationSeconds = 0; // 0: not found in these bytes
        bool needsTail = false;
    };

    static Facts read(const QByteArray &head);

private:
    static Facts readMp4(const QByteArray &head);
    static Facts readMatroska(const QByteArray &head);
};
