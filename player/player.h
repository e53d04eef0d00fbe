#pragma once

#include "player/streamingpolicy.h"
#include "player/vlcengine.h"
#include "settings/preferences.h"

#include <QDialog>
#include <QHash>
#include <QModelIndex>
#include <QPointer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace Ui {
class player;
}
class PieceSource;
class QLabel;
class QMenu;
class QAbstractButton;
class LinkProcessor;
class MessageOverlay;
class MainMenu;
class UpdateCheck;
class WebPages;
class WindowButtons;
class openurl;
class Options;
class DownloadsController;
class TreeModel;
class ClientAgent;
class CoreProcessControl;
class TorrentPieceSource;

// The main window: video surface, control bar and downloads list. What
// playback does while pieces are missing is the streaming policy's; the
// window shows what it says.
class player : public QDialog
{
    Q_OBJECT

public:
    using PlayState = StreamingPolicy::PlayState;
    using enum StreamingPolicy::PlayState;

    explicit player(QStringList parameters = {}, QWidget *parent = nullptr);
    ~player() override;

    // Who answers the piece queries; null goes back to the downloads model.
    void setPieceSource(PieceSource *source);
    // Poll intervals (ms) of the position tick and of the piece, file and
    // last-piece checks; tests shorten them.
    void setCheckIntervals(int tick, int piece, int file, int lastPiece);

    PlayState playState() const { return m_policy->playState(); }
    bool playerCanSeek() const { return m_policy->playerCanSeek(); }
    QString currentFile() const { return m_currentFile; }
    float requestedPosition() const { return m_policy->pos(); }
    StreamingPolicy &policy() { return *m_policy; }
    VlcEngine &engine() { return *m_engine; }
    TreeModel *downloadsModel() const { return m_model; }
    ClientAgent *agent() const { return m_agent; }
    CoreProcessControl *processControl() const { return m_control; }

