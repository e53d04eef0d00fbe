#include "player.h"

#include "dialogs/about.h"
#include "dialogs/options.h"
#include "ui_player.h"

#include "corelink/clientagent.h"
#include "corelink/coreprocesscontrol.h"
#include "downloads/downloadscontroller.h"
#include "downloads/informationwidget.h"
#include "downloads/mytreeview.h"
#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "links/linkprocessor.h"
#include "links/openurl.h"
#include "platform/logging.h"
#include "player/bufferslider.h"
#include "player/episodeorder.h"
#include "player/mediasuffixes.h"
#include "player/menu/mainmenu.h"
#include "player/menu/mywebview.h"
#include "player/menu/updatecheck.h"
#include "player/menu/webpages.h"
#include "player/menu/windowbuttons.h"
#include "player/messageoverlay.h"
#include "player/piecesource.h"
#include "player/torrentpiecesource.h"
#include "player/videosurface.h"

#include <QBitmap>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>

namespace {

const QString skinPrefix = QStringLiteral("://new//prefix1//resource//icon//");

// Flipped by every mouse press in full screen, kept across sessions.
bool fullScreenBarsFlag = false;
// True while the open-file dialog is shown.
bool fileDialogOpen = false;

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
    const QString platform = QGuiApplication::platformName();
    m_headless = platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
    setMouseTracking(true);
    for (QWidget *child : findChildren<QWidget *>())
        child->setMouseTracking(true);

    // 2. The engine.
    m_engine = std::make_unique<VlcEngine>();
    m_policy = std::make_unique<StreamingPolicy>(m_engine.get());

    // 3. Title.
    ui->moviename->setAlignment(Qt::AlignCenter);

    // 4. Skins and their first frames.
    const auto skin = [this](QAbstractButton *button, const char *normal, const char *alternate = nullptr) {
        m_skins.insert(button, Skin { QLatin1String(normal), QLatin1String(alternate ? alternate : normal) });
    };
    skin(ui->playButton, "PlayerBarBtnPlay.png", "PlayerBarBtnPauseMini.png");
    skin(ui->soundButton, "PlayerBarBtnVolMute.png", "PlayerBarBtnVolume.png");
    skin(ui->maxButton, "PlayerBarBtnMax.png", "CaptionNormalBtn.png");
    skin(ui->fullButton, "fullButton.png", "restoreButton.png");
    skin(ui->stopButton, "PlayerBarBtnStop.png");
    skin(ui->prevButton, "PlayerBarBtnPre.png");
    skin(ui->nextButton, "PlayerBarBtnNext.png");
    skin(ui->commentButton, "PlayerBarBtnComment.png");
    skin(ui->openfile, "PlayerBarOpenFile.png");
    skin(ui->hideplaylistbutton, "PlayerBarBtnPlayList.png");
    skin(ui->closeButton, "CaptionCloseBtn.png");
    skin(ui->aboutButton, "CaptionMenuBtn.png");
    skin(ui->miniButton, "CaptionMinBtn.png");
    skin(ui->capButton, "capButton.png");
    skin(ui->feedbackButton, "feedback.png");
    skin(ui->speedButton, "speedButton.png");
    skin(ui->backwardButton, "backwardButton.png");
    for (QAbstractButton *button : skinnedButtons())
        setButtonImage(button, 1, false);
    for (QAbstractButton *button :
        { ui->stopButton, ui->playButton, ui->prevButton, ui->commentButton, ui->nextButton })
        setButtonImage(button, 2, false);

    // 5. The window's own connections.
    connect(ui->closeButton, &QAbstractButton::clicked, this, &player::myclose);
    connect(ui->processSlider, &QSlider::sliderPressed, this, &player::slotSliderPressed);
    connect(ui->processSlider, &QSlider::sliderReleased, this, &player::slotSliderRelease);
    connect(ui->processSlider, &QSlider::sliderMoved, this, &player::userMovePosition);
    connect(ui->soundSlider, &QSlider::valueChanged, this, &player::setsound);
    connect(&positionTimer, &QTimer::timeout, this, &player::time);
    connect(&flashResizeTimer, &QTimer::timeout, this, &player::FlashResize);
    connect(ui->backwardButton, &QAbstractButton::clicked, this, &player::play_back);
    connect(ui->speedButton, &QAbstractButton::clicked, this, &player::play_forward);
    ui->soundSlider->setValue(50);
    setsound(50);
    positionTimer.setInterval(1000);
    positionTimer.start();
    flashResizeTimer.setSingleShot(true);
    flashResizeTimer.setInterval(1);
    ui->filelists->hide();
    ui->processSlider->setEnabled(false);
    ui->widget_10->hide();

