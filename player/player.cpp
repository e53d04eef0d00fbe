#include "player.h"

#include "dialogs/about.h"
#include "dialogs/options.h"
#include "ui_player.h"

#include "corelink/clientagent.h"
#include "downloads/downloadscontroller.h"
#include "downloads/informationwidget.h"
#include "downloads/mediasuffixes.h"
#include "downloads/mytreeview.h"
#include "downloads/playstarter.h"
#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "links/openurl.h"
#include "platform/logging.h"
#include "player/agentwiring.h"
#include "player/bufferslider.h"
#include "player/companionsubtitles.h"
#include "player/menu/mainmenu.h"
#include "player/menu/mywebview.h"
#include "player/menu/updatecheck.h"
#include "player/piecesource.h"
#include "player/subtitledownload.h"
#include "player/torrentpiecesource.h"
#include "player/trackmenu.h"
#include "player/videosurface.h"

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>

namespace {

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

// The skins live in this static library: their initializer must be pulled in.
static void initSkinResources()
{
    Q_INIT_RESOURCE(player);
}

player::player(QStringList parameters, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::player)
    , m_parameters(std::move(parameters))
{
    initSkinResources();
    // 1. Form; every widget tracks the mouse, so hover frames follow it.
    ui->setupUi(this);
    setMouseTracking(true);
    for (QWidget *child : findChildren<QWidget *>())
        child->setMouseTracking(true);

    // 2. The engine.
    m_engine = std::make_unique<VlcEngine>();
    m_policy = std::make_unique<StreamingPolicy>(m_engine.get());

    // 3. Title.
    ui->moviename->setAlignment(Qt::AlignCenter);

    // 4. Skins and their first frames.
    wireChrome();

    // 5. The window's own connections; the control bar's.
    connect(ui->closeButton, &QAbstractButton::clicked, this, &player::myclose);
    connect(&flashResizeTimer, &QTimer::timeout, this, &player::FlashResize);
    wireControls();
    positionTimer.setInterval(1000);
    positionTimer.start();
    flashResizeTimer.setSingleShot(true);
    flashResizeTimer.setInterval(1);
    ui->filelists->hide();
    ui->processSlider->setEnabled(false);
    ui->widget_10->hide();

    // 6. The surface the engine draws on.
    if (!m_engine->headless())
        new VideoSurface(ui->display_label, m_engine.get(), this);

    // 7. Messages, then the neighbours, each wired in its own function.
    m_messages = new MessageOverlay(ui->display_label, m_engine.get(), this);
    wireMenuAndPages();
    wireDownloads();
    wireLinks();
    wireCoreLink();
    wireFileOpening();
    wireSubtitles();
    wireTracks();
    wireEpisodes();
    m_chrome->showTrayIcon();
    wirePolicy();
    updateEpisodeButtons();

    // 8. Frameless, with rounded corners.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    m_chrome->applyMask();
}

player::~player()
{
    // The chrome reads the form: no event of the window may reach it from here on.
    removeEventFilter(m_chrome);
    delete ui;
    ui = nullptr;
    m_engine->setEventCallback(nullptr, nullptr);
    m_engine->stop();
    m_policy.reset();
    m_engine.reset();
}

void player::setPieceSource(PieceSource *source)
{
    m_policy->setPieceSource(source ? source : m_downloadPieces.get());
}

void player::setCheckIntervals(int tick, int piece, int file, int lastPiece)
{
    positionTimer.setInterval(tick);
    m_policy->setCheckIntervals(piece, file, lastPiece);
}

// engine events, agent and piece owner -> policy -> window
void player::wirePolicy()
{
    // The engine's threads only hand over to the bridge.
    m_engine->setEventCallback(&EngineBridge::onVleEvent, &m_policy->bridge());

    // Finished pieces and status lists reach the policy without the window.
    TorrentPieces *pieces = m_model->pieces();
    connect(pieces, &TorrentPieces::statusRefreshed, m_policy.get(), [this] { m_policy->piecesUpdated(); });
    connect(pieces, &TorrentPieces::pieceAdded, m_policy.get(), &StreamingPolicy::piecesUpdated);

    StreamingView *view = &m_policy->view();
    connect(view, &StreamingView::messageChanged, this,
        [this](const QString &text, bool autoClear) { showMessage(text, !text.isEmpty(), autoClear); });
    connect(view, &StreamingView::sliderRowChanged, this, &player::setSliderRow);
    connect(view, &StreamingView::playImageChanged, this, &player::showPlayImage);
    connect(view, &StreamingView::piecesChanged, ui->processSlider, &BufferSlider::setPieces);
    connect(m_policy.get(), &StreamingPolicy::playbackStarted, this, &player::closeWebView);
    connect(m_policy.get(), &StreamingPolicy::endOfFile, this, &player::endOfFile);
}

void player::endOfFile()
{
    // Played to its end: the next open starts at the beginning, and nothing
    // after this (stop, another row, quitting) may store the last position.
    stopPlayback(false);
    savePosition(m_currentFile, 0);
}

// chrome: skins, hover frames, mask, drag and full screen
void player::wireChrome()
{
    m_chrome = new WindowChrome(
        this, ui, [this] { return playState(); },
        [this] {
            return m_policy->source() == StreamingPolicy::Source::PlainFile || m_policy->playerCanSeek();
        });
    m_chrome->setUpSkins();
}

// seek row, volume, time -> policy, engine
void player::wireControls()
{
    m_controls = new ControlBar(this, ui, m_engine.get(), m_policy.get(), m_chrome);
    connect(ui->processSlider, &QSlider::sliderPressed, m_controls, &ControlBar::slotSliderPressed);
    connect(ui->processSlider, &QSlider::sliderReleased, m_controls, &ControlBar::slotSliderRelease);
    connect(ui->processSlider, &QSlider::sliderMoved, m_controls, &ControlBar::userMovePosition);
    connect(ui->soundSlider, &QSlider::valueChanged, m_controls, &ControlBar::setsound);
    connect(ui->soundButton, &QAbstractButton::clicked, m_controls, &ControlBar::toggleSound);
    connect(ui->backwardButton, &QAbstractButton::clicked, m_controls, &ControlBar::play_back);
    connect(ui->speedButton, &QAbstractButton::clicked, m_controls, &ControlBar::play_forward);
    connect(&positionTimer, &QTimer::timeout, m_controls, &ControlBar::time);
    ui->soundSlider->setValue(50);
    m_controls->setsound(50);
}

void player::showPlayImage(bool pause, int frame)
{
    setButtonImage(ui->playButton, frame, pause);
}

// --- opening ---------------------------------------------------------------

void player::playFile(QString &file)
{
    m_currentFile = file;
    // Languages and kept track choices go with the media when it opens.
    m_tracks->setFile(file);
    m_companions->clear();
    m_policy->openPlainFile(nativePath(file), loadPosition(file));
    setButtonImage(ui->openfile, 1, false);
    showTitle(file);
    // The keys are the player's once a file opens, also after a double-click
    // in the list: the list keeps them only while the user works in it.
    ui->display_label->setFocus();
    updateEpisodeButtons();
}

void player::playFile(
    QString &file, QString torrentHash, int fileIndex, bool piece0Exist, QString bitField, int pieceLength)
{
    // The file that was loaded keeps its position.
    if (playState() == Playing || playState() == Paused)
        savePosition(m_currentFile, m_policy->pos());
    const float resumePos = loadPosition(file);
    m_currentFile = file;
    m_tracks->setFile(file);
    m_policy->openTorrentFile(nativePath(file), torrentHash, fileIndex, piece0Exist,
        PieceMap::fromText(bitField), pieceLength, resumePos);
    m_companions->play(torrentHash, fileIndex, nativePath(file));
    for (QAbstractButton *button : { ui->openfile, ui->stopButton, ui->prevButton, ui->nextButton })
        setButtonImage(button, 1, false);
    showTitle(file);
    if (playState() == Playing)
        ui->current_time_label->show();
    ui->display_label->setFocus();
    updateEpisodeButtons();
}

void player::bitFieldRefresh(QString bitField, int pieceSize)
{
    m_policy->bitFieldRefresh(PieceMap::fromText(bitField), pieceSize);
}

// --- play, pause, stop -----------------------------------------------------

void player::on_playButton_clicked()
{
    if (m_policy->userPlay()) {
        showPlayImage(true, 1);
        m_pages->resumed();
        emit mediaButtonAction(int(MediaButton::Play));
        showMessage(QString(), false, false);
    } else if (m_policy->userPause()) {
        showPlayImage(false, 1);
        m_pages->paused();
        emit mediaButtonAction(int(MediaButton::Pause));
        showMessage(QString(), false, false);
    }
}

void player::on_stopButton_clicked()
{
    stopPlayback(true);
}

void player::stopPlayback(bool keepPosition)
{
    if (keepPosition && playState() != Stopped)
        savePosition(m_currentFile, m_policy->pos());
    if (playState() != Stopped)
        setButtonImage(ui->stopButton, 2, false);
    showPlayImage(false, 2);
    setButtonImage(ui->prevButton, 2, false);
    setButtonImage(ui->nextButton, 2, false);

    m_policy->stop();
    m_pages->stopped();
    ui->processSlider->setValue(0);
    emit mediaButtonAction(int(MediaButton::Stop));
    ui->moviename->clear();
    ui->current_time_label->clear();
    updateEpisodeButtons();
}

// --- keyboard, mouse, full screen ------------------------------------------

void player::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_F:
    case Qt::Key_Escape:
        full();
        break;
    case Qt::Key_Space:
        on_playButton_clicked();
        break;
    case Qt::Key_Left:
        if (playState() == Playing)
            m_controls->play_back();
        break;
    case Qt::Key_Right:
        if (playState() == Playing)
            m_controls->play_forward();
        break;
    case Qt::Key_Up:
        m_controls->sound_add();
        break;
    case Qt::Key_Down:
        m_controls->sound_sub();
        break;
    case Qt::Key_PageUp:
        m_episodes->playEpisode(-1);
        break;
    case Qt::Key_PageDown:
        m_episodes->playEpisode(1);
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void player::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(QStringLiteral("Morvane"));
    }
    QDialog::changeEvent(event);
}

