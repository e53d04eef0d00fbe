#pragma once

#include "corelink/coreprocesscontrol.h"
#include "links/linkprocessor.h"
#include "player/controlbar.h"
#include "player/episodenavigator.h"
#include "player/fileopener.h"
#include "player/menu/webpages.h"
#include "player/menu/windowbuttons.h"
#include "player/messageoverlay.h"
#include "player/streamingpolicy.h"
#include "player/vlcengine.h"
#include "player/windowchrome.h"
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
class MainMenu;
class UpdateCheck;
class openurl;
class Options;
class DownloadsController;
class TreeModel;
class ClientAgent;
class SubtitleDownload;
class CoreProcessControl;
class TorrentPieceSource;
class TrackMenu;
class CompanionSubtitles;

// The main window: video surface, control bar and downloads list. What
// playback does while pieces are missing is the streaming policy's; the
// window shows what it says. Its constructor creates the neighbours (chrome,
// file opening, subtitles, episodes, links, core link) and wires them.
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
    FileOpener *fileOpener() const { return m_fileOpener; }
    SubtitleDownload *subtitleDownload() const { return m_subtitles; }
    TrackMenu *trackMenu() const { return m_tracks; }
    CompanionSubtitles *companionSubtitles() const { return m_companions; }

    void setButtonImage(QAbstractButton *button, int frame, bool alternate)
    {
        m_chrome->setButtonImage(button, frame, alternate);
    }
    void showMessage(const QString &text, bool show, bool autoClear)
    {
        show ? m_messages->show(text, autoClear) : m_messages->hide();
    }
    // The overlay message now shown; empty when hidden.
    QString messageText() const { return m_messages->text(); }
    // Closing: keeps or stops the core, then closes the window.
    void prepQuit();

signals:
    void mediaButtonAction(int type);

public slots:
    void myclose();
    void full() { m_chrome->toggleFullScreen(); }
    void playFile(QString &file);
    void playFile(QString &file, QString torrentHash, int fileIndex, bool piece0Exist, QString bitField,
        int pieceLength);
    void userChangePosition(int newPosition) { m_controls->userChangePosition(newPosition); }
    void userMovePosition(int newPosition) { m_controls->userMovePosition(newPosition); }
    void slotSliderPressed() { m_controls->slotSliderPressed(); }
    void slotSliderRelease() { m_controls->slotSliderRelease(); }
    void time() { m_controls->time(); }
    void FlashResize();
    void overallUpDownloadRate(QString upload, QString download) { m_controls->showRates(upload, download); }
    void bitFieldRefresh(QString bitField, int pieceSize);
    void on_hideplaylistbutton_clicked() { m_buttons->hideplaylistClicked(m_chrome->isFullScreen()); }
    void on_openfile_clicked() { m_fileOpener->openFile(); }
    void on_stopButton_clicked();
    void on_playButton_clicked();
    void on_prevButton_clicked() { m_episodes->playEpisode(-1); }
    void on_nextButton_clicked() { m_episodes->playEpisode(1); }
    void on_miniButton_clicked() { m_buttons->miniClicked(); }
    void on_aboutButton_clicked();
    void on_feedbackButton_clicked() { m_buttons->feedbackClicked(); }
    void on_commentButton_clicked() { m_buttons->commentClicked(); }
    void setCommentButton(QString setCommentUrl);
    void slotopenurl();
    void slotoption();
    void slotwith();
    void processParams(QString params_str) { m_links->processParams(params_str); }
    void tryToTurnDownServer() { m_control->tryToTurnDownServer(); }
    void on_maxButton_clicked() { full(); }
    void slotopentorrent() { m_fileOpener->openTorrent(); }
    void on_display_label_customContextMenuRequested(QPoint pos);
    void dropEvent(QDropEvent *event) override { m_fileOpener->drop(event); }
    void on_capButton_clicked() { m_controls->takeSnapshot(m_currentFile); }
    void on_fullButton_clicked() { full(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override { m_fileOpener->dragEnter(event); }
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
    void updateEpisodeButtons() { m_episodes->updateButtons(); }
    void setSliderRow(bool enabled) { m_chrome->setSliderRow(enabled); }
    void showPlayImage(bool pause, int frame);
    void savePosition(const QString &file, float position);
    float loadPosition(const QString &file);
    void showTitle(QString &file) { m_chrome->showTitle(file); }
    void closeWebView() { m_pages->playing(); }
    void wireChrome();
    void wireControls();
    void wireMenuAndPages();
    void wireLinks();
    void wireDownloads();
    void wireCoreLink();
    void wireFileOpening();
    void wireSubtitles();
    void wireTracks();
    void wireEpisodes();

public:
    // Answers chooseFile() instead of a dialog when set (tests).
    std::function<QString(const QString &caption, const QString &filter)> fileChooser;

private:
    Ui::player *ui;
    Preferences settings;
    std::unique_ptr<VlcEngine> m_engine;
    std::unique_ptr<StreamingPolicy> m_policy;
    QStringList m_parameters;

    QString m_currentFile;
    QTimer positionTimer;
    QTimer flashResizeTimer;
    MessageOverlay *m_messages = nullptr;
    WindowChrome *m_chrome = nullptr;
    ControlBar *m_controls = nullptr;
    FileOpener *m_fileOpener = nullptr;
    SubtitleDownload *m_subtitles = nullptr;
    TrackMenu *m_tracks = nullptr;
    CompanionSubtitles *m_companions = nullptr;
    EpisodeNavigator *m_episodes = nullptr;
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
};
