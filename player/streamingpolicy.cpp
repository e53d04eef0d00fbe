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

// Waiting longer for a piece before holding playback risks a visible stop.
constexpr qint64 maxGraceMs = 500;
// The clock starts at the first picture only on a link this much (in
// tenths) faster than the file plays.
constexpr qint64 startFactorTenths = 17; // measured 1.5x links read 1.3-1.6, 2x links 1.8-2.1

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
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, &StreamingPolicy::hold);
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

QString StreamingPolicy::cachingMessage() const
{
    QString text = cachingText();
    const int lack = m_BtFileLackPiece;
    const int last = int(m_bitField.size()) - 1;
    if (m_source == Source::TorrentFile && lack >= 0 && lack <= last) {
        // The pieces the wait asks the list about: a few from the missing one.
        const int end = qMin(lack + (lack == 0 ? 4 : 2), last);
        int present = 0;
        for (int piece = lack; piece <= end; ++piece)
            present += m_bitField.at(piece) == QLatin1Char('1');
        text += QStringLiteral(" %1 %").arg(present * 100 / (end - lack + 1));
    }
    if (!m_downloadRate.isEmpty())
        text += QStringLiteral(" \u00b7 ") + m_downloadRate;
    return text;
}

void StreamingPolicy::showPieces()
{
    QByteArray pieces;
    if (m_source == Source::PlainFile)
        pieces = "1";
    else if (m_source == Source::TorrentFile)
        pieces = m_bitField.toLatin1();
    if (pieces == m_shownPieces)
        return;
    m_shownPieces = pieces;
    emit piecesChanged(pieces);
}

void StreamingPolicy::setDownloadRate(const QString &rate)
{
    m_downloadRate = rate;
    if (!m_message.startsWith(cachingText()))
        return;
    const QString text = cachingMessage();
    if (text != m_message)
        showMessage(text, false);
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
    m_holdTimer.stop();
    m_lackPiecePending = false;
    m_BtFileLackPiece = -1;
    m_source = Source::PlainFile;
    m_torrentHash.clear();
    m_fileIndex = -1;
    m_bitField.clear();
    m_pieceLength = 0;
    m_playerCanSeek = false;
    m_resumePos = m_pos = resumePos;

    m_engine->setSource(false, false);
    m_engine->open(path);
    showPieces();
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
    m_holdTimer.stop();
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
    m_arrivals.invalidate();
    m_arrivedPieces = 0;
    m_lastArrivalMs = 0;
    // The first file of a torrent starts with its first piece; where a later
    // file starts inside its first piece is not known here.
    m_aligned = !plain && fileIndex == 0;
    m_engine->setSource(!plain, m_aligned);
    m_playerCanSeek = false;
    {
        // Opening asks for the piece string at once, from the engine's thread.
        std::lock_guard lock(m_engineCopyLock);
        m_engineBits = bitField.toUtf8();
        m_enginePieceLength = pieceLength;
        m_engineCanSeek = false;
    }
    m_path = path;
    m_engine->open(path);
    showPieces();
    if (bitField.isEmpty())
        qCDebug(lcPlayer, "!!!bitField is empty in playFile(4)!!!!");

    if (plain) {
        refreshEngine(Mode::PlainFile);
        setSliderRow(true);
        m_engine->play();
        emit playImageChanged(true, 1);
    } else if (m_bitField.isEmpty() || m_pieceLength <= 0 || !m_engine->isReadable(path)) {
        // Nothing can be read without the piece string or the file:
        // torrentFileCheck() starts playback once they are here.
        refreshEngine(Mode::HeadOnly);
        setSliderRow(false);
        emit playImageChanged(false, 2);
        showMessage(cachingMessage(), false);
        fileCheckTimer.start();
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
            setSliderRow(false);
            emit playImageChanged(false, 2);
            showMessage(cachingMessage(), false);
            return;
        }
        emit playImageChanged(true, 1);
    }
    m_playState = Playing;
    emit playbackStarted();
    showMessage(QString(), false);
}

void StreamingPolicy::startStreaming()
{
    m_awaitingFrame = true;
    m_seeking = false;
    m_firstTimeSeen = -1;
    m_pictureSeen = false;
    m_startHeldAt = -1;
    // Until this open's first read waits, nothing is known to be missing.
    m_BtFileLackPiece = -1;
    m_lastPieceSeen = false;
    if (seekable()) {
        refreshEngine(Mode::Seekable);
        m_playerCanSeek = true;
        setSliderRow(true);
    } else {
        refreshEngine(Mode::HeadOnly);
        m_playerCanSeek = false;
        setSliderRow(false);
        lastPieceCheckTimer.start();
    }
    m_engine->play();
}

void StreamingPolicy::stop()
{
    m_awaitingFrame = false;
    m_holdTimer.stop();
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
    showPieces();
    pieceCheckTimer.stop();
    fileCheckTimer.stop();
}

