#include "streamingpolicy.h"

#include "platform/logging.h"
#include "player/piecesource.h"
#include "player/streamingengine.h"
#include "player/vlcengine.h"

namespace {

// Waiting longer for a piece before holding playback risks a visible stop.
constexpr qint64 maxGraceMs = 500;

} // namespace

StreamingPolicy::StreamingPolicy(StreamingEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_bridge(engine)
    , m_checks(*this)
{
    // Queued also when a test reports from the GUI thread: the engine's
    // thread only ever hands over.
    connect(&m_bridge, &EngineBridge::lackReported, this, &StreamingPolicy::handleLack, Qt::QueuedConnection);
    connect(&m_bridge, &EngineBridge::progress, this, &StreamingPolicy::engineProgress, Qt::QueuedConnection);
    connect(&m_bridge, &EngineBridge::mediaEnded, this, &StreamingPolicy::mediaEnded);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, &StreamingPolicy::hold);
}

StreamingPolicy::Mode StreamingPolicy::mode() const
{
    if (m_source != Source::TorrentFile)
        return Mode::PlainFile;
    return m_playerCanSeek ? Mode::Seekable : Mode::HeadOnly;
}

void StreamingPolicy::showPieces()
{
    if (m_source == Source::PlainFile)
        m_view.showPieces("1");
    else
        m_view.showPieces(m_source == Source::TorrentFile ? m_bitField.toLatin1() : QByteArray());
}

bool StreamingPolicy::askFor(int piece)
{
    if (!m_pieceSource)
        return false;
    m_pieceSource->requestFrom(m_torrentHash, m_fileIndex, piece);
    return m_pieceSource->piecesPresent(m_torrentHash, m_fileIndex, piece);
}

bool StreamingPolicy::hasLastPiece() const
{
    return m_source == Source::TorrentFile && m_pieceSource
        && m_pieceSource->hasLastPiece(m_torrentHash, m_fileIndex);
}

// --- opening and stopping --------------------------------------------------

void StreamingPolicy::openPlainFile(const QString &path, float resumePos)
{
    m_bridge.setEnabled(true);
    m_checks.pieceCheckTimer.stop();
    m_checks.fileCheckTimer.stop();
    m_holdTimer.stop();
    m_bridge.setLackPending(false);
    m_bridge.setLackPiece(-1);
    m_source = Source::PlainFile;
    m_torrentHash.clear();
    m_fileIndex = -1;
    m_bitField = PieceMap();
    m_pieceLength = 0;
    m_playerCanSeek = false;
    m_resumePos = m_pos = resumePos;

    m_engine->setSource(false, false);
    m_engine->open(path);
    showPieces();
    refreshEngine(Mode::PlainFile);
    m_engine->play();
    m_engine->setPosition(m_resumePos);

    m_view.showPlayImage(true, 1);
    m_view.setSliderRow(true);
    m_playState = Playing;
    m_view.showMessage(QString(), false);
    emit playbackStarted();
}

