#pragma once

// Shared body of the two fuzz targets. The first input byte picks the size
// of the pieces the rest is fed in, so frame splits are explored as well.
// Checked on every input:
//   - whatever is delivered, re-encoded, is exactly the bytes it came from;
//   - delivery does not depend on how the bytes were cut;
//   - nothing is delivered past a corrupt frame.

#include "protocol/coreprotocol.h"
#include "protocol/framereader.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

template <typename Reader, typename Frame, typename Encode>
int fuzzFrames(const uint8_t *data, size_t size, Encode encode)
{
    if (size < 1)
        return 0;
    const qsizetype piece = data[0] % 97 + 1;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    auto run = [&](qsizetype step, QByteArray &reencoded, FrameReader::Status &last) {
        Reader reader;
        reader.setMaxFrameBytes(1 << 20);
        Frame frame;
        last = FrameReader::NeedMoreData;
        for (qsizetype at = 0; at < input.size() && last != FrameReader::Corrupt; at += step) {
            reader.append(input.mid(at, step));
            while ((last = reader.next(frame)) == FrameReader::FrameReady)
                reencoded += encode(frame);
        }
        if (last != FrameReader::Corrupt && reencoded.size() + reader.bufferedBytes() != input.size())
            abort();
    };

    QByteArray whole, pieces;
    FrameReader::Status wholeStatus, piecesStatus;
    run(qMax<qsizetype>(input.size(), 1), whole, wholeStatus);
    run(piece, pieces, piecesStatus);
    if (!input.startsWith(whole) || whole != pieces || wholeStatus != piecesStatus)
        abort();
    return 0;
}
