#include "streamingpolicy.h"

#include "platform/logging.h"
#include "player/piecesource.h"
#include "player/streamingengine.h"
#include "player/vlcengine.h"

#include <QCoreApplication>

namespace {

// The window's translations hold these texts.
QString cachingText()
{
    return QCoreApplication::translate("player", "data caching..");
}

QString finishedText()
{
    return QCoreApplication::translate("player", "finsh..");
}

} // namespace

StreamingPolicy::StreamingPolicy(StreamingEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    pieceCheckTimer.setInterval(2000);
    fileCheckTimer.setInterval(2000);
    lastPieceCheckTimer.setInterval(1000);
    connect(&pieceCheckTimer, &QTimer::timeout, this, &StreamingPolicy::pieceCheck);
    connect(&fileCheckTimer, &QTimer::timeout, this, &StreamingPolicy::torrentFileCheck);
    connect(&lastPieceCheckTimer, &QTimer::timeout, this, &StreamingPolicy::lastPieceCheck);
}

void StreamingPolicy::setCheckIntervals(int piece, int file, int lastPiece)
{
    pieceCheckTimer.setInterval(piece);
    fileCheckTimer.setInterval(file);
    lastPieceCheckTimer.setInterval(lastPiece);
}

StreamingPolicy::Mode StreamingPolicy::mode() const
{
    if (m_source != Source::TorrentFile)
        return Mode::PlainFile;
    return m_playerCanSeek ? Mode::Seekable : Mode::HeadOnly;
}

void StreamingPolicy::showMessage(const QString &text, bool autoClear)
{
    // A message that clears itself leaves nothing lasting on screen.
    m_message = autoClear ? QString() : text;
    emit messageChanged(text, autoClear);
}

void StreamingPolicy::setSliderRow(bool enabled)
{
    m_sliderEnabled = enabled;
    emit sliderRowChanged(enabled);
}

bool StreamingPolicy::pieceReady(int piece)
{
    return m_pieceSource && m_pieceSource->pieceReady(m_torrentHash, m_fileIndex, piece, true);
}

bool StreamingPolicy::seekable()
{
    return m_source == Source::TorrentFile && m_pieceSource
        && m_pieceSource->hasLastPiece(m_torrentHash, m_fileIndex);
}

void StreamingPolicy::refreshEngine(Mode mode)
{
    const QByteArray bits = m_bitField.toUtf8();
    {
        std::lock_guard lock(m_engineCopyLock);
        m_engineBits = bits;
        m_enginePieceLength = m_pieceLength;
        m_engineCanSeek = mode == Mode::Seekable;
    }
    if (mode == Mode::PlainFile)
        m_engine->refreshBitfield(Mode::PlainFile, "", 1, 1);
    else
        m_engine->refreshBitfield(mode, bits.constData(), int(bits.size()), m_pieceLength);
}

// --- opening and stopping --------------------------------------------------

void StreamingPolicy::openPlainFile(const QString &path, float resumePos)
{
    m_eventsEnabled = true;
    pieceCheckTimer.stop();
    fileCheckTimer.stop();
    m_lackPiecePending = false;
    m_BtFileLackPiece = -1;
    m_source = Source::PlainFile;
    m_torrentHash.clear();
    m_fileIndex = -1;
    m_bitField.clear();
    m_pieceLength = 0;
    m_playerCanSeek = false;
    m_resumePos = m_pos = resumePos;

    m_engine->open(path);
    refreshEngine(Mode::PlainFile);
    m_engine->play();
    m_engine->setPosition(m_resumePos);

    emit playImageChanged(true, 1);
    setSliderRow(true);
    m_playState = Playing;
    showMessage(QString(), false);
    emit playbackStarted();
}