    void setButtonImage(QAbstractButton *button, int frame, bool alternate);
    void showMessage(const QString &text, bool show, bool autoClear);
    // The overlay message now shown; empty when hidden.
    QString messageText() const;
    // Closing: keeps or stops the core, then closes the window.
    void prepQuit();

signals:
    void mediaButtonAction(int type);
    void doubleClickWithMovieStatusCheck(QModelIndex index, bool isExpand, int movieStatus);
    void sessionRequest(int requestType, QStringList operateObject);
    void sessionRequest(int requestType, QString);
    void sessionRequest(int requestType);
    void replyTimeOutCheckHold();
    void replyTimeOutCheckReset();

public slots:
    void myclose();
    void setsound(int newVolume);
    void full();
    void sound_add();
    void sound_sub();
    void play_back();
    void play_forward();
    void hideplaylist();
    void playFile(QString &file);
    void playFile(QString &file, QString torrentHash, int fileIndex, bool piece0Exist, QString bitField,
        int pieceLength);
    void userChangePosition(int newPosition);
    void userMovePosition(int newPosition);
    void slotSliderPressed();
    void slotSliderRelease();
    void time();
    void FlashResize();
    bool seekable();
    void doubleClick_MovieStatusCheck(QModelIndex index, bool isExpand);
    void overallUpDownloadRate(QString upload, QString download);
    void bitFieldRefresh(QString bitField, int pieceSize);
    void autoPlayMethodChanged(bool _autoPlayMethod);
    void on_hideplaylistbutton_clicked();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void on_openfile_clicked();
    void on_stopButton_clicked();
    void on_playButton_clicked();
    void on_soundButton_clicked();
    void on_prevButton_clicked();
    void on_nextButton_clicked();
    void on_miniButton_clicked();
    void on_aboutButton_clicked();
    void on_feedbackButton_clicked();
    void on_commentButton_clicked();
    void setCommentButton(QString setCommentUrl);
    void slotopenurl();
    void slotoption();
    void slotwith();
    void slotupgrade();
    void slotupdater();
    void htmlFinishLoad();
    void openUrlSlot(QUrl url);
    void processParams(QString params_str);
    void processParams(QStringList params);
    void processmorvane(QString param);
    void webRequestCheckProcess();
    void addedReturnPrepProcess(int type, QList<QStringList> list);
    void myQuit();
    void serverStateCheck(QString newChannelName);
    void tryToTurnDownServer();
    void on_maxButton_clicked();
    void slotopen();
    void slotopentorrent();
    void pieceCheck();
    void torrentFileCheck();
    void lastPieceCheck();
    void slotclean();
    void slotdownsub();
    void slotFinished(int exitcode, QProcess::ExitStatus status);
    void on_display_label_customContextMenuRequested(QPoint pos);
    void dropEvent(QDropEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void on_capButton_clicked();
    void on_fullButton_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The file chooser; tests answer it without a modal dialog.
    QString chooseFile(const QString &caption, const QString &directory, const QString &filter);
    void wirePolicy();
    void endOfFile();
    // The core could not add a torrent file, magnet link or address.
    void addFailed(const QString &item, const QString &reason);
    // The one way a local file opens (dialog, drop, command line, second
    // start): a subtitle joins the playing video, a video plays after the
    // file that was loaded has kept its position.
    void openLocalFile(QString file);
    // Stop; keepPosition stores where the loaded file was.
    void stopPlayback(bool keepPosition);
    // Previous/next: the neighbouring episode of the download, or video of
    // the folder; step -1 or +1. Empty when there is none.
    QString episodeBeside(int step, int *fileRow = nullptr) const;
    void playEpisode(int step);
    void updateEpisodeButtons();
    void setSliderRow(bool enabled);
    void showPlayImage(bool pause, int frame);
    void savePosition(const QString &file, float position);
    float loadPosition(const QString &file);
    void showTitle(QString &file);
    void applyMask();
    void setBarsVisible(bool visible);
    bool sliderRowAllowed() const;
    void resetButtonFrames();
    QList<QAbstractButton *> skinnedButtons() const;
    int countFolderEntries(const QString &folder) const;
    void closeWebView();
    void wireMenuAndPages();
    void wireLinks();
    void wireDownloads();
    void wireCoreLink();
    // MORVANE_UI_TRACE set: logs what is on screen for tests that watch from outside.
    void traceUi();

public:
    // Answers chooseFile() instead of a dialog when set (tests).
    std::function<QString(const QString &caption, const QString &filter)> fileChooser;
    // The program started for a subtitle download; SubDownloader by default.
    QString subDownloaderProgram = QStringLiteral("SubDownloader");

private:
    Ui::player *ui;
    Preferences settings;
    std::unique_ptr<VlcEngine> m_engine;
    std::unique_ptr<StreamingPolicy> m_policy;
    QStringList m_parameters;

    bool m_isFullScreen = false;
    QRect m_savedGeometry;
    bool m_listShownBeforeFullScreen = false;
    QByteArray m_splitterBeforeFullScreen;
    bool m_soundOn = true;
    int m_volume = 50;
    QString m_currentFile;
    bool m_sliderHeld = false;
    int m_total = 0;
    int m_current = 0;
    QString m_totalText;
    QString m_currentText;
    bool m_dragging = false;
    QPoint m_pressPoint;
    QPoint m_windowPosition;
    QPoint m_dragOffset;
    QTimer positionTimer;
    QTimer flashResizeTimer;
    MessageOverlay *m_messages = nullptr;
    QString m_uiTraced;
    QLabel *m_centreLogo = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_displayMenu = nullptr;
    WebPages *m_pages = nullptr;
    MainMenu *m_menu = nullptr;
    WindowButtons *m_buttons = nullptr;
    UpdateCheck *m_update = nullptr;
    LinkProcessor *m_links = nullptr;
    openurl *m_openUrl = nullptr;
    Options *m_options = nullptr;
    TreeModel *m_model = nullptr;
    DownloadsController *m_downloads = nullptr;
    std::unique_ptr<TorrentPieceSource> m_downloadPieces;
    ClientAgent *m_agent = nullptr;
    CoreProcessControl *m_control = nullptr;
    bool m_autoPlayMethod = true;
    bool m_commentAvailable = false;
    int m_subtitleEntryCount = 0;
    bool m_headless = false;

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