bool StreamingPolicy::userPlay()
{
    if (m_playState != Paused)
        return false;
    m_engine->play();
    m_playState = Playing;
    // Paused by the user while a read waited: the wait goes on from here.
    const int lack = m_BtFileLackPiece;
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
        ++m_lackEvents;
        // Not on the tick: every second of waiting is a second of stall.
        QMetaObject::invokeMethod(this, &StreamingPolicy::handleLack, Qt::QueuedConnection);
    } else if (m_awaitingFrame && (type == VlcEngine::VideoOutput || type == VlcEngine::PositionChanged)) {
        QMetaObject::invokeMethod(
            this, [this, type] { engineProgress(type); }, Qt::QueuedConnection);
    }
    return true;
}

void StreamingPolicy::engineProgress(int type)
{
    if (!m_awaitingFrame)
        return;
    if (type == VlcEngine::VideoOutput) {
        // The picture is up, but the clock starts only once the engine holds
        // a little more: until then a read that waits only asks.
        if (!m_pictureSeen) {
            qCDebug(lcPlayer, "first picture of this open");
            m_pictureSeen = true;
            holdStartIfSlow();
        }
        return;
    }
    // Position events come only while the clock runs; without a picture (no
    // video), time that moves on says the same.
    const qint64 now = m_engine->time();
    if (m_pictureSeen && now > 0)
        firstFrame();
    else if (m_firstTimeSeen < 0)
        m_firstTimeSeen = now;
    else if (now > m_firstTimeSeen)
        firstFrame();
}

void StreamingPolicy::holdStartIfSlow()
{
    const qint64 length = m_engine->length();
    const qint64 bytes = qint64(m_bitField.size()) * m_pieceLength;
    const int from = int(m_bitField.indexOf(QLatin1Char('0'), qMax(0, int(m_BtFileLackPiece))));
    if (from < 0 || length <= 0 || bytes <= 0 || !m_arrivals.isValid())
        return;
    // A link not well above the file's rate would stop playback again a
    // moment after it started: the clock waits for a few pieces, as after a
    // stop, with the picture up.
    const qint64 arrived = m_arrivedPieces * m_pieceLength * 1000 / qMax<qint64>(1, m_lastArrivalMs);
    const qint64 needed = bytes * 1000 / length;
    if (m_arrivedPieces == 0 || arrived * 10 >= needed * startFactorTenths)
        return;
    qCDebug(lcPlayer, "the clock waits for pieces from %d (%lld B/s in, %lld B/s played)", from,
        static_cast<long long>(arrived), static_cast<long long>(needed));
    m_startHeldAt = from;
    m_engine->pause();
}

