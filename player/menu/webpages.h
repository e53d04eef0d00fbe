#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>

class MyWebView;
class QLabel;
class QWidget;

// The start-page view and the centre logo over the video area: which of the
// two shows when nothing plays, the paused page on the first pause, and their
// places as the video area changes size.
class WebPages : public QObject
{
    Q_OBJECT

public:
    // videoArea: parent of the view and the logo. playState: the window's
    // play state (2 playing). The start page is loaded at once unless there
    // is none, so build this before any file is loaded.
    WebPages(QWidget *videoArea, std::function<int()> playState, QObject *parent = nullptr);

    MyWebView *view() const { return m_view; }
    QLabel *centreLogo() const { return m_logo; }

    // The start page, or an empty address when there is none: the setting
    // says "none" or no web server is configured.
    static QUrl startPageAddress();
    // Pauses so far in this process.
    static int pauseCount();

    // Playback started: neither view nor logo covers the video.
    void playing();
    // Playback stopped: the start page again, or the centre logo.
    void stopped();
    // Playback paused: the paused page, on the first pause only.
    void paused();
    // Playback resumed after a pause.
    void resumed();

    // The places for a full-screen or a windowed video area.
    void place(bool fullScreen);
    // After the downloads panel was shown or hidden: fit the view to the new
    // video area now and once more when the layout has settled.
    void replace(bool fullScreen);

public slots:
    void htmlFinishLoad(bool ok = true);
    void FlashResize();
    // A start page chosen by a link.
    void loadStartPage(const QUrl &address);

private:
    void fitView();

    QPointer<QWidget> m_videoArea;
    MyWebView *m_view;
    QLabel *m_logo;
    std::function<int()> m_playState;
    QTimer flashResizeTimer;
    bool m_fullScreen = false;
};
