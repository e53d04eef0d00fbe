#pragma once

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <mutex>

class StreamingEngine;

// Where the engine's threads meet the GUI thread: the engine's callback
// records what happened and hands it over queued; nothing else runs there.
// The streaming policy owns it and acts on what it hands over.
class EngineBridge : public QObject
{
    Q_OBJECT

public:
    explicit EngineBridge(StreamingEngine *engine, QObject *parent = nullptr);

    // The engine's event callback; data is the bridge.
    static void onVleEvent(int type, void *data);
    // From the engine's threads: records and answers at once; false while
    // events are not processed yet (nothing may be posted then).
    bool engineEvent(int type);

    // The rest is the GUI thread's.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    void setAwaitingFrame(bool awaiting) { m_awaitingFrame = awaiting; }
    bool awaitingFrame() const { return m_awaitingFrame; }
    // The piece the last waiting read needs; -1 when none.
    int lackPiece() const { return m_lackPiece; }
    void setLackPiece(int piece) { m_lackPiece = piece; }
    // A missing piece was reported and not dealt with yet.
    bool lackPending() const { return m_lackPending; }
    void setLackPending(bool pending) { m_lackPending = pending; }
    // Counts missing-piece events.
    unsigned lackEvents() const { return m_lackEvents; }
    // What the engine's threads may read of the pieces: a copy, handed to the
    // engine when it opens a media.
    void setEngineCopy(const QByteArray &bits, int pieceLength, bool canSeek);
    // Hands the engine newer pieces in a mode (PieceGate::Mode), keeping the copy.
    void refresh(int mode, const QByteArray &bits, int pieceLength);
    void clearEngineCopy();
    bool engineCopyDiffers(const QByteArray &bits);

signals:
    // Queued to the GUI thread.
    void lackReported();
    void progress(int type);
    void mediaEnded();

protected:
    void customEvent(QEvent *event) override;

private:
    StreamingEngine *m_engine;
    std::atomic<bool> m_enabled { false };
    std::atomic<bool> m_awaitingFrame { false };
    std::atomic<int> m_lackPiece { -1 };
    std::atomic<bool> m_lackPending { false };
    std::atomic<unsigned> m_lackEvents { 0 };
    std::mutex m_copyLock;
    QByteArray m_engineBits;
    int m_enginePieceLength = 0;
    bool m_engineCanSeek = false;
    qint64 m_tracedEngineTime = -1;
};