    // 6. The surface the engine draws on.
    if (!m_headless)
        new VideoSurface(ui->display_label, m_engine.get(), this);

    // 7. Messages, centre logo, tray icon, streaming policy.
    m_messages = new MessageOverlay(ui->display_label, m_engine.get(), this);

    wireMenuAndPages();
    wireDownloads();
    wireLinks();
    wireCoreLink();

    // The tray icon only restores the window; shown where a tray exists.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_trayIcon = new QSystemTrayIcon(QIcon(skinPrefix + QStringLiteral("morvane.png")), this);
        m_trayIcon->setToolTip(QStringLiteral("Morvane"));
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, &player::iconActivated);
        m_trayIcon->show();
    }

    wirePolicy();
    updateEpisodeButtons();

    m_autoPlayMethod = settings.getAutoPlayMethod();

    // 8. Frameless, with rounded corners.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    applyMask();
}

player::~player()
{
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
    connect(m_agent, &ClientAgent::torrentDataSet, pieces, &TorrentPieces::statusReceived);
    connect(m_agent, &ClientAgent::pieceFinished, pieces, &TorrentPieces::pieceFinished);
    connect(pieces, &TorrentPieces::sessionRequest, m_agent, &ClientAgent::sessionRequest);
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

QList<QAbstractButton *> player::skinnedButtons() const
{
    return m_skins.keys();
}

void player::setButtonImage(QAbstractButton *button, int frame, bool alternate)
{
    auto it = m_skins.find(button);
    if (it == m_skins.end())
        return;
    it->frame = frame;
    it->showingAlternate = alternate;
    QPixmap strip;
    if (!strip.load(skinPrefix + (alternate ? it->alternate : it->normal)) || strip.width() < 4)
        return;
    const int width = strip.width() / 4;
    const QPixmap cut = strip.copy(qBound(0, frame, 3) * width, 0, width, strip.height());
    button->setIcon(QIcon(cut));
    button->setIconSize(cut.size());
}

void player::showPlayImage(bool pause, int frame)
{
    setButtonImage(ui->playButton, frame, pause);
}

// --- opening ---------------------------------------------------------------

void player::showTitle(QString &file)
{
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ui->moviename->setText(file.mid(file.lastIndexOf(QLatin1Char('/')) + 1));
}

void player::playFile(QString &file)
{
    m_currentFile = file;
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
    m_policy->openTorrentFile(nativePath(file), torrentHash, fileIndex, piece0Exist,
        PieceMap::fromText(bitField), pieceLength, resumePos);
    for (QAbstractButton *button : { ui->openfile, ui->stopButton, ui->prevButton, ui->nextButton })
        setButtonImage(button, 1, false);
    showTitle(file);
    if (playState() == Playing)
        ui->current_time_label->show();
    ui->display_label->setFocus();
    updateEpisodeButtons();
}

// --- the tick --------------------------------------------------------------

static QString clockText(int seconds)
{
    return QString::number(seconds / 3600) + QLatin1Char(':') + QString::number(seconds % 3600 / 60)
        + QLatin1Char(':') + QString::number(seconds % 60);
}

void player::time()
{
    if (!m_policy->tick()) {
        traceUi();
        return;
    }

    m_total = int(m_engine->length() / 1000);
    m_totalText = clockText(m_total);
    m_current = int(qMax<qint64>(m_engine->time(), 0) / 1000);
    if (m_total != 0 && !m_sliderHeld) {
        ui->processSlider->setValue(m_current * 100 / m_total);
        // The saved position follows playback, not only the last seek.
        m_policy->followPlayback();
    }
    if (m_current != 0) {
        m_currentText = clockText(m_current);
        ui->current_time_label->setText(m_currentText + QLatin1Char('/') + m_totalText);
    }
    traceUi();
    m_policy->checkEnd();
}

void player::traceUi()
{
    static const bool tracing = qEnvironmentVariableIsSet("MORVANE_UI_TRACE");
    if (!tracing)
        return;
    const auto place = [this](QWidget *widget) {
        const QRect r(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    const QString state
        = QStringLiteral("ui: time %1 state %2 seek %3 slider %4 close %5 video %6")
              .arg(ui->current_time_label->text())
              .arg(playState())
              .arg(int(ui->processSlider->isEnabled()))
              .arg(place(ui->processSlider), place(ui->closeButton), place(ui->display_label));
    if (state != m_uiTraced)
        qCDebug(lcPlayer).noquote() << state;
    m_uiTraced = state;
}

// --- streaming checks ------------------------------------------------------

bool player::seekable()
{
    return m_policy->hasLastPiece();
}

void player::pieceCheck()
{
    m_policy->pieceCheck();
}

void player::torrentFileCheck()
{
    m_policy->torrentFileCheck();
}

void player::lastPieceCheck()
{
    m_policy->lastPieceCheck();
}

void player::bitFieldRefresh(QString bitField, int pieceSize)
{
    m_policy->bitFieldRefresh(PieceMap::fromText(bitField), pieceSize);
}

// --- seeking ---------------------------------------------------------------

void player::slotSliderPressed()
{
    m_sliderHeld = true;
}

void player::slotSliderRelease()
{
    userChangePosition(ui->processSlider->value());
    m_sliderHeld = false;
}

void player::userMovePosition(int newPosition)
{
    m_policy->userMovePosition(newPosition);
    raise();
}

void player::userChangePosition(int newPosition)
{
    m_policy->userChangePosition(newPosition);
    raise();
}

void player::play_back()
{
    if (m_total == 0 || m_current == 0)
        return;
    m_policy->setPos(qMax(m_policy->pos() - 0.01f, 0.0f));
    userChangePosition(int(m_policy->pos() * 100));
}

void player::play_forward()
{
    if (m_total == 0 || m_current == 0)
        return;
    m_policy->setPos(qMin(m_policy->pos() + 0.01f, 1.0f));
    userChangePosition(int(m_policy->pos() * 100 + 0.5f));
}

// --- play, pause, stop -----------------------------------------------------

void player::on_playButton_clicked()
{
    if (m_policy->userPlay()) {
        showPlayImage(true, 1);
        m_pages->resumed();
        emit mediaButtonAction(2);
        showMessage(QString(), false, false);
    } else if (m_policy->userPause()) {
        showPlayImage(false, 1);
        m_pages->paused();
        emit mediaButtonAction(1);
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
    emit mediaButtonAction(0);
    ui->moviename->clear();
    ui->current_time_label->clear();
    updateEpisodeButtons();
}

void player::on_prevButton_clicked()
{
    playEpisode(-1);
}

void player::on_nextButton_clicked()
{
    playEpisode(1);
}

QString player::episodeBeside(int step, int *fileRow) const
{
    if (m_policy->source() == StreamingPolicy::Source::TorrentFile) {
        // The files of the download being played; a single-file download has none beside.
        const TreeItem *playing = m_model->playingItem();
        const TreeItem *download = playing ? playing->parentItem : nullptr;
        if (!download || download == m_model->rootItem())
            return QString();
        QStringList paths;
        for (const TreeItem *file : download->children)
            if (file->playable)
                paths << file->filePath;
        const QString path = EpisodeOrder::neighbour(paths, playing->filePath, step);
        for (int row = 0; fileRow && !path.isEmpty() && row < download->childCount(); ++row)
            if (download->child(row)->filePath == path)
                *fileRow = row;
        return path;
    }
    if (m_policy->source() == StreamingPolicy::Source::PlainFile) {
        const QString current
            = QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(m_currentFile)).absoluteFilePath());
        return EpisodeOrder::neighbour(EpisodeOrder::videosBeside(current), current, step);
    }
    return QString();
}

void player::playEpisode(int step)
{
    int row = -1;
    const QString path = episodeBeside(step, &row);
    if (path.isEmpty())
        return;
    if (m_policy->source() == StreamingPolicy::Source::TorrentFile && row >= 0) {
        const TreeItem *download = m_model->playingItem()->parentItem;
        const QModelIndex parent = m_model->index(download->row(), 0);
        // As a double-click on the row: the core learns the file, streaming as usual.
        m_model->doubleClickSlot(m_model->index(row, 0, parent));
    } else {
        openLocalFile(path);
    }
}

void player::updateEpisodeButtons()
{
    for (const auto &[button, step] : { std::pair { ui->prevButton, -1 }, std::pair { ui->nextButton, 1 } }) {
        const bool available = !episodeBeside(step).isEmpty();
        button->setEnabled(available);
        setButtonImage(button, available ? 1 : 2, false);
    }
}

// --- volume ----------------------------------------------------------------

void player::setsound(int newVolume)
{
    m_engine->setVolume(newVolume);
    m_volume = newVolume;
    m_soundOn = newVolume != 0;
    setButtonImage(ui->soundButton, 1, !m_soundOn);
}

void player::on_soundButton_clicked()
{
    if (m_soundOn) {
        m_soundOn = false;
        setButtonImage(ui->soundButton, 1, true);
        m_engine->setVolume(0);
    } else {
        m_soundOn = true;
        setButtonImage(ui->soundButton, 1, false);
        m_engine->setVolume(m_volume);
    }
}

void player::sound_add()
{
    ui->soundSlider->setValue(ui->soundSlider->value() + 10);
    m_engine->setVolume(ui->soundSlider->value());
}

void player::sound_sub()
{
    ui->soundSlider->setValue(ui->soundSlider->value() - 10);
    m_engine->setVolume(ui->soundSlider->value());
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
            play_back();
        break;
    case Qt::Key_Right:
        if (playState() == Playing)
            play_forward();
        break;
    case Qt::Key_Up:
        sound_add();
        break;
    case Qt::Key_Down:
        sound_sub();
        break;
    case Qt::Key_PageUp:
        playEpisode(-1);
        break;
    case Qt::Key_PageDown:
        playEpisode(1);
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool player::sliderRowAllowed() const
{
    return m_policy->source() == StreamingPolicy::Source::PlainFile || m_policy->playerCanSeek();
}

void player::setBarsVisible(bool visible)
{
    ui->widget->setVisible(visible);
    ui->widget_2->setVisible(visible);
    ui->widget_10->setVisible(visible && sliderRowAllowed());
}

void player::full()
{
    if (!m_isFullScreen) {
        m_savedGeometry = geometry();
        m_listShownBeforeFullScreen = !ui->filelists->isHidden();
        m_splitterBeforeFullScreen = ui->splitter->saveState();
        m_isFullScreen = true;
        const QRect screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->geometry();
        setGeometry(screen);
        ui->widget->hide();
        ui->widget_2->hide();
        ui->widget_10->hide();
        setButtonImage(ui->fullButton, 1, true);
        setButtonImage(ui->maxButton, 1, true);
        clearMask();
        m_pages->place(true);
        ui->treeView->resize(250, screen.height() - 29);
        ui->filelists->hide();
        setButtonImage(ui->hideplaylistbutton, 1, false);
    } else {
        setGeometry(m_savedGeometry);
        ui->widget->show();
        ui->widget_2->show();
        m_isFullScreen = false;
        setButtonImage(ui->fullButton, 1, false);
        setButtonImage(ui->maxButton, 1, false);
        m_pages->place(false);
        applyMask();
        ui->widget_10->setVisible(sliderRowAllowed());
        // The downloads view as it was before: shown or hidden, same width.
        ui->filelists->setVisible(m_listShownBeforeFullScreen);
        ui->splitter->restoreState(m_splitterBeforeFullScreen);
        setButtonImage(ui->hideplaylistbutton, m_listShownBeforeFullScreen ? 0 : 1, false);
    }
    ui->display_label->setFocus();
    ui->moviename->setAlignment(Qt::AlignCenter);
}

void player::on_fullButton_clicked()
{
    full();
}

void player::on_maxButton_clicked()
{
    full();
}

void player::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        full();
}

void player::mousePressEvent(QMouseEvent *event)
{
    m_windowPosition = pos();
    m_pressPoint = event->globalPosition().toPoint();
    m_dragOffset = m_pressPoint - m_windowPosition;
    m_dragging = true;
    if (m_isFullScreen) {
        fullScreenBarsFlag = !fullScreenBarsFlag;
        if (event->button() == Qt::LeftButton)
            setBarsVisible(fullScreenBarsFlag);
    }
}

void player::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
}

void player::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (m_dragging && !m_isFullScreen && (event->buttons() & Qt::LeftButton))
        move(global - m_dragOffset);
    const QList<QAbstractButton *> stateButtons { ui->playButton, ui->stopButton, ui->prevButton,
        ui->nextButton };
    for (auto it = m_skins.begin(); it != m_skins.end(); ++it) {
        QAbstractButton *button = it.key();
        if ((playState() == Stopped || !button->isEnabled()) && stateButtons.contains(button))
            continue;
        if (button == ui->commentButton && !m_commentAvailable)
            continue;
        if (button == ui->playButton && playState() == Caching)
            continue;
        const QRect area(button->mapToGlobal(QPoint(0, 0)), button->size());
        const int frame = area.contains(global) ? 3 : 1;
        if (button == ui->openfile && fileDialogOpen)
            continue;
        if (button == ui->hideplaylistbutton && ui->filelists->isVisible() && frame == 1)
            continue;
        if (it->frame != frame)
            setButtonImage(button, frame, it->showingAlternate);
    }
}

