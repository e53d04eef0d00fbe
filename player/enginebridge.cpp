#include "enginebridge.h"

#include "platform/logging.h"
#include "player/piecegate.h"
#include "player/qupdateposevent.h"
#include "player/streamingengine.h"
#include "player/vlcengine.h"

#include <QCoreApplication>

EngineBridge::EngineBridge(StreamingEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{ }

void EngineBridge::onVleEvent(int type, void *data)
{
    auto *self = static_cast<EngineBridge *>(data);
    if (!self->engineEvent(type))
        return;
    QCoreApplication::postEvent(self, new QUpdatePosEvent(type == VlcEngine::EndReached ? 100 : 0));
}

bool EngineBridge::engineEvent(int type)
{
    if (!m_enabled) {
        qCDebug(lcPlayer, "onVleEvent: but don't push event on vlc");
        return false;
    }
    if (type == VlcEngine::NeedPieceString) {
        std::lock_guard lock(m_copyLock);
        if (m_engineBits.isEmpty())
            return false;
        m_engine->refreshBitfield(m_engineCanSeek ? PieceGate::Seekable : PieceGate::HeadOnly,
            m_engineBits.constData(), int(m_engineBits.size()), m_enginePieceLength);
    } else if (type == VlcEngine::LackData) {
        m_lackPiece = m_engine->lackPiece();
        m_lackPending = true;
        ++m_lackEvents;
        // Not on the tick: every second of waiting is a second of stall.
        emit lackReported();
    } else if (m_awaitingFrame && (type == VlcEngine::VideoOutput || type == VlcEngine::PositionChanged)) {
        emit progress(type);
    }
    return true;
}

void EngineBridge::setEngineCopy(const QByteArray &bits, int pieceLength, bool canSeek)
{
    std::lock_guard lock(m_copyLock);
    m_engineBits = bits;
    m_enginePieceLength = pieceLength;
    m_engineCanSeek = canSeek;
}

void EngineBridge::refresh(int mode, const QByteArray &bits, int pieceLength)
{
    setEngineCopy(bits, pieceLength, mode == PieceGate::Seekable);
    if (mode == PieceGate::PlainFile)
        m_engine->refreshBitfield(PieceGate::PlainFile, "", 1, 1);
    else
        m_engine->refreshBitfield(mode, bits.constData(), int(bits.size()), pieceLength);
}

void EngineBridge::clearEngineCopy()
{
    std::lock_guard lock(m_copyLock);
    m_engineBits.clear();
}

bool EngineBridge::engineCopyDiffers(const QByteArray &bits)
{
    std::lock_guard lock(m_copyLock);
    return m_engineBits != bits;
}

void EngineBridge::customEvent(QEvent *event)
{
    if (event->type() != QUpdatePosEvent::EventType)
        return;
    static const bool tracing = qEnvironmentVariableIsSet("MORVANE_UI_TRACE");
    if (tracing) {
        const qint64 at = m_engine->time();
        if (at > 0 && (m_tracedEngineTime < 0 || at < m_tracedEngineTime || at - m_tracedEngineTime >= 500)) {
            qCDebug(lcPlayer, "ui: playing at %lld", static_cast<long long>(at));
            m_tracedEngineTime = at;
        }
    }
    // The display is the tick's work. The end of the media is not always
    // seen by the tick (the engine may report no time once it has ended), so
    // it is acted on here too.
    if (static_cast<QUpdatePosEvent *>(event)->position() == 100)
        emit mediaEnded();
}