void player::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    flashResizeTimer.start();
}

void player::FlashResize()
{
    m_pages->FlashResize();
    ui->moviename->setAlignment(Qt::AlignCenter);
}

// --- other window slots ----------------------------------------------------

void player::myclose()
{
    if (playState() == Playing || playState() == Paused)
        savePosition(m_currentFile, m_policy->pos());
    prepQuit();
    setButtonImage(ui->closeButton, 1, false);
}

void player::prepQuit()
{
    m_downloads->infoWidget()->hidePopup();
    m_control->prepQuit();
}

void player::closeEvent(QCloseEvent *event)
{
    // Nothing may hold the engine once the window is gone.
    m_engine->gate().failBlockedReads();
    event->accept();
}

void player::on_aboutButton_clicked()
{
    m_menu->popupBelow(ui->aboutButton);
}

void player::setCommentButton(QString setCommentUrl)
{
    m_buttons->setCommentButton(setCommentUrl);
    m_chrome->setCommentAvailable(m_buttons->commentAvailable());
    setButtonImage(ui->commentButton, m_buttons->commentAvailable() ? 1 : 2, false);
}

void player::slotopenurl()
{
    MainMenu::showBeside(m_openUrl, this);
}

void player::slotoption()
{
    m_options->move(pos() + QPoint(100, 100));
    m_options->show();
    m_options->raise();
}