void StreamingPolicy::openTorrentFile(const QString &path, const QString &torrentHash, int fileIndex,
    bool piece0Exist, const PieceMap &bitField, int pieceLength, float resumePos)
{
    m_checks.pieceCheckTimer.stop();
    m_holdTimer.stop();
    m_pos = 0;
    m_bridge.setEnabled(true);
    m_bridge.setLackPending(false);
    m_resumePos = resumePos;

    // A blank hash or no file index: not a torrent's file after all.
    const bool plain = torrentHash.trimmed().isEmpty() || fileIndex == -1;
    m_source = plain ? Source::PlainFile : Source::TorrentFile;
    m_torrentHash = plain ? QString() : torrentHash;
    m_fileIndex = fileIndex;
    m_bitField = bitField;
    m_pieceLength = pieceLength;
    m_bridge.setLackPiece(-1);
    m_startGate.restart();
    // The first file of a torrent starts with its first piece; where a later
    // file starts inside its first piece is not known here.
    m_aligned = !plain && fileIndex == 0;
    m_engine->setSource(!plain, m_aligned);
    m_playerCanSeek = false;
    // Opening asks for the piece string at once, from the engine's thread.
    m_bridge.setEngineCopy(bitField.toLatin1(), pieceLength, false);
    m_path = path;
    m_engine->open(path);
    showPieces();
    if (bitField.isEmpty())
        qCDebug(lcPlayer, "!!!bitField is empty in playFile(4)!!!!");

    if (plain) {
        refreshEngine(Mode::PlainFile);
        m_view.setSliderRow(true);
        m_engine->play();
        m_view.showPlayImage(true, 1);
    } else if (m_bitField.isEmpty() || m_pieceLength <= 0 || !m_engine->isReadable(path)) {
        // Nothing can be read without the piece string or the file:
        // torrentFileCheck() starts playback once they are here.
        refreshEngine(Mode::HeadOnly);
        m_view.showWaiting(cachingMessage());
        m_checks.fileCheckTimer.start();
        m_playState = Stopped;
        return;
    } else {
        // The engine starts at once: the gate holds its reads until the
        // pieces they need are in, and each wait asks the core for them.
        startStreaming();
        // A seekable file resumes where it was left, like a plain one.
        if (m_playerCanSeek && m_resumePos > 0) {
            m_pos = m_resumePos;
            m_engine->setPosition(m_resumePos);
        }
        if (!piece0Exist) {
            m_playState = Caching;
            m_view.showWaiting(cachingMessage());
            return;
        }
        m_view.showPlayImage(true, 1);
    }
    m_playState = Playing;
    emit playbackStarted();
    m_view.showMessage(QString(), false);
}

void StreamingPolicy::startStreaming()
{
    m_bridge.setAwaitingFrame(true);
    m_seeking = false;
    m_startGate.newOpen();
    // Until this open's first read waits, nothing is known to be missing.
    m_bridge.setLackPiece(-1);
    m_lastPieceSeen = false;
    if (hasLastPiece()) {
        refreshEngine(Mode::Seekable);
        m_playerCanSeek = true;
        m_view.setSliderRow(true);
    } else {
        refreshEngine(Mode::HeadOnly);
        m_playerCanSeek = false;
        m_view.setSliderRow(false);
        m_checks.lastPieceCheckTimer.start();
    }
    m_engine->play();
}

void StreamingPolicy::stop()
{
    m_bridge.setAwaitingFrame(false);
    m_holdTimer.stop();
    m_playState = Stopped;
    m_source = Source::None;
    m_bitField = PieceMap();
    m_pieceLength = 0;
    m_torrentHash.clear();
    m_playerCanSeek = false;
    m_bridge.clearEngineCopy();
    m_view.setSliderRow(false);
    m_engine->stop();
    m_view.showMessage(QString(), false);
    showPieces();
    m_checks.pieceCheckTimer.stop();
    m_checks.fileCheckTimer.stop();
}

bool StreamingPolicy::userPlay()
{
    if (m_playState != Paused)
        return false;
    m_engine->play();
    m_playState = Playing;
    // Paused by the user while a read waited: the wait goes on from here.
    const int lack = m_bridge.lackPiece();
    if (m_source == Source::TorrentFile && lack >= 0 && !available(lack))
        m_holdTimer.start(int(graceMs()));
    return true;
}

bool StreamingPolicy::userPause()
{
    if (m_playState != Playing)
        return false;
    m_engine->pause();
    m_playState = Paused;
    return true;
}

// --- engine events ---------------------------------------------------------

void StreamingPolicy::engineProgress(int type)
{
    if (!m_bridge.awaitingFrame())
        return;
    const bool picture = type == VlcEngine::VideoOutput;
    const StartGate::Step step = m_startGate.progress(picture, picture ? 0 : m_engine->time(),
        m_engine->length(), m_bitField, m_pieceLength, m_bridge.lackPiece());
    if (step == StartGate::HoldClock)
        m_engine->pause();
    else if (step == StartGate::Started)
        firstFrame();
}

