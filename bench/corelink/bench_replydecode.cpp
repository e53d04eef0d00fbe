// Decoding speed of the periodic status reply: a reply 13 of 10,000 status
// rows (12 fields plus one file group, a 512-piece bit field each), read as
// the connection reads it, in 64 KiB pieces, and in one piece.
//   bench_replydecode [--iterations N] [--rows N]

#include "protocol/coreprotocol.h"
#include "protocol/replyreader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>

namespace {

QList<QStringList> statusRows(int count)
{
    QList<QStringList> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString bits(512, QLatin1Char('0'));
        for (int p = 0; p < 512; p += 1 + i % 7)
            bits[p] = QLatin1Char('1');
        const QString hash = QStringLiteral("%1").arg(i, 40, 16, QLatin1Char('0'));
        rows.append({ hash, QString::number(1048576 + i), QString::number(65536 + i), QStringLiteral("42.5%"),
            QString::number(i % 50), QString::number(i % 80), QString::number(i % 4), QString::number(i % 2),
            bits, QStringLiteral("512"), QStringLiteral("262144"), QString::number(qint64(i) * 1000003),
            QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("511"), QStringLiteral("134217728") });
    }
    return rows;
}

// Returns seconds per decode, best of iterations.
double decode(const QByteArray &frame, qsizetype piece, int iterations, int expectRows)
{
    double best = 1e9;
    for (int it = 0; it < iterations; ++it) {
        ReplyReader reader;
        CoreReply reply;
        int delivered = 0;
        QElapsedTimer timer;
        timer.start();
        for (qsizetype at = 0; at < frame.size(); at += piece) {
            reader.append(frame.constData() + at, qMin(piece, frame.size() - at));
            while (reader.next(reply) == FrameReader::FrameReady)
                ++delivered;
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (delivered != 1 || reply.rows.size() != expectRows) {
            std::fprintf(stderr, "decode failed: %d frames, %lld rows\n", delivered,
                static_cast<long long>(reply.rows.size()));
            std::exit(1);
        }
        best = qMin(best, seconds);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int iterations = 20;
    int rowCount = 10000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--iterations"))
            iterations = qMax(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--rows"))
            rowCount = qMax(1, args[i + 1].toInt());
    }

    const QByteArray frame = CoreProtocol::encodeReply(CoreProtocol::StatusList, statusRows(rowCount));
    std::printf("reply 13: %d rows, %.2f MB, best of %d\n", rowCount, double(frame.size()) / 1e6, iterations);
    for (qsizetype piece : { qsizetype(65536), frame.size() }) {
        const double s = decode(frame, piece, iterations, rowCount);
        std::printf("  pieces of %9lld bytes: %8.2f ms  %8.1f MB/s  %10.0f rows/s\n",
            static_cast<long long>(piece), s * 1e3, double(frame.size()) / 1e6 / s, rowCount / s);
    }
    return 0;
}
