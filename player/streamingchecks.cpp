#include "streamingchecks.h"

#include "platform/logging.h"
#include "player/streamingengine.h"
#include "player/streamingpolicy.h"

using enum StreamingPolicy::PlayState;
using Source = StreamingPolicy::Source;
using Mode = PieceGate::Mode;

StreamingChecks::StreamingChecks(StreamingPolicy &policy)
    : p(policy)
{
    pieceCheckTimer.setInterval(2000);
    fileCheckTimer.setInterval(2000);
    lastPieceCheckTimer.setInterval(1000);
    QObject::connect(&pieceCheckTimer, &QTimer::timeout, &pieceCheckTimer, [this] { pieceCheck(); });
    QObject::connect(&fileCheckTimer, &QTimer::timeout, &fileCheckTimer, [this] { torrentFileCheck(); });
    QObject::connect(
        &lastPieceCheckTimer, &QTimer::timeout, &lastPieceCheckTimer, [this] { lastPieceCheck(); });
}

void StreamingChecks::setIntervals(int piece, int file, int lastPiece)
{
    pieceCheckTimer.setInterval(piece);
    fileCheckTimer.setInterval(file);
    lastPieceCheckTimer.setInterval(lastPiece);
}

void StreamingChecks::pieceCheck()
{
    const int lack = p.m_bridge.lackPiece();
    if (lack == -1) {
        qCDebug(lcPlayer, "something stranger there is no data lack, but the timer still work..set lackdata");
        pieceCheckTimer.stop();
        return;
    }
    if (!p.askFor(lack))
        return;
    piecesIn();
}

void StreamingChecks::piecesIn()
{
    if (p.m_playerCanSeek) {
        resumeWithPieces(Mode::Seekable);
    } else if (p.hasLastPiece()) {
        // The last piece came meanwhile: reopen seekable where playback was.
        p.m_pos = p.m_engine->position();
        p.m_engine->stop();
        p.m_playState = Stopped;
        pieceCheckTimer.stop();
        fileCheckTimer.start();
        torrentFileCheck();
    } else {
        resumeWithPieces(Mode::HeadOnly);
    }
}

void StreamingChecks::resumeWithPieces(Mode mode)
{
    p.m_seeking = false;
    p.m_holdTimer.stop();
    pieceCheckTimer.stop();
    emit p.playbackStarted();
    p.refreshEngine(mode);
    p.m_view.showMessage(StreamingView::finishedText(), true);
    p.m_engine->play();
    p.m_playState = Playing;
    p.m_view.showPlayImage(true, 1);
    p.m_view.setSliderRow(mode == Mode::Seekable);
    p.m_bridge.setEnabled(true);
}

void StreamingChecks::torrentFileCheck()
{
    if (p.m_playState != Stopped) {
        fileCheckTimer.stop();
        return;
    }
    if (p.m_source != Source::TorrentFile || p.m_bitField.isEmpty())
        return;
    if (p.m_pieceLength == 0) {
        qCDebug(lcPlayer, "the m_pieceLength isn't update, just wait");
        return;
    }
    if (!p.m_engine->isReadable(p.m_path))
        return;
    // No wait for the head here: the engine starts, and a read that needs
    // a missing piece asks for it. "data caching.." stays up until the
    // first picture.
    fileCheckTimer.stop();
    p.startStreaming();
    if (p.m_pos != 0 && p.m_playerCanSeek)
        p.m_engine->setPosition(p.m_pos);
    p.m_playState = Caching;
    p.m_view.setSliderRow(false);
    p.m_view.showMessage(p.cachingMessage(), false);
}

void StreamingChecks::lastPieceCheck()
{
    if (p.m_playState == Stopped || p.m_source != Source::TorrentFile) {
        qCDebug(lcPlayer, "lastPieceCheck error,stop timer");
        lastPieceCheckTimer.stop();
        return;
    }
    if (p.hasLastPiece()) {
        // The core's order is left alone: it follows what playback asks for.
        lastPieceCheckTimer.stop();
        p.m_lastPieceSeen = true;
        // A read waiting for the last piece may go on now.
        p.refreshEngine(Mode::HeadOnly);
        p.m_view.setSliderRow(true);
    }
}