void StreamingPolicy::openTorrentFile(const QString &path, const QString &torrentHash, int fileIndex,
    bool piece0Exist, const QString &bitField, int pieceLength, float resumePos)
{
    pieceCheckTimer.stop();
    m_pos = 0;
    m_eventsEnabled = true;
    m_lackPiecePending = false;
    m_resumePos = resumePos;

    // A blank hash or no file index: not a torrent's file after all.
    const bool plain = torrentHash.trimmed().isEmpty() || fileIndex == -1;
    m_source = plain ? Source::PlainFile : Source::TorrentFile;
    m_torrentHash = plain ? QString() : torrentHash;
    m_fileIndex = fileIndex;
    m_bitField = bitField;
    m_pieceLength = pieceLength;
    m_BtFileLackPiece = -1;
    m_playerCanSeek = false;
    {
        // Opening asks for the piece string at once, from the engine's thread.
        std::lock_guard lock(m_engineCopyLock);
        m_engineBits = bitField.toUtf8();
        m_enginePieceLength = pieceLength;
        m_engineCanSeek = false;
    }
    m_engine->open(path);
    if (bitField.isEmpty())
        qCDebug(lcPlayer, "!!!bitField is empty in playFile(4)!!!!");

    if (plain) {
        refreshEngine(Mode::PlainFile);
        setSliderRow(true);
        m_engine->play();
        emit playImageChanged(true, 1);
    } else if (!piece0Exist || m_bitField.isEmpty()) {
        // The head is not there: torrentFileCheck() starts playback.
        refreshEngine(Mode::HeadOnly);
        setSliderRow(false);
        emit playImageChanged(false, 2);
        showMessage(cachingText(), false);
        fileCheckTimer.start();
        m_playState = Stopped;
        return;
    } else {
        if (seekable()) {
            refreshEngine(Mode::Seekable);
            m_playerCanSeek = true;
            setSliderRow(true);
        } else {
            refreshEngine(Mode::HeadOnly);
            setSliderRow(false);
            lastPieceCheckTimer.start();
        }
        m_engine->play();
        // A seekable file resumes where it was left, like a plain one.
        if (m_playerCanSeek && m_resumePos > 0) {
            m_pos = m_resumePos;
            m_engine->setPosition(m_resumePos);
        }
        emit playImageChanged(true, 1);
    }
    m_playState = Playing;
    emit playbackStarted();
    showMessage(QString(), false);
}

void StreamingPolicy::stop()
{
    m_playState = Stopped;
    m_source = Source::None;
    m_bitField.clear();
    m_pieceLength = 0;
    m_torrentHash.clear();
    m_playerCanSeek = false;
    {
        std::lock_guard lock(m_engineCopyLock);
        m_engineBits.clear();
    }
    setSliderRow(false);
    m_engine->stop();
    showMessage(QString(), false);
    pieceCheckTimer.stop();
    fileCheckTimer.stop();
}

