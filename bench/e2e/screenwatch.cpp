#include "screenwatch.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <vector>

namespace {
// Standard deviation of luma, 0-255, above which a region shows a picture,
// and the mean change from the first grab that says it is a new one.
constexpr double pictureTexture = 12.0;
constexpr double pictureChange = 20.0;

// Every third pixel's luma, every third row.
std::vector<double> lumaOf(XImage *image)
{
    std::vector<double> out;
    for (int y = 0; y < image->height; y += 3) {
        for (int x = 0; x < image->width; x += 3) {
            const unsigned long pixel = XGetPixel(image, x, y);
            out.push_back(0.299 * double((pixel >> 16) & 0xff) + 0.587 * double((pixel >> 8) & 0xff)
                + 0.114 * double(pixel & 0xff));
        }
    }
    return out;
}

double textureOf(const std::vector<double> &luma)
{
    if (luma.empty())
        return 0;
    double sum = 0;
    double squares = 0;
    for (double value : luma) {
        sum += value;
        squares += value * value;
    }
    const double mean = sum / double(luma.size());
    return std::sqrt(std::max(0.0, squares / double(luma.size()) - mean * mean));
}

double changeOf(const std::vector<double> &luma, const std::vector<double> &before)
{
    if (luma.empty() || luma.size() != before.size())
        return 0;
    double sum = 0;
    for (std::size_t i = 0; i < luma.size(); ++i)
        sum += std::abs(luma[i] - before[i]);
    return sum / double(luma.size());
}
}

ScreenWatch::ScreenWatch(const QString &display, const QRect &region, std::function<qint64()> clock)
    : m_clock(std::move(clock))
{
    // The middle half of the region: messages are drawn at its top left.
    const QRect middle(region.x() + region.width() / 4, region.y() + region.height() / 4, region.width() / 2,
        region.height() / 2);
    if (middle.width() > 0 && middle.height() > 0)
        m_thread = std::thread(&ScreenWatch::run, this, display.toLocal8Bit(), middle);
}

ScreenWatch::~ScreenWatch()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

double ScreenWatch::grabInterval() const
{
    const int grabs = m_grabs.load();
    return grabs < 2 ? -1 : double(m_lastGrab.load() - m_firstGrab.load()) / (grabs - 1);
}

void ScreenWatch::run(const QByteArray &display, QRect region)
{
    Display *connection = XOpenDisplay(display.constData());
    if (!connection)
        return;
    const Window root = DefaultRootWindow(connection);
    // What was there before (a start page, the last film's frame).
    std::vector<double> before;
    while (!m_stop.load() && m_pictureAt.load() < 0) {
        const qint64 began = m_clock();
        XImage *image = XGetImage(connection, root, region.x(), region.y(), unsigned(region.width()),
            unsigned(region.height()), AllPlanes, ZPixmap);
        if (!image)
            break;
        const std::vector<double> luma = lumaOf(image);
        XDestroyImage(image);
        m_lastGrab = began;
        if (m_grabs++ == 0) {
            m_firstGrab = began;
            before = luma;
        } else if (textureOf(luma) > pictureTexture && changeOf(luma, before) > pictureChange) {
            m_pictureAt = began;
        }
        // Grabbing flat out would take a core from the player it measures.
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    XCloseDisplay(connection);
}
