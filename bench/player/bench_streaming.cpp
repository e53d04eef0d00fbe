// Streaming figures of the player window on real libvlc, with a scripted
// piece source instead of a core:
//  - first frame after playFile with the head present,
//  - playback resuming after a missing piece arrives (with the check run at
//    once on a fresh piece string),
//  - start-up when pieces arrive at a given rate from nothing,
//  - CPU time of the GUI thread while playing (the one-second tick).
// Prints figures; asserts nothing about wall time.
//
//   bench_streaming [--rounds N] [--clip mkv|mp4] [--first-frame-only]
// MORVANE_VLC_OPTIONS adds engine options, to compare their effect.

#include "player/player.h"
#include "tests/support/damagedclip.h"
#include "tests/support/scriptedpieces.h"
#include "tests/support/temporaryhome.h"
#include "tests/support/testmedia.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <vlc/vlc.h>

#include <atomic>
#include <ctime>

namespace {

// Counts frames the engine hands over (RV32 into a scratch buffer).
struct FrameCounter
{
    std::atomic<int> frames { 0 };
    QByteArray buffer = QByteArray(640 * 480 * 4, '\0');

    void attach(libvlc_media_player_t *mp)
    {
        libvlc_video_set_callbacks(
            mp,
            [](void *self, void **planes) -> void * {
                *planes = static_cast<FrameCounter *>(self)->buffer.data();
                return nullptr;
            },
            nullptr, [](void *self, void *) { ++static_cast<FrameCounter *>(self)->frames; }, this);
        libvlc_video_set_format(mp, "RV32", 320, 240, 320 * 4);
    }
};

// Runs the event loop, looking at condition every 5 ms.
bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return condition();
}

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

QTextStream out(stdout);

void firstFrame(const QString &clip, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        DamagedClip file(clip, 64, {}, clip.endsWith(".mp4") ? "head.mp4" : "head.mkv");
        ScriptedPieces pieces;
        pieces.bits = file.bits;
        FrameCounter counter; // outlives the window, whose engine writes into it
        player window;
        window.setPieceSource(&pieces);
        counter.attach(window.engine().mediaPlayer());
        QElapsedTimer clock;
        clock.start();
        QString path = file.path;
        window.playFile(path, "hash", 0, true, QString::fromLatin1(file.bits), file.pieceLength);
        const bool shown = waitFor([&] { return counter.frames > 0; }, 10000);
        out << "first frame after playFile (head present, mode 2): "
            << (shown ? QString::number(clock.elapsed()) + " ms" : QString("none in 10 s")) << Qt::endl;
    }
}

void resumeAfterPiece(const QString &clip, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        DamagedClip file(clip, 64, { 30, 31 });
        ScriptedPieces pieces;
        pieces.bits = file.bits;
        FrameCounter counter; // outlives the window, whose engine writes into it
        player window;
        window.setPieceSource(&pieces);
        counter.attach(window.engine().mediaPlayer());
        QString path = file.path;
        window.playFile(path, "hash", 0, true, QString::fromLatin1(file.bits), file.pieceLength);
        if (!waitFor([&] { return window.playState() == player::Caching; }, 20000)) {
            out << "resume after piece: playback never waited" << Qt::endl;
            continue;
        }
        waitFor([&] { return window.engine().state() == libvlc_Paused; }, 3000);
        const int before = counter.frames;
        QElapsedTimer clock;
        clock.start();
        file.repair();
        pieces.bits = file.bits;
        window.bitFieldRefresh(QString::fromLatin1(file.bits), file.pieceLength);
        const bool resumed = waitFor([&] { return counter.frames > before + 2; }, 10000);
        out << "playback resumed after the missing piece arrived: "
            << (resumed ? QString::number(clock.elapsed()) + " ms" : QString("not in 10 s")) << Qt::endl;
    }
}