bool StreamingPolicy::userPlay()
{
    if (m_playState != Paused)
        return false;
    m_engine->play();
    m_playState = Playing;
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

bool StreamingPolicy::engineEvent(int type)
{
    if (!m_eventsEnabled) {
        qCDebug(lcPlayer, "onVleEvent: but don't push event on vlc");
        return false;
    }
    if (type == VlcEngine::NeedPieceString) {
        std::lock_guard lock(m_engineCopyLock);
        if (m_engineBits.isEmpty())
            return false;
        m_engine->refreshBitfield(m_engineCanSeek ? Mode::Seekable : Mode::HeadOnly, m_engineBits.constData(),
            int(m_engineBits.size()), m_enginePieceLength);
    } else if (type == VlcEngine::LackData) {
        m_BtFileLackPiece = m_engine->lackPiece();
        m_lackPiecePending = true;
    }
    return true;
}

void StreamingPolicy::mediaEnded()
{
    if (m_playState == Playing || m_playState == Paused)
        emit endOfFile();
}

bool StreamingPolicy::tick()
{
    // Paused by the user: the missing piece is dealt with once playback
    // resumes (the engine reports it only once per piece string).
    if (m_lackPiecePending && m_playState != Paused) {
        const int lack = m_BtFileLackPiece;
        if (!m_playerCanSeek && lack == m_bitField.size() - 1) {
            m_lackPiecePending = false;
            qCDebug(lcPlayer, "error in mode 1, don't tell me about lack lastpiece");
            return false;
        }
        m_lackPiecePending = false;
        const bool ready = pieceReady(lack);
        if (ready && m_playerCanSeek) {
            // Only the priority had to move; the engine gets the newer string
            // so that a read waiting for that piece goes on.
            refreshEngine(Mode::Seekable);
            setSliderRow(true);
        } else if (m_playState == Playing || m_playState == Caching) {
            m_engine->pause();
            m_playState = Caching;
            emit playImageChanged(false, 2);
            showMessage(cachingText(), false);
            setSliderRow(false);
            if (!pieceCheckTimer.isActive())
                pieceCheckTimer.start();
        }
    }
    return m_playState == Paused || m_playState == Playing;
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

// --- the checks ------------------------------------------------------------

void StreamingPolicy::pieceCheck()
{
    const int lack = m_BtFileLackPiece;
    if (lack == -1) {
        qCDebug(lcPlayer, "something stranger there is no data lack, but the timer still work..set lackdata");
        pieceCheckTimer.stop();
        return;
    }
    if (!pieceReady(lack))
        return;
    if (m_playerCanSeek) {
        resumeWithPieces(Mode::Seekable);
    } else if (seekable()) {
        // The last piece came meanwhile: reopen seekable where playback was.
        m_pos = m_engine->position();
        m_engine->stop();
        m_playState = Stopped;
        pieceCheckTimer.stop();
        fileCheckTimer.start();
    } else {
        resumeWithPieces(Mode::HeadOnly);
    }
}

void StreamingPolicy::resumeWithPieces(Mode mode)
{
    pieceCheckTimer.stop();
    emit playbackStarted();
    refreshEngine(mode);
    showMessage(finishedText(), true);
    m_engine->play();
    m_playState = Playing;
    emit playImageChanged(true, 1);
    setSliderRow(mode == Mode::Seekable);
    m_eventsEnabled = true;
}

void StreamingPolicy::torrentFileCheck()
{
    if (m_playState != Stopped) {
        fileCheckTimer.stop();
        return;
    }
    if (m_source != Source::TorrentFile || !pieceReady(0))
        return;
    if (m_pieceLength == 0) {
        qCDebug(lcPlayer, "the m_pieceLength isn't update, just wait");
        return;
    }
    fileCheckTimer.stop();
    emit playbackStarted();
    if (seekable()) {
        refreshEngine(Mode::Seekable);
        m_playerCanSeek = true;
        setSliderRow(true);
    } else {
        refreshEngine(Mode::HeadOnly);
        if (!lastPieceCheckTimer.isActive())
            lastPieceCheckTimer.start();
        m_playerCanSeek = false;
        setSliderRow(false);
    }
    showMessage(finishedText(), true);
    m_engine->play();
    if (m_pos != 0 && m_playerCanSeek)
        m_engine->setPosition(m_pos);
    m_playState = Playing;
    emit playImageChanged(true, 1);
}

void StreamingPolicy::lastPieceCheck()
{
    if (m_playState == Stopped || m_source != Source::TorrentFile) {
        qCDebug(lcPlayer, "lastPieceCheck error,stop timer");
        lastPieceCheckTimer.stop();
        return;
    }
    if (seekable()) {
        lastPieceCheckTimer.stop();
        pieceReady(0);
        // A read waiting quietly for the last piece may go on now.
        refreshEngine(Mode::HeadOnly);
        setSliderRow(true);
    }
}

void StreamingPolicy::bitFieldRefresh(const QString &bitField, int pieceSize)
{
    if (m_source != Source::TorrentFile)
        return;
    m_bitField = bitField;
    m_pieceLength = pieceSize;
    // Fresh news: check at once rather than at the next poll, so playback
    // does not wait for a piece that is already there.
    if (m_playState == Caching && pieceCheckTimer.isActive())
        pieceCheck();
    else if (m_playState == Stopped && fileCheckTimer.isActive())
        torrentFileCheck();
}

// --- seeking ---------------------------------------------------------------

void StreamingPolicy::userMovePosition(int newPosition)
{
    m_pos = float(newPosition) / 100.0f;
    if (m_source == Source::PlainFile) {
        m_engine->setPosition(m_pos);
    } else if (m_playerCanSeek) {
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
        refreshEngine(Mode::Seekable);
        m_engine->setPosition(m_pos);
    } else if (m_source == Source::TorrentFile && seekable()) {
        // Head-only playback cannot seek: reopen seekable at the new place.
        m_engine->stop();
        showMessage(cachingText(), false);
        m_playState = Stopped;
        fileCheckTimer.start();
    } else if (m_source == Source::TorrentFile) {
        refreshEngine(Mode::HeadOnly);
    }
}