void player::enterEvent(QEnterEvent *event)
{
    QDialog::enterEvent(event);
}

void player::leaveEvent(QEvent *event)
{
    resetButtonFrames();
    QDialog::leaveEvent(event);
}

void player::resetButtonFrames()
{
    for (auto it = m_skins.begin(); it != m_skins.end(); ++it) {
        if (it->frame != 3)
            continue;
        if (it.key() == ui->openfile && fileDialogOpen)
            continue;
        setButtonImage(it.key(), 1, it->showingAlternate);
    }
}

void player::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        setWindowTitle(QStringLiteral("Morvane"));
    }
    QDialog::changeEvent(event);
}

void player::applyMask()
{
    QBitmap mask(size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::color1);
    painter.drawRoundedRect(rect(), 7, 7);
    painter.end();
    setMask(mask);
}

void player::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (!m_isFullScreen)
        applyMask();
    flashResizeTimer.start();
}

void player::FlashResize()
{
    m_pages->FlashResize();
    ui->moviename->setAlignment(Qt::AlignCenter);
}

// --- message label ---------------------------------------------------------

void player::showMessage(const QString &text, bool show, bool autoClear)
{
    if (!show) {
        m_messages->hide();
        return;
    }
    // Progress on a shown caching message is the same wait, not a new one:
    // traces count waits.
    const QString caching = tr("data caching..");
    const bool sameWait = m_messages->text().startsWith(caching) && text.startsWith(caching);
    m_messages->show(text, autoClear, !sameWait);
}