void StreamingPolicy::firstFrame()
{
    m_bridge.setAwaitingFrame(false);
    // Caching without a piece check running: the start's own wait.
    if (m_playState != Caching || m_checks.pieceCheckTimer.isActive())
        return;
    m_playState = Playing;
    emit playbackStarted();
    m_view.showPlayImage(true, 1);
    m_view.setSliderRow(m_playerCanSeek || m_lastPieceSeen);
    m_view.showMessage(StreamingView::finishedText(), true);
}

void StreamingPolicy::mediaEnded()
{
    if (m_playState == Playing || m_playState == Paused)
        emit endOfFile();
}

bool StreamingPolicy::tick()
{
    handleLack();
    return m_playState == Paused || m_playState == Playing;
}

void StreamingPolicy::handleLack()
{
    // Paused by the user: the missing piece is dealt with once playback
    // resumes (the engine reports it only once per piece string).
    if (!m_bridge.lackPending() || m_playState == Paused || m_source != Source::TorrentFile)
        return;
    m_bridge.setLackPending(false);
    const int lack = m_bridge.lackPiece();
    if (lack < 0)
        return;
    qCDebug(lcPlayer, "a read waits for piece %d (state %d, first picture %s)", lack, m_playState,
        m_bridge.awaitingFrame() ? "awaited" : "shown");
    if (m_bridge.awaitingFrame()) {
        // Before the first picture the engine reads what its container
        // needs at open, the tail included: fetch that now, without pausing
        // a player that has not started.
        askFor(lack);
        if (m_playState == Playing) {
            m_playState = Caching;
            m_view.setSliderRow(false);
            m_view.showPlayImage(false, 2);
        }
        const QString text = cachingMessage();
        if (text != m_view.message())
            m_view.showMessage(text, false);
        return;
    }
    if (!m_playerCanSeek && lack == m_bitField.size() - 1) {
        qCDebug(lcPlayer, "error in mode 1, don't tell me about lack lastpiece");
        return;
    }
    if (askFor(lack)) {
        // Only the priority had to move; the engine gets the newer string
        // so that a read waiting for that piece goes on.
        refreshEngine(mode());
        m_view.setSliderRow(m_playerCanSeek || m_lastPieceSeen);
        return;
    }
    // The engine still plays what it read ahead. The pause must come while
    // it does: once its demuxer waits in a read too, a pause only takes
    // effect after the read, and the clock will have run on. Until then the
    // piece may come without a visible stop.
    const qint64 grace = graceMs();
    if (m_playState == Playing && grace > 0) {
        m_holdTimer.start(int(grace));
        return;
    }
    hold();
}

qint64 StreamingPolicy::graceMs() const
{
    const qint64 length = m_engine->length();
    const qint64 bytes = qint64(m_bitField.size()) * m_pieceLength;
    if (length <= 0 || bytes <= 0)
        return 0;
    return qMin<qint64>(maxGraceMs, m_engine->readAheadBytes() * length / bytes * 3 / 4);
}

void StreamingPolicy::hold()
{
    m_holdTimer.stop();
    const int lack = m_bridge.lackPiece();
    if (m_playState == Playing && lack >= 0 && available(lack))
        return; // came in time
    if (m_playState == Playing || m_playState == Caching) {
        m_engine->pause();
        m_playState = Caching;
        m_view.showWaiting(cachingMessage());
        if (!m_checks.pieceCheckTimer.isActive())
            m_checks.pieceCheckTimer.start();
    }
}

bool StreamingPolicy::available(int piece) const
{
    const int last = m_bitField.size() - 1;
    if (piece < 0 || piece > last)
        return false;
    return m_bitField.has(piece) && (m_aligned || m_bitField.has(qMin(piece + 1, last)));
}

void StreamingPolicy::followPlayback()
{
    if (m_playState == Playing)
        m_pos = qBound(0.0f, m_engine->position(), 1.0f);
}