void player::slotwith()
{
    auto *dialog = new about(this);
    dialog->show();
}

// downloads model and view <-> window
void player::wireDownloads()
{
    m_model = new TreeModel(this);
    m_downloadPieces = std::make_unique<TorrentPieceSource>(m_model->pieces());
    m_policy->setPieceSource(m_downloadPieces.get());
    auto *view = ui->treeView;
    view->setModel(m_model);
    connect(view, &MyTreeView::myDoubleClicked, m_model, qOverload<QModelIndex>(&TreeModel::doubleClickSlot));
    m_downloads = new DownloadsController(m_model, this);
    connect(view, &MyTreeView::rightClicked, m_downloads, &DownloadsController::rightClickAction);
    connect(view, qOverload<bool, QPoint, QModelIndex>(&MyTreeView::mousePosition), m_downloads,
        &DownloadsController::mouseMoveSlot);

    connect(
        m_model, qOverload<QString &>(&TreeModel::playFile), this, qOverload<QString &>(&player::playFile));
    connect(m_model, qOverload<QString &, QString, int, bool, QString, int>(&TreeModel::playFile), this,
        qOverload<QString &, QString, int, bool, QString, int>(&player::playFile));
    connect(m_model, &TreeModel::stopPlay, this, &player::on_stopButton_clicked);
    connect(m_model, &TreeModel::setCommentButton, this, &player::setCommentButton);
    connect(m_model, &TreeModel::addTorrent, this, &player::on_openfile_clicked);
    connect(m_model, &TreeModel::addMagnetUri, this, &player::slotopenurl);
    connect(m_model, &TreeModel::overallUpDownloadRate, this, &player::overallUpDownloadRate);
    connect(m_model, &TreeModel::treeModelTest, this, &player::tryToTurnDownServer);
    connect(this, &player::mediaButtonAction, m_model, &TreeModel::mediaButtonAction);
}

