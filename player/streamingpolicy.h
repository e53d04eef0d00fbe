#pragma once

#include "player/piecegate.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <mutex>

class PieceSource;
class StreamingEngine;

// Decides when a file that may still be downloading plays, waits or reopens:
// it owns the piece state, the streaming mode and the checks that poll for
// missing data, drives the engine, and tells the window what to show. The
// window owns no streaming state of its own.
class StreamingPolicy : public QObject
{
    Q_OBJECT

public:
    enum PlayState { Stopped = 0, Paused = 1, Playing = 2, Caching = 3 };
    enum class Source { None, PlainFile, TorrentFile };
    using Mode = PieceGate::Mode;

    explicit StreamingPolicy(StreamingEngine *engine, QObject *parent = nullptr);

    void setPieceSource(PieceSource *source) { m_pieceSource = source; }
    void setCheckIntervals(int piece, int file, int lastPiece);

    // Opening. resumePos is the position saved for the file (0..1).
    void openPlainFile(const QString &path, float resumePos);
    void openTorrentFile(const QString &path, const QString &torrentHash, int fileIndex, bool piece0Exist,
        const QString &bitField, int pieceLength, float resumePos);
    void stop();
    // The play button: true when the state changed.
    bool userPlay();
    bool userPause();

    // From the engine's threads: records and answers at once; false while
    // events are not processed yet (nothing may be posted then).
    bool engineEvent(int type);
    // The engine reached the end of the media (GUI thread).
    void mediaEnded();
    // The start of the one-second tick: reacts to a missing piece not dealt
    // with yet. True when the position display should follow (playing or
    // paused).
    bool tick();
    // Until the first picture after an open, a missing piece is only asked
    // for, and the message stays.
    bool awaitingFirstFrame() const { return m_awaitingFrame; }
    // Playback moved on by itself: keeps the position to save.
    void followPlayback();
    // Ends the file once the current time reached the length.
    void checkEnd();

    bool seekable();
    void pieceCheck();
    void torrentFileCheck();
    void lastPieceCheck();
    void bitFieldRefresh(const QString &bitField, int pieceSize);
    // The download rate as the list shows it, for the caching message.
    void setDownloadRate(const QString &rate);
    // Both in hundredths of the length.
    void userMovePosition(int newPosition);
    void userChangePosition(int newPosition);

    int playState() const { return m_playState; }
    Source source() const { return m_source; }
    Mode mode() const;
    bool playerCanSeek() const { return m_playerCanSeek; }
    float pos() const { return m_pos; }
    void setPos(float pos) { m_pos = pos; }
    float resumePos() const { return m_resumePos; }
    QString torrentHash() const { return m_torrentHash; }
    int fileIndex() const { return m_fileIndex; }
    QString bitField() const { return m_bitField; }
    int pieceLength() const { return m_pieceLength; }
    int lackPiece() const { return m_BtFileLackPiece; }
    // What the overlay shows; empty when hidden.
    QString message() const { return m_message; }
    bool sliderEnabled() const { return m_sliderEnabled; }
    bool pieceCheckActive() const { return pieceCheckTimer.isActive(); }
    bool fileCheckActive() const { return fileCheckTimer.isActive(); }
    bool lastPieceCheckActive() const { return lastPieceCheckTimer.isActive(); }

signals:
    // An empty text hides the message; autoClear hides it after a while.
    void messageChanged(const QString &text, bool autoClear);
    void sliderRowChanged(bool enabled);
    // The play button's picture: the pause image or the play image, and its frame.
    void playImageChanged(bool pauseImage, int frame);
    // Playback starts or goes on after a wait: start and pause pages go away.
    void playbackStarted();
    void endOfFile();
    // What the seek bar shows as downloaded: the piece string, "1" for a
    // plain file, empty when nothing is loaded. Only sent when it changed.
    void piecesChanged(const QByteArray &pieces);

private:
    void refreshEngine(Mode mode);
    // Pieces that held playback are in: play on in the given mode.
    void resumeWithPieces(Mode mode);
    void showMessage(const QString &text, bool autoClear);
    // "data caching..", then how much of what playback waits for is in and
    // the download rate.
    QString cachingMessage() const;
    void showPieces();
    void setSliderRow(bool enabled);
    // Opens nothing: plays the opened media in the mode the pieces allow.
    void startStreaming();
    // A read waits for a piece: ask the core for it at once, and hold
    // playback if it is running.
    void handleLack();
    // How long a read may wait before playback holds: the media time in
    // three quarters of what the engine reads ahead; 0 when unknown.
    qint64 graceMs() const;
    // Pauses with "data caching.." until the pieces are in, unless the
    // missing one came meanwhile.
    void hold();
    void engineProgress(int type);
    void firstFrame();
    // At the first picture: holds the clock until a few pieces are in when
    // they come too slowly to keep up.
    void holdStartIfSlow();
    void countArrivals(const QString &bitField);
    // Whether the gate would serve the piece now (it and its neighbour).
    bool available(int piece) const;
    void piecesIn();
    bool pieceReady(int piece);

    StreamingEngine *m_engine;
    PieceSource *m_pieceSource = nullptr;

    Source m_source = Source::None;
    QString m_path;
    QString m_torrentHash;
    int m_fileIndex = -1;
    bool m_aligned = false;
    QString m_bitField;
    int m_pieceLength = 0;
    bool m_playerCanSeek = false;
    float m_pos = 0;
    float m_resumePos = 0;
    int m_playState = Stopped;
    QString m_message;
    QString m_downloadRate;
    QByteArray m_shownPieces;
    bool m_sliderEnabled = false;
    std::atomic<bool> m_awaitingFrame { false };
    // The last piece came while head-only playback went on: the slider may seek.
    bool m_lastPieceSeen = false;
    // The user moved the position: the picture there comes as soon as the
    // read can go on, where running playback keeps a little more in hand.
    bool m_seeking = false;
    qint64 m_firstTimeSeen = -1;
    bool m_pictureSeen = false;
    int m_startHeldAt = -1; // first of the pieces the clock waits for
    QElapsedTimer m_arrivals; // since the first piece came after the open
    qint64 m_arrivedPieces = 0; // pieces come since then
    qint64 m_lastArrivalMs = 0; // when the last of them came
    // Counts missing-piece events; the one a blocked read was woken for.
    std::atomic<unsigned> m_lackEvents { 0 };
    unsigned m_wokenAt = 0;

    QTimer pieceCheckTimer;
    QTimer fileCheckTimer;
    QTimer lastPieceCheckTimer;
    // Runs while a read waits and playback still plays what was read ahead.
    QTimer m_holdTimer;

    // Written by the engine's threads, read by the tick.
    std::atomic<int> m_BtFileLackPiece { -1 };
    std::atomic<bool> m_lackPiecePending { false };
    std::atomic<bool> m_eventsEnabled { false };
    // What the engine's threads may read of the piece string: a copy.
    std::mutex m_engineCopyLock;
    QByteArray m_engineBits;
    int m_enginePieceLength = 0;
    bool m_engineCanSeek = false;
};
