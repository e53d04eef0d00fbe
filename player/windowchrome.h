#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPoint>
#include <QRect>

#include <functional>

namespace Ui {
class player;
}
class QAbstractButton;
class QDialog;
class QMouseEvent;
class QSystemTrayIcon;

// What makes the frameless window look and move like ours: the skinned
// buttons and their hover frames, the rounded mask, dragging by any spot,
// full screen and the bars that come and go with it.
class WindowChrome : public QObject
{
    Q_OBJECT

public:
    // playState: the policy's state; sliderRowAllowed: whether the seek row
    // may show (a plain file, or a torrent file that can seek).
    WindowChrome(QDialog *window, Ui::player *ui, std::function<int()> playState,
        std::function<bool()> sliderRowAllowed);

    // Registers the skin strips of every button and shows their first frames.
    void setUpSkins();
    // Frame 0..3 of the button's strip; alternate picks its second strip.
    void setButtonImage(QAbstractButton *button, int frame, bool alternate);
    // Another frame of whichever strip the button shows now.
    void setButtonFrame(QAbstractButton *button, int frame);
    void showTitle(QString &file);

    bool isFullScreen() const { return m_isFullScreen; }
    void toggleFullScreen();
    void setSliderRow(bool enabled);
    void setCommentAvailable(bool available) { m_commentAvailable = available; }
    // The open-file button keeps its pressed look while its dialog is up.
    void setFileDialogOpen(bool open) { m_fileDialogOpen = open; }
    void applyMask();

    void doubleClicked(QMouseEvent *event);
    // The tray icon only restores the window; shown where a tray exists.
    void showTrayIcon();

signals:
    void fullScreenChanged(bool fullScreen);

protected:
    // Watches the window's mouse, leave and resize events; never consumes them.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mousePressed(QMouseEvent *event);
    void mouseMoved(QMouseEvent *event);
    void setBarsVisible(bool visible);
    void resetButtonFrames();

    QDialog *m_window;
    Ui::player *ui;
    std::function<int()> m_playState;
    std::function<bool()> m_sliderRowAllowed;

    bool m_isFullScreen = false;
    QRect m_savedGeometry;
    bool m_listShownBeforeFullScreen = false;
    QByteArray m_splitterBeforeFullScreen;
    bool m_dragging = false;
    QPoint m_dragOffset;
    bool m_commentAvailable = false;
    bool m_fileDialogOpen = false;
    QSystemTrayIcon *m_trayIcon = nullptr;

    // Per button: its strip names and whether it shows the alternate one.
    struct Skin
    {
        QString normal;
        QString alternate;
        bool showingAlternate = false;
        int frame = 1;
    };
    QHash<QAbstractButton *, Skin> m_skins;
};