void StreamingPolicy::checkEnd()
{
    const qint64 total = m_engine->length() / 1000;
    if (total != 0 && qMax<qint64>(m_engine->time(), 0) / 1000 == total)
        mediaEnded();
}

void StreamingPolicy::piecesUpdated(const QString &hash)
{
    if (m_source != Source::TorrentFile || !m_pieceSource || (!hash.isEmpty() && hash != m_torrentHash))
        return;
    m_view.setWaitCause(m_pieceSource->waitCause(m_torrentHash));
    const PieceMap pieces = m_pieceSource->filePieces(m_torrentHash, m_fileIndex);
    if (!pieces.isEmpty())
        bitFieldRefresh(pieces, m_pieceSource->pieceLength(m_torrentHash));
}

void StreamingPolicy::bitFieldRefresh(const PieceMap &pieces, int pieceSize)
{
    if (m_source != Source::TorrentFile)
        return;
    m_startGate.countArrivals(m_bitField, pieces);
    m_bitField = pieces;
    m_pieceLength = pieceSize;
    showPieces();
    if (m_startGate.held() && m_bridge.awaitingFrame() && m_startGate.releaseIfIn(m_bitField)) {
        refreshEngine(mode());
        m_engine->play();
    }
    m_view.refreshCaching(cachingMessage());
    // Fresh news: a read that waits for a piece now here goes on at once,
    // rather than at the next poll.
    const int lack = m_bridge.lackPiece();
    const unsigned events = m_bridge.lackEvents();
    const bool held = m_playState == Caching && m_checks.pieceCheckTimer.isActive();
    bool wake = false;
    if (m_playState != Stopped && events != m_wokenAt && available(lack)) {
        if (!held) {
            m_wokenAt = events;
            m_holdTimer.stop();
            wake = true;
            qCDebug(lcPlayer, "piece %d is in: the waiting read goes on", lack);
        } else if (m_seeking) {
            m_wokenAt = events;
            m_checks.piecesIn();
            return;
        }
    }
    // Running playback reads on through what came without waiting first.
    // Held playback keeps its string: a read that went on would stop at a
    // later piece and the hold would wait for that one instead.
    if (m_playState != Stopped && !held && (wake || m_bridge.engineCopyDiffers(m_bitField.toLatin1())))
        refreshEngine(mode());
    if (m_playState == Caching && m_checks.pieceCheckTimer.isActive())
        m_checks.pieceCheck();
    else if (m_playState == Stopped && m_checks.fileCheckTimer.isActive())
        m_checks.torrentFileCheck();
}

// --- seeking ---------------------------------------------------------------

void StreamingPolicy::userMovePosition(int newPosition)
{
    m_pos = float(newPosition) / 100.0f;
    if (m_source == Source::PlainFile) {
        m_engine->setPosition(m_pos);
    } else if (m_playerCanSeek) {
        m_seeking = true;
        refreshEngine(Mode::Seekable);
        m_engine->setPosition(m_pos);
    } else if (m_source == Source::TorrentFile) {
        refreshEngine(Mode::HeadOnly);
        qCDebug(lcPlayer, "sorry!! we are downloading the piece,we can't move now");
    }
}

void StreamingPolicy::userChangePosition(int newPosition)
{
    m_pos = float(newPosition) / 100.0f;
    if (m_source == Source::PlainFile) {
        m_engine->setPosition(m_pos);
    } else if (m_playerCanSeek) {
        m_seeking = true;
        refreshEngine(Mode::Seekable);
        m_engine->setPosition(m_pos);
    } else if (m_source == Source::TorrentFile && hasLastPiece()) {
        // Head-only playback cannot seek: reopen seekable at the new place.
        m_engine->stop();
        m_view.showMessage(cachingMessage(), false);
        m_playState = Stopped;
        m_checks.fileCheckTimer.start();
        m_checks.torrentFileCheck();
    } else if (m_source == Source::TorrentFile) {
        refreshEngine(Mode::HeadOnly);
    }
}
