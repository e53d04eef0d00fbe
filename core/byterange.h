#pragma once

#include <QByteArray>
#include <QtGlobal>

// The one byte range of a Range header against a file of a known size.
// Several ranges, other units and malformed values are served as the whole
// file, as HTTP allows; only a range that lies outside the file is refused.
class ByteRange
{
public:
    enum Kind { Whole, Part, Unsatisfiable };

    static ByteRange parse(const QByteArray &header, qint64 size);

    Kind kind = Whole;
    qint64 first = 0;
    qint64 last = -1; // inclusive; -1 for an empty file
};
