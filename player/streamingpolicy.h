#pragma once

#include "downloads/piecemap.h"
#include "player/enginebridge.h"
#include "player/piecegate.h"
#include "player/startgate.h"
#include "player/streamingchecks.h"
#include "player/streamingview.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

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
    Q_ENUM(PlayState)
    enum class Source { None, PlainFile, TorrentFile };
    using Mode = PieceGate::Mode;

    explicit StreamingPolicy(StreamingEngine *engine, QObject *parent = nullptr);

    void setPieceSource(PieceSource *source) { m_pieceSource = source; }
    void setCheckIntervals(int piece, int file, int lastPiece)
    {
        m_checks.setIntervals(piece, file, lastPiece);
    }

    // Opening. resumePos is the position saved for the file (0..1).
    void openPlainFile(const QString &path, float resumePos);
    void openTorrentFile(const QString &path, const QString &torrentHash, int fileIndex, bool piece0Exist,
        const PieceMap &pieces, int pieceLength, float resumePos);
    void stop();
    // The play button: true when the state changed.
    bool userPlay();
    bool userPause();

    // The engine's threads meet the policy here.
    EngineBridge &bridge() { return m_bridge; }
    bool engineEvent(int type) { return m_bridge.engineEvent(type); }
    // The engine reached the end of the media (GUI thread).
    void mediaEnded();
    // The start of the one-second tick: reacts to a missing piece not dealt
    // with yet. True when the position display should follow (playing or
    // paused).
    bool tick();
    // Until the first picture after an open, a missing piece is only asked
    // for, and the message stays.
    bool awaitingFirstFrame() const { return m_bridge.awaitingFrame(); }
    // Playback moved on by itself: keeps the position to save.
    void followPlayback();
    // Ends the file once the current time reached the length.
    void checkEnd();

    // Whether the file's last piece is present: then it may play seekable.
    bool hasLastPiece() const;
    void pieceCheck() { m_checks.pieceCheck(); }
    void torrentFileCheck() { m_checks.torrentFileCheck(); }
    void lastPieceCheck() { m_checks.lastPieceCheck(); }
    void bitFieldRefresh(const PieceMap &pieces, int pieceSize);
    // The piece source has news of a download (any when hash is empty):
    // the played file's pieces are read from it again.
    void piecesUpdated(const QString &hash = QString());
    // The download rate as the list shows it, for the caching message.
    void setDownloadRate(const QString &rate)
    {
        m_view.setDownloadRate(rate);
        m_view.refreshCaching(cachingMessage());
    }
    // Both in hundredths of the length.
    void userMovePosition(int newPosition);
    void userChangePosition(int newPosition);

    PlayState playState() const { return m_playState; }
    Source source() const { return m_source; }
    Mode mode() const;
    bool playerCanSeek() const { return m_playerCanSeek; }
    float pos() const { return m_pos; }
    void setPos(float pos) { m_pos = pos; }
    float resumePos() const { return m_resumePos; }
    QString torrentHash() const { return m_torrentHash; }
    int fileIndex() const { return m_fileIndex; }
    const PieceMap &pieces() const { return m_bitField; }
    int pieceLength() const { return m_pieceLength; }
    int lackPiece() const { return m_bridge.lackPiece(); }
    // What the window shows.
    StreamingView &view() { return m_view; }
    QString message() const { return m_view.message(); }
    bool sliderEnabled() const { return m_view.sliderEnabled(); }
    bool pieceCheckActive() const { return m_checks.pieceCheckTimer.isActive(); }
    bool fileCheckActive() const { return m_checks.fileCheckTimer.isActive(); }
    bool lastPieceCheckActive() const { return m_checks.lastPieceCheckTimer.isActive(); }
    // A missing piece is given until the engine's read-ahead runs out.
    bool holdPending() const { return m_holdTimer.isActive(); }

signals:
    // Playback starts or goes on after a wait: start and pause pages go away.
    void playbackStarted();
    void endOfFile();

private:
    friend class StreamingChecks;

    void refreshEngine(Mode mode) { m_bridge.refresh(mode, m_bitField.toLatin1(), m_pieceLength); }
    QString cachingMessage() const
    {
        return m_view.cachingMessage(
            m_source == Source::TorrentFile ? m_bitField : PieceMap(), m_bridge.lackPiece());
    }
    void showPieces();
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
    // Whether the gate would serve the piece now (it and its neighbour).
    bool available(int piece) const;
    // Asks the core for the file from piece on; true when it is there.
    bool askFor(int piece);

    StreamingEngine *m_engine;
    PieceSource *m_pieceSource = nullptr;

    Source m_source = Source::None;
    QString m_path;
    QString m_torrentHash;
    int m_fileIndex = -1;
    bool m_aligned = false;
    PieceMap m_bitField;
    int m_pieceLength = 0;
    bool m_playerCanSeek = false;
    float m_pos = 0;
    float m_resumePos = 0;
    PlayState m_playState = Stopped;
    // The last piece came while head-only playback went on: the slider may seek.
    bool m_lastPieceSeen = false;
    // The user moved the position: the picture there comes as soon as the
    // read can go on, where running playback keeps a little more in hand.
    bool m_seeking = false;
    StartGate m_startGate;
    // The missing-piece event a blocked read was woken for.
    unsigned m_wokenAt = 0;

    // Runs while a read waits and playback still plays what was read ahead.
    QTimer m_holdTimer;

    EngineBridge m_bridge;
    StreamingChecks m_checks;
    StreamingView m_view;
};