// agent <-> links, dialogs, model; the core process control
void player::wireCoreLink()
{
    m_agent = new ClientAgent(this);
    m_control = new CoreProcessControl(m_agent, this);
    connect(m_control, &CoreProcessControl::closeRequested, this, &QWidget::close);

    AgentWiring::connectDownloads(m_agent, m_model, m_links);
    connect(m_openUrl, &openurl::sessionRequest, m_agent, &ClientAgent::sessionRequest);
    connect(m_options, &Options::sessionRequest, m_agent, &ClientAgent::sessionRequest);
    connect(m_agent, &ClientAgent::serverStateCheck, m_control, &CoreProcessControl::serverStateCheck);
    connect(m_agent, &ClientAgent::serverReadyToClose, m_control, &CoreProcessControl::myQuit);
    connect(m_agent, &ClientAgent::addFailed, this, &player::addFailed);
    connect(m_agent, &ClientAgent::streamAddressChanged, m_downloads, &DownloadsController::setStreamAddress);
    connect(m_menu, &MainMenu::shutdownCompletelyTriggered, m_control, &CoreProcessControl::myQuit);
}

// menu, start page and window buttons -> window
void player::wireMenuAndPages()
{
    m_pages = new WebPages(
        ui->display_label, [this] { return playState(); }, this);
    connect(m_chrome, &WindowChrome::fullScreenChanged, m_pages, &WebPages::place);
    connect(m_pages->view(), &MyWebView::sendDoubldClick, m_chrome, &WindowChrome::doubleClicked);

    m_menu = new MainMenu(this);
    connect(m_menu, &MainMenu::openUrlTriggered, this, &player::slotopenurl);
    connect(m_menu, &MainMenu::setupTriggered, this, &player::slotoption);
    connect(m_menu, &MainMenu::aboutTriggered, this, &player::slotwith);

    m_buttons = new WindowButtons(
        this, ui->filelists, m_pages, ui->commentButton, ui->hideplaylistbutton, ui->miniButton, this);
    connect(m_buttons, &WindowButtons::frameRequested, m_chrome, &WindowChrome::setButtonFrame);

    m_update = new UpdateCheck(this);
    connect(m_menu, &MainMenu::upgradeTriggered, m_update, &UpdateCheck::slotupgrade);
    m_update->start();
}

// links, the Open URL dialog and the options -> window (their requests go to the agent)
void player::wireLinks()
{
    m_links = new LinkProcessor(
        m_parameters, this, ui->filelists, [this] { return playState(); }, this);
    connect(m_links, &LinkProcessor::playFileRequested, this, &player::openLocalFile);
    connect(m_links, &LinkProcessor::startPageLoadRequested, m_pages, &WebPages::loadStartPage);
    connect(m_links, &LinkProcessor::notice, this,
        [this](const QString &text) { showMessage(text, true, true); });
    connect(m_pages->view(), &MyWebView::linkClicked, m_links, &LinkProcessor::openUrlSlot);

    m_openUrl = new openurl(this);
    connect(
        m_openUrl, &openurl::notice, this, [this](const QString &text) { showMessage(text, true, true); });

    m_options = new Options(this);
    connect(m_options, &Options::autoPlayMethodChanged, m_links, &LinkProcessor::autoPlayMethodChanged);
}