void piecesAtARate(const QString &clip, double piecesPerSecond)
{
    DamagedClip file(clip, 64, [] {
        QList<int> all;
        for (int i = 0; i < 64; ++i)
            all << i;
        return all;
    }());
    const QByteArray complete = file.fullBits();
    ScriptedPieces pieces;
    pieces.bits = file.bits;
    FrameCounter counter; // outlives the window, whose engine writes into it
    player window;
    window.setPieceSource(&pieces);
    counter.attach(window.engine().mediaPlayer());
    // The bytes on disk are all there before the engine opens the file (it
    // starts at once); the piece string decides what it may read.
    const QByteArray none = file.bits;
    file.repair();
    QString path = file.path;
    window.playFile(path, "hash", 0, false, QString::fromLatin1(none), file.pieceLength);

    // Pieces arrive in order, but the last one first (as the core fetches
    // the tail of a Matroska file early).
    QByteArray bits(64, '0');
    int next = 0;
    int cachingEpisodes = 0;
    bool wasCaching = false;
    QElapsedTimer clock;
    clock.start();
    qint64 headArrived = -1;
    QTimer arrive;
    arrive.setInterval(int(1000 / piecesPerSecond));
    QObject::connect(&arrive, &QTimer::timeout, [&] {
        if (bits[63] == '0')
            bits[63] = '1';
        else if (next < 63)
            bits[next++] = '1';
        if (next == 5 && headArrived < 0)
            headArrived = clock.elapsed();
        pieces.bits = bits;
        window.bitFieldRefresh(QString::fromLatin1(bits), file.pieceLength);
    });
    arrive.start();
    const bool started = waitFor([&] { return counter.frames > 0; }, 30000);
    const qint64 firstFrameAt = clock.elapsed();
    waitFor(
        [&] {
            const bool caching = window.playState() == player::Caching;
            cachingEpisodes += caching && !wasCaching;
            wasCaching = caching;
            return bits == complete && window.playState() != player::Caching;
        },
        60000);
    out << "pieces at " << piecesPerSecond << "/s (piece " << file.pieceLength / 1024
        << " KiB): head complete at " << headArrived << " ms, first frame at "
        << (started ? QString::number(firstFrameAt) : QString("never"))
        << " ms, caching pauses while downloading: " << cachingEpisodes << Qt::endl;
}

void guiCpu(const QString &clip)
{
    player window;
    QString path = clip;
    window.playFile(path);
    waitFor([&] { return window.engine().time() > 0; }, 5000);
    const double cpuBefore = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return clock.elapsed() >= 4000; }, 5000);
    const double cpu = threadCpuMs() - cpuBefore;
    out << "GUI thread CPU while playing: " << QString::number(cpu, 'f', 1) << " ms over " << clock.elapsed()
        << " ms (" << QString::number(100.0 * cpu / clock.elapsed(), 'f', 2) << " %)" << Qt::endl;

    const int ticks = 2000;
    const double tickBefore = threadCpuMs();
    for (int i = 0; i < ticks; ++i)
        window.time();
    out << "one display tick: " << QString::number((threadCpuMs() - tickBefore) * 1000.0 / ticks, 'f', 1)
        << " us of CPU" << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName("Morvane");
    QCommandLineParser parser;
    QCommandLineOption roundsOption("rounds", "repetitions of each measurement", "n", "3");
    parser.addOption(roundsOption);
    QCommandLineOption clipOption("clip", "container: mkv or mp4 (faststart)", "kind", "mkv");
    parser.addOption(clipOption);
    QCommandLineOption firstFrameOnly("first-frame-only", "only the first-frame figure");
    parser.addOption(firstFrameOnly);
    parser.process(app);
    const int rounds = qMax(1, parser.value(roundsOption).toInt());
    const bool mp4 = parser.value(clipOption) == QLatin1String("mp4");

    TemporaryHome home;
    const QString clip = TestMedia::clip(mp4 ? TestMedia::FaststartMp4 : TestMedia::Matroska, 12);
    if (clip.isEmpty())
        return 1;
    out << "clip: 12 s " << (mp4 ? "MP4 (faststart)" : "Matroska") << ", H.264 ~2 Mbit/s + AAC, "
        << QFileInfo(clip).size() / 1024
        << " KiB, 64 pieces; engine options: " << qEnvironmentVariable("MORVANE_VLC_OPTIONS") << Qt::endl;
    firstFrame(clip, rounds);
    if (parser.isSet(firstFrameOnly))
        return 0;
    resumeAfterPiece(clip, rounds);
    piecesAtARate(clip, 8);
    if (rounds > 1)
        piecesAtARate(clip, 16);
    guiCpu(clip);
    return 0;
}
