#pragma once

#include <QObject>
#include <QString>

namespace Ui {
class player;
}
class QWidget;
class StreamingPolicy;
class VlcEngine;
class WindowChrome;

// The seek row, the volume and the time shown under the video. Seeking is
// the streaming policy's to allow; this class only passes the user's moves on.
class ControlBar : public QObject
{
    Q_OBJECT

public:
    ControlBar(
        QWidget *window, Ui::player *ui, VlcEngine *engine, StreamingPolicy *policy, WindowChrome *chrome);

    void slotSliderPressed();
    void slotSliderRelease();
    // newPosition in percent of the length.
    void userMovePosition(int newPosition);
    void userChangePosition(int newPosition);
    // One percent back or forward, once something plays.
    void play_back();
    void play_forward();

    void setsound(int newVolume);
    void toggleSound();
    void sound_add();
    void sound_sub();

    // The display's tick: time label, slider, the policy's own checks.
    void time();
    // The overall rates from the downloads list; the policy reads the download rate too.
    void showRates(const QString &upload, const QString &download);
    // A picture of the video area, saved next to the file.
    void takeSnapshot(const QString &file);

private:
    // MORVANE_UI_TRACE set: logs what is on screen for tests that watch from outside.
    void traceUi();

    QWidget *m_window;
    Ui::player *ui;
    VlcEngine *m_engine;
    StreamingPolicy *m_policy;
    WindowChrome *m_chrome;

    bool m_soundOn = true;
    int m_volume = 50;
    bool m_sliderHeld = false;
    int m_total = 0;
    int m_current = 0;
    QString m_uiTraced;
};