void player::slotclean()
{
    m_messages->hide();
}

QString player::messageText() const
{
    return m_messages->text();
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

void player::hideplaylist()
{
    on_hideplaylistbutton_clicked();
}

void player::on_hideplaylistbutton_clicked()
{
    m_buttons->hideplaylistClicked(m_isFullScreen);
}

void player::on_miniButton_clicked()
{
    m_buttons->miniClicked();
}

void player::on_aboutButton_clicked()
{
    m_menu->popupBelow(ui->aboutButton);
}

void player::on_feedbackButton_clicked()
{
    m_buttons->feedbackClicked();
}

void player::on_commentButton_clicked()
{
    m_buttons->commentClicked();
}

void player::setCommentButton(QString setCommentUrl)
{
    m_buttons->setCommentButton(setCommentUrl);
    m_commentAvailable = m_buttons->commentAvailable();
    setButtonImage(ui->commentButton, m_commentAvailable ? 1 : 2, false);
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

void player::slotupgrade()
{
    m_update->slotupgrade();
}

void player::slotupdater()
{
    m_update->slotupdater();
}

void player::htmlFinishLoad()
{
    m_pages->htmlFinishLoad(true);
}

void player::openUrlSlot(QUrl url)
{
    m_links->openUrlSlot(url);
}

void player::processParams(QString params_str)
{
    m_links->processParams(params_str);
}

void player::processParams(QStringList params)
{
    m_links->processParams(params);
}

void player::processmorvane(QString param)
{
    m_links->processmorvane(param);
}

void player::webRequestCheckProcess()
{
    m_links->webRequestCheckProcess();
}

void player::addedReturnPrepProcess(int type, QList<QStringList> list)
{
    m_links->addedReturnPrepProcess(type, list);
}

void player::myQuit()
{
    m_control->myQuit();
}

void player::serverStateCheck(QString newChannelName)
{
    m_control->serverStateCheck(newChannelName);
}

void player::tryToTurnDownServer()
{
    m_control->tryToTurnDownServer();
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

// agent <-> window, model, dialogs; the core process control
void player::wireCoreLink()
{
    m_agent = new ClientAgent(this);
    m_control = new CoreProcessControl(m_agent, this);
    connect(m_control, &CoreProcessControl::closeRequested, this, &QWidget::close);

    // The window's own requests still carry bare codes.
    const auto forward = [this](int type, const QStringList &arguments) {
        emit m_agent->sessionRequest(CoreProtocol::RequestType(type), arguments);
    };
    connect(this, qOverload<int, QStringList>(&player::sessionRequest), m_agent, forward);
    connect(this, qOverload<int, QString>(&player::sessionRequest), m_agent,
        [forward](int type, const QString &argument) { forward(type, QStringList { argument }); });
    connect(this, qOverload<int>(&player::sessionRequest), m_agent,
        [forward](int type) { forward(type, QStringList { QString(QLatin1String("")) }); });
    connect(this, &player::replyTimeOutCheckHold, m_agent, &ClientAgent::replyTimeOutCheckHold);
    connect(this, &player::replyTimeOutCheckReset, m_agent, &ClientAgent::replyTimeOutCheckReset);
    connect(m_model, &TreeModel::sessionRequest, m_agent, &ClientAgent::sessionRequest);

    connect(m_agent, &ClientAgent::startupTorrent, m_model, &TreeModel::startupTorrent);
    connect(m_agent, &ClientAgent::addedReturn, this, &player::addedReturnPrepProcess);
    connect(m_links, &LinkProcessor::addedReturn, m_model,
        qOverload<int, QList<QStringList>, bool>(&TreeModel::addedReturn));
    connect(m_agent, &ClientAgent::torrentDataSet, m_model, &TreeModel::torrentDataSet);
    connect(m_agent, &ClientAgent::serverStateCheck, this, &player::serverStateCheck);
    connect(m_agent, &ClientAgent::webRequestCheck, this, &player::webRequestCheckProcess);
    connect(m_agent, &ClientAgent::serverReadyToClose, this, &player::myQuit);
    connect(m_agent, &ClientAgent::prepBuildItemForUrl, m_model, &TreeModel::prepBuildItemForUrl);
    connect(m_agent, &ClientAgent::buildTemporaryItem, m_model, &TreeModel::buildTemporaryItem);
    connect(m_agent, &ClientAgent::addFailed, this, &player::addFailed);
    connect(m_agent, &ClientAgent::addFailed, m_model, &TreeModel::addFailed);
}

// menu, start page and window buttons -> window
void player::wireMenuAndPages()
{
    m_pages = new WebPages(
        ui->display_label, [this] { return playState(); }, this);
    m_centreLogo = m_pages->centreLogo();
    connect(
        m_pages->view(), &MyWebView::sendDropEvent, this, [this](QDropEvent *event) { dropEvent(event); });
    connect(m_pages->view(), &MyWebView::sendDoubldClick, this,
        [this](QMouseEvent *event) { mouseDoubleClickEvent(event); });
    connect(m_pages->view(), &MyWebView::linkClicked, this, &player::openUrlSlot);

    m_menu = new MainMenu(this);
    connect(m_menu, &MainMenu::openFileTriggered, this, &player::slotopen);
    connect(m_menu, &MainMenu::openUrlTriggered, this, &player::slotopenurl);
    connect(m_menu, &MainMenu::openTorrentTriggered, this, &player::slotopentorrent);
    connect(m_menu, &MainMenu::shutdownCompletelyTriggered, this, &player::myQuit);
    connect(m_menu, &MainMenu::upgradeTriggered, this, &player::slotupgrade);
    connect(m_menu, &MainMenu::setupTriggered, this, &player::slotoption);
    connect(m_menu, &MainMenu::aboutTriggered, this, &player::slotwith);

    m_buttons = new WindowButtons(
        this, ui->filelists, m_pages, ui->commentButton, ui->hideplaylistbutton, ui->miniButton, this);
    connect(m_buttons, &WindowButtons::frameRequested, this, [this](QAbstractButton *button, int frame) {
        setButtonImage(button, frame, m_skins.value(button).showingAlternate);
    });

    m_update = new UpdateCheck(this);
    m_update->start();
}

// links and the Open URL dialog -> window and core requests
void player::wireLinks()
{
    m_links = new LinkProcessor(
        m_parameters, this, ui->filelists, [this] { return playState(); }, this);
    connect(
        m_links, &LinkProcessor::sessionRequest, this, qOverload<int, QStringList>(&player::sessionRequest));
    connect(m_links, &LinkProcessor::playFileRequested, this, &player::openLocalFile);
    connect(m_links, &LinkProcessor::startPageLoadRequested, m_pages, &WebPages::loadStartPage);
    connect(m_links, &LinkProcessor::notice, this,
        [this](const QString &text) { showMessage(text, true, true); });

    m_openUrl = new openurl(this);
    connect(m_openUrl, &openurl::sessionRequest, this, qOverload<int, QStringList>(&player::sessionRequest));
    connect(
        m_openUrl, &openurl::notice, this, [this](const QString &text) { showMessage(text, true, true); });

    // Options dialog -> core requests and the auto-play flag
    m_options = new Options(this);
    connect(m_options, &Options::sessionRequest, this, qOverload<int, QStringList>(&player::sessionRequest));
    connect(m_options, &Options::autoPlayMethodChanged, this, &player::autoPlayMethodChanged);
}

void player::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
        showNormal();
        raise();
        activateWindow();
    }
}

void player::doubleClick_MovieStatusCheck(QModelIndex index, bool isExpand)
{
    emit doubleClickWithMovieStatusCheck(index, isExpand, playState());
}

void player::overallUpDownloadRate(QString upload, QString download)
{
    ui->uplabel->clear();
    ui->downlabel->clear();
    ui->uplabel->setText(upload);
    ui->downlabel->setText(download);
    m_policy->setDownloadRate(download);
}

void player::autoPlayMethodChanged(bool _autoPlayMethod)
{
    m_autoPlayMethod = _autoPlayMethod;
    m_links->autoPlayMethodChanged(_autoPlayMethod);
}

void player::on_capButton_clicked()
{
    m_currentFile.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString folder = m_currentFile.left(m_currentFile.lastIndexOf(QLatin1Char('/')));
    m_engine->takeSnapshot(
        folder, unsigned(ui->display_label->width()), unsigned(ui->display_label->height()));
}

void player::closeWebView()
{
    m_pages->playing();
}

void player::setSliderRow(bool enabled)
{
    ui->processSlider->setEnabled(enabled);
    ui->widget_10->setVisible(enabled && !m_isFullScreen);
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

void player::slotopen()
{
    on_openfile_clicked();
}

void player::on_openfile_clicked()
{
    fileDialogOpen = true;
    setButtonImage(ui->openfile, 0, false);
    emit replyTimeOutCheckHold();
    QString chosen = chooseFile(tr("Open file"), QStringLiteral(" "),
        QStringLiteral(
            "Video&Torrent  (*.AVI *.ASF *.WMV *.AVS *.FLV *.MKV *.MOV *.3GP *.MP4 *.MPG *.MPEG *.DAT "
            "*.DSM *.OGM *.VOB *.RM *.RMVB *.TS *.TP *.IFO *.NSV *.torrent)\n(*.*)"));
    emit replyTimeOutCheckReset();
    if (chosen.isEmpty()) {
        fileDialogOpen = false;
        setButtonImage(ui->openfile, 1, false);
        return;
    }
    const QString native = nativePath(chosen);
    if (MediaSuffixes::isTorrent(native)) {
        emit sessionRequest(0, native);
    } else if (MediaSuffixes::isVideo(native)) {
        openLocalFile(chosen);
    } else {
        showMessage(tr("Format does not support.."), true, true);
        for (QAbstractButton *button : { ui->stopButton, ui->nextButton, ui->prevButton })
            setButtonImage(button, 2, false);
    }
    setButtonImage(ui->openfile, 1, false);
    ui->display_label->setFocus();
    if (MediaSuffixes::isVideo(native)) {
        showTitle(chosen);
        ui->widget_10->show();
    }
    fileDialogOpen = false;
}

void player::slotopentorrent()
{
    QString chosen
        = chooseFile(tr("Open file"), QStringLiteral(" "), QStringLiteral("Torrent(*.torrent)\n(*.*)"));
    if (chosen.isEmpty()) {
        setButtonImage(ui->openfile, 1, false);
        return;
    }
    QString native = nativePath(chosen);
    if (MediaSuffixes::isTorrent(native))
        emit sessionRequest(0, native);
    else
        openLocalFile(native);
    setButtonImage(ui->stopButton, 1, false);
    setButtonImage(ui->openfile, 1, false);
}

void player::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void player::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    const QString local = urls.first().toLocalFile();
    if (local.isEmpty())
        return;
    QString native = nativePath(local);
    if (MediaSuffixes::isTorrent(native)) {
        if (ui->filelists->isHidden())
            on_hideplaylistbutton_clicked();
        emit sessionRequest(0, native);
        return;
    }
    if (MediaSuffixes::isSubtitle(native)) {
        openLocalFile(native);
        return;
    }
    if (MediaSuffixes::isVideo(native)) {
        openLocalFile(native);
        closeWebView();
    }
    QString shown = local;
    showTitle(shown);
    event->acceptProposedAction();
}

// --- subtitles -------------------------------------------------------------

int player::countFolderEntries(const QString &folder) const
{
    return int(
        QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).size());
}

