#include "saveschedule.h"

namespace {
constexpr int defaultIntervalMs = 5000;
constexpr int tickMs = 1000;
}

SaveSchedule::SaveSchedule(QObject *parent)
    : QObject(parent)
    , m_interval(defaultIntervalMs)
{
    m_clock.start();
    m_tick.setInterval(tickMs);
    connect(&m_tick, &QTimer::timeout, this, &SaveSchedule::saveWaiting);
}

void SaveSchedule::setInterval(int milliseconds)
{
    m_interval = milliseconds;
}

void SaveSchedule::pieceWritten(const QString &key)
{
    const auto saved = m_savedAt.constFind(key);
    if (saved != m_savedAt.cend() && m_clock.elapsed() - *saved < m_interval) {
        m_waiting.insert(key);
        if (!m_tick.isActive())
            m_tick.start();
        return;
    }
    m_savedAt.insert(key, m_clock.elapsed());
    emit due(key);
}

void SaveSchedule::forget(const QString &key)
{
    m_savedAt.remove(key);
    m_waiting.remove(key);
}

void SaveSchedule::saveWaiting()
{
    const qint64 now = m_clock.elapsed();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (now - m_savedAt.value(*it) < m_interval) {
            ++it;
            continue;
        }
        m_savedAt.insert(*it, now);
        emit due(*it);
        it = m_waiting.erase(it);
    }
    if (m_waiting.isEmpty())
        m_tick.stop();
}