// file dialogs and drops -> window, agent
void player::wireFileOpening()
{
    m_fileOpener = new FileOpener(
        this, ui, m_chrome, [this](const QString &caption, const QString &directory, const QString &filter) {
            return chooseFile(caption, directory, filter);
        });
    connect(m_fileOpener, &FileOpener::sessionRequest, m_agent, &ClientAgent::sessionRequest);
    connect(m_fileOpener, &FileOpener::replyTimeOutCheckHold, m_agent, &ClientAgent::replyTimeOutCheckHold);
    connect(m_fileOpener, &FileOpener::replyTimeOutCheckReset, m_agent, &ClientAgent::replyTimeOutCheckReset);
    connect(m_fileOpener, &FileOpener::localFileChosen, this, &player::openLocalFile);
    connect(m_fileOpener, &FileOpener::downloadsListWanted, this, &player::on_hideplaylistbutton_clicked);
    connect(m_fileOpener, &FileOpener::videoDropped, this, &player::closeWebView);
    connect(m_fileOpener, &FileOpener::notice, this,
        [this](const QString &text) { showMessage(text, true, true); });
    connect(m_pages->view(), &MyWebView::sendDropEvent, m_fileOpener, &FileOpener::drop);
    connect(m_menu, &MainMenu::openFileTriggered, m_fileOpener, &FileOpener::openFile);
    connect(m_menu, &MainMenu::openTorrentTriggered, m_fileOpener, &FileOpener::openTorrent);
}

// subtitle download -> engine, messages
void player::wireSubtitles()
{
    m_subtitles = new SubtitleDownload(
        m_engine.get(), [this] { return m_currentFile; },
        [this](const QString &caption, const QString &directory, const QString &filter) {
            return chooseFile(caption, directory, filter);
        },
        this);
    connect(m_subtitles, &SubtitleDownload::notice, this,
        [this](const QString &text) { showMessage(text, true, true); });
}

// tracks: engine <-> track menu (context menu, window menu, keys); the download's subtitles -> engine
void player::wireTracks()
{
    m_tracks = new TrackMenu(m_engine.get(), this);
    QMenu *menu = m_menu->menu();
    // The window owns the entries; the menu only lists them.
    QAction *setup = nullptr;
    for (QAction *entry : menu->actions()) {
        if (entry->objectName() == QLatin1String("setupAction"))
            setup = entry;
    }
    menu->insertMenu(setup, m_tracks->audioMenu());
    menu->insertMenu(setup, m_tracks->subtitleMenu());
    connect(m_tracks, &TrackMenu::trackChosen, this, [this](VlcEngine::TrackKind kind, const QString &name) {
        showMessage(
            kind == VlcEngine::TrackKind::Audio ? tr("Audio: %1").arg(name) : tr("Subtitles: %1").arg(name),
            true, true);
    });
    m_companions = new CompanionSubtitles(m_engine.get(), m_model, m_model->pieces(), this);
}

// previous/next episode -> downloads model, window
void player::wireEpisodes()
{
    m_episodes = new EpisodeNavigator(
        m_policy.get(), m_model, [this] { return m_currentFile; }, m_chrome, ui->prevButton, ui->nextButton,
        this);
    connect(m_episodes, &EpisodeNavigator::localFileWanted, this, &player::openLocalFile);
}

void player::savePosition(const QString &file, float position)
{
    if (!file.isEmpty())
        settings.savePosition(file, position);
}

float player::loadPosition(const QString &file)
{
    return settings.loadPosition(file);
}

void player::addFailed(const QString &item, const QString &reason)
{
    // A magnet link or an address can be long: its ends name it well enough.
    QString shown = item;
    if (shown.size() > 80)
        shown = shown.left(50) + QStringLiteral("…") + shown.right(25);
    showMessage(tr("Could not add %1: %2").arg(shown, reason), true, true);
}

// --- files and drops -------------------------------------------------------

void player::openLocalFile(QString file)
{
    const QString native = nativePath(file);
    if (MediaSuffixes::isSubtitle(native)) {
        m_engine->setSubtitleFile(native);
        return;
    }
    // The file that was loaded keeps its position; one that played to its
    // end is stopped already and keeps its 0.
    if (playState() != Stopped)
        savePosition(m_currentFile, m_policy->pos());
    playFile(file);
    setButtonImage(ui->stopButton, 1, false);
}

QString player::chooseFile(const QString &caption, const QString &directory, const QString &filter)
{
    if (fileChooser)
        return fileChooser(caption, filter);
    return QFileDialog::getOpenFileName(this, caption, directory, filter);
}

void player::on_display_label_customContextMenuRequested(QPoint pos)
{
    m_subtitles->popupMenu(
        ui->downsub, ui->display_label, pos, { m_tracks->audioMenu(), m_tracks->subtitleMenu() });
}