void player::on_display_label_customContextMenuRequested(QPoint pos)
{
    if (!m_displayMenu) {
        m_displayMenu = new QMenu(this);
        m_displayMenu->addAction(ui->downsub);
        connect(ui->downsub, &QAction::triggered, this, &player::slotdownsub);
    }
    m_displayMenu->popup(ui->display_label->mapToGlobal(pos));
}

void player::slotdownsub()
{
    m_currentFile.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString folder = m_currentFile.left(m_currentFile.lastIndexOf(QLatin1Char('/')));
    m_subtitleEntryCount = countFolderEntries(folder);

    // Own folder first, then the search path; missing means nothing happens.
    QString program
        = QStandardPaths::findExecutable(subDownloaderProgram, { QCoreApplication::applicationDirPath() });
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(subDownloaderProgram);
    if (program.isEmpty()) {
        qCDebug(lcPlayer).noquote() << "no" << subDownloaderProgram << "found";
        showMessage(
            tr("Subtitle download needs %1, which is not installed.").arg(subDownloaderProgram), true, true);
        return;
    }
    // One argument per item: a file name with quotes or blanks reaches the
    // program whole, and nothing in it is interpreted.
    auto *process = new QProcess(this);
    connect(process, &QProcess::finished, this, &player::slotFinished);
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start(
        program, { QStringLiteral("--silent"), QStringLiteral("--filename"), nativePath(m_currentFile) });
}

void player::slotFinished(int exitcode, QProcess::ExitStatus status)
{
    Q_UNUSED(exitcode);
    Q_UNUSED(status);
    const QString file = QString(m_currentFile).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString folder = file.left(file.lastIndexOf(QLatin1Char('/')));
    const int count = countFolderEntries(folder);
    if (count <= m_subtitleEntryCount)
        return;
    m_subtitleEntryCount = count;
    const QString chosen = chooseFile(folder, folder,
        QStringLiteral("subtitle(*.CDG *.IDX *.SRT *.SUB *.UTF *.ASS *.SSA *.AQT *.JSS "
                       "*.PSB *.RT *.SMI *.TXT *.SMIL *.STL *.USF *.DKS *.PJS *.MPL2)"));
    m_engine->setSubtitleFile(nativePath(chosen));
}
