#pragma once

#include <QRect>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// When a picture reaches the screen: grabs a region of an X display every
// few milliseconds on a thread of its own, and notes the first grab whose
// middle has texture and differs from the first grab. A black video area or
// a one-line message has next to no texture; a video frame has plenty; what
// was shown before is in the first grab.
class ScreenWatch
{
public:
    // clock: the caller's time in ms, read from the watching thread.
    ScreenWatch(const QString &display, const QRect &region, std::function<qint64()> clock);
    ~ScreenWatch();
    ScreenWatch(const ScreenWatch &) = delete;
    ScreenWatch &operator=(const ScreenWatch &) = delete;

    // The clock when the grab that first showed a picture began; -1: none yet.
    qint64 pictureAt() const { return m_pictureAt.load(); }
    // Milliseconds between grabs: the figure's resolution; -1 before two grabs.
    double grabInterval() const;

private:
    void run(const QByteArray &display, QRect region);

    std::function<qint64()> m_clock;
    std::atomic<bool> m_stop { false };
    std::atomic<qint64> m_pictureAt { -1 };
    std::atomic<int> m_grabs { 0 };
    std::atomic<qint64> m_firstGrab { -1 };
    std::atomic<qint64> m_lastGrab { -1 };
    std::thread m_thread;
};