void StreamingPolicy::firstFrame()
{
    m_awaitingFrame = false;
    // Caching without a piece check running: the start's own wait.
    if (m_playState != Caching || pieceCheckTimer.isActive())
        return;
    m_playState = Playing;
    emit playbackStarted();
    emit playImageChanged(true, 1);
    setSliderRow(m_playerCanSeek || m_lastPieceSeen);
    showMessage(finishedText(), true);
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
    if (!m_lackPiecePending || m_playState == Paused || m_source != Source::TorrentFile)
        return;
    m_lackPiecePending = false;
    const int lack = m_BtFileLackPiece;
    if (lack < 0)
        return;
    qCDebug(lcPlayer, "a read waits for piece %d (state %d, first picture %s)", lack, m_playState,
        m_awaitingFrame ? "awaited" : "shown");
    if (m_awaitingFrame) {
        // Before the first picture the engine reads what its container
        // needs at open, the tail included: fetch that now, without pausing
        // a player that has not started.
        pieceReady(lack);
        if (m_playState == Playing) {
            m_playState = Caching;
            setSliderRow(false);
            emit playImageChanged(false, 2);
        }
        const QString text = cachingMessage();
        if (text != m_message)
            showMessage(text, false);
        return;
    }
    if (!m_playerCanSeek && lack == m_bitField.size() - 1) {
        qCDebug(lcPlayer, "error in mode 1, don't tell me about lack lastpiece");
        return;
    }
    if (pieceReady(lack)) {
        // Only the priority had to move; the engine gets the newer string
        // so that a read waiting for that piece goes on.
        refreshEngine(mode());
        setSliderRow(m_playerCanSeek || m_lastPieceSeen);
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
    const int lack = m_BtFileLackPiece;
    if (m_playState == Playing && lack >= 0 && available(lack))
        return; // came in time
    if (m_playState == Playing || m_playState == Caching) {
        m_engine->pause();
        m_playState = Caching;
        emit playImageChanged(false, 2);
        showMessage(cachingMessage(), false);
        setSliderRow(false);
        if (!pieceCheckTimer.isActive())
            pieceCheckTimer.start();
    }
}

bool StreamingPolicy::available(int piece) const
{
    const int last = int(m_bitField.size()) - 1;
    if (piece < 0 || piece > last)
        return false;
    return m_bitField.at(piece) == QLatin1Char('1')
        && (m_aligned || m_bitField.at(qMin(piece + 1, last)) == QLatin1Char('1'));
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
    piecesIn();
}

void StreamingPolicy::piecesIn()
{
    if (m_playerCanSeek) {
        resumeWithPieces(Mode::Seekable);
    } else if (seekable()) {
        // The last piece came meanwhile: reopen seekable where playback was.
        m_pos = m_engine->position();
        m_engine->stop();
        m_playState = Stopped;
        pieceCheckTimer.stop();
        fileCheckTimer.start();
        torrentFileCheck();
    } else {
        resumeWithPieces(Mode::HeadOnly);
    }
}

void StreamingPolicy::resumeWithPieces(Mode mode)
{
    m_seeking = false;
    m_holdTimer.stop();
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
    if (m_source != Source::TorrentFile || m_bitField.isEmpty())
        return;
    if (m_pieceLength == 0) {
        qCDebug(lcPlayer, "the m_pieceLength isn't update, just wait");
        return;
    }
    if (!m_engine->isReadable(m_path))
        return;
    // No wait for the head here: the engine starts, and a read that needs
    // a missing piece asks for it. "data caching.." stays up until the
    // first picture.
    fileCheckTimer.stop();
    startStreaming();
    if (m_pos != 0 && m_playerCanSeek)
        m_engine->setPosition(m_pos);
    m_playState = Caching;
    setSliderRow(false);
    showMessage(cachingMessage(), false);
}

void StreamingPolicy::lastPieceCheck()
{
    if (m_playState == Stopped || m_source != Source::TorrentFile) {
        qCDebug(lcPlayer, "lastPieceCheck error,stop timer");
        lastPieceCheckTimer.stop();
        return;
    }
    if (seekable()) {
        // The core's order is left alone: it follows what playback asks for.
        lastPieceCheckTimer.stop();
        m_lastPieceSeen = true;
        // A read waiting for the last piece may go on now.
        refreshEngine(Mode::HeadOnly);
        setSliderRow(true);
    }
}

void StreamingPolicy::countArrivals(const QString &bitField)
{
    // From the first piece that came after the open: the rate of the link,
    // not of the wait for metadata and the first request.
    const qsizetype now = bitField.count(QLatin1Char('1'));
    const qsizetype before = m_bitField.count(QLatin1Char('1'));
    if (now <= before || bitField.size() != m_bitField.size())
        return;
    if (!m_arrivals.isValid()) {
        m_arrivals.start();
    } else {
        m_arrivedPieces += now - before;
        m_lastArrivalMs = m_arrivals.elapsed();
    }
}

void StreamingPolicy::bitFieldRefresh(const QString &bitField, int pieceSize)
{
    if (m_source != Source::TorrentFile)
        return;
    countArrivals(bitField);
    m_bitField = bitField;
    m_pieceLength = pieceSize;
    showPieces();
    if (m_startHeldAt >= 0 && m_awaitingFrame) {
        const int last = int(m_bitField.size()) - 1;
        bool ready = true;
        for (int piece = m_startHeldAt; piece <= qMin(m_startHeldAt + 2, last) && ready; ++piece)
            ready = m_bitField.at(piece) == QLatin1Char('1');
        if (ready) {
            m_startHeldAt = -1;
            refreshEngine(mode());
            m_engine->play();
        }
    }
    if (m_message.startsWith(cachingText())) {
        const QString text = cachingMessage();
        if (text != m_message)
            showMessage(text, false);
    }
    // Fresh news: a read that waits for a piece now here goes on at once,
    // rather than at the next poll.
    const int lack = m_BtFileLackPiece;
    const unsigned events = m_lackEvents;
    const bool held = m_playState == Caching && pieceCheckTimer.isActive();
    bool wake = false;
    if (m_playState != Stopped && events != m_wokenAt && available(lack)) {
        if (!held) {
            m_wokenAt = events;
            m_holdTimer.stop();
            wake = true;
            qCDebug(lcPlayer, "piece %d is in: the waiting read goes on", lack);
        } else if (m_seeking) {
            m_wokenAt = events;
            piecesIn();
            return;
        }
    }
    // Running playback reads on through what came without waiting first.
    // Held playback keeps its string: a read that went on would stop at a
    // later piece and the hold would wait for that one instead.
    if (m_playState != Stopped && !held) {
        bool stale = false;
        {
            std::lock_guard lock(m_engineCopyLock);
            stale = m_engineBits != m_bitField.toLatin1();
        }
        if (wake || stale)
            refreshEngine(mode());
    }
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
    } else if (m_source == Source::TorrentFile && seekable()) {
        // Head-only playback cannot seek: reopen seekable at the new place.
        m_engine->stop();
        showMessage(cachingMessage(), false);
        m_playState = Stopped;
        fileCheckTimer.start();
        torrentFileCheck();
    } else if (m_source == Source::TorrentFile) {
        refreshEngine(Mode::HeadOnly);
    }
}
