#include "windowchrome.h"

#include "player/streamingpolicy.h"
#include "ui_player.h"

#include <QBitmap>
#include <QDialog>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

namespace {

const QString skinPrefix = QStringLiteral("://new//prefix1//resource//icon//");

// Flipped by every mouse press in full screen, kept across sessions.
bool fullScreenBarsFlag = false;

} // namespace

WindowChrome::WindowChrome(
    QDialog *window, Ui::player *form, std::function<int()> playState, std::function<bool()> sliderRowAllowed)
    : QObject(window)
    , m_window(window)
    , ui(form)
    , m_playState(std::move(playState))
    , m_sliderRowAllowed(std::move(sliderRowAllowed))
{
    window->installEventFilter(this);
}

bool WindowChrome::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        mousePressed(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    case QEvent::MouseMove:
        mouseMoved(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseButtonDblClick:
        doubleClicked(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::Leave:
        resetButtonFrames();
        break;
    case QEvent::Resize:
        if (!m_isFullScreen)
            applyMask();
        break;
    default:
        break;
    }
    return false;
}

void WindowChrome::showTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(QIcon(skinPrefix + QStringLiteral("morvane.png")), this);
    m_trayIcon->setToolTip(QStringLiteral("Morvane"));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
            m_window->showNormal();
            m_window->raise();
            m_window->activateWindow();
        }
    });
    m_trayIcon->show();
}

void WindowChrome::setUpSkins()
{
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
    for (QAbstractButton *button : m_skins.keys())
        setButtonImage(button, 1, false);
    for (QAbstractButton *button :
        { ui->stopButton, ui->playButton, ui->prevButton, ui->commentButton, ui->nextButton })
        setButtonImage(button, 2, false);
}

void WindowChrome::setButtonImage(QAbstractButton *button, int frame, bool alternate)
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

void WindowChrome::setButtonFrame(QAbstractButton *button, int frame)
{
    setButtonImage(button, frame, m_skins.value(button).showingAlternate);
}

void WindowChrome::showTitle(QString &file)
{
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ui->moviename->setText(file.mid(file.lastIndexOf(QLatin1Char('/')) + 1));
}

void WindowChrome::setBarsVisible(bool visible)
{
    ui->widget->setVisible(visible);
    ui->widget_2->setVisible(visible);
    ui->widget_10->setVisible(visible && m_sliderRowAllowed());
}

void WindowChrome::setSliderRow(bool enabled)
{
    ui->processSlider->setEnabled(enabled);
    ui->widget_10->setVisible(enabled && !m_isFullScreen);
}

void WindowChrome::toggleFullScreen()
{
    if (!m_isFullScreen) {
        m_savedGeometry = m_window->geometry();
        m_listShownBeforeFullScreen = !ui->filelists->isHidden();
        m_splitterBeforeFullScreen = ui->splitter->saveState();
        m_isFullScreen = true;
        const QRect screen
            = (m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen())->geometry();
        m_window->setGeometry(screen);
        ui->widget->hide();
        ui->widget_2->hide();
        ui->widget_10->hide();
        setButtonImage(ui->fullButton, 1, true);
        setButtonImage(ui->maxButton, 1, true);
        m_window->clearMask();
        emit fullScreenChanged(true);
        ui->treeView->resize(250, screen.height() - 29);
        ui->filelists->hide();
        setButtonImage(ui->hideplaylistbutton, 1, false);
    } else {
        m_window->setGeometry(m_savedGeometry);
        ui->widget->show();
        ui->widget_2->show();
        m_isFullScreen = false;
        setButtonImage(ui->fullButton, 1, false);
        setButtonImage(ui->maxButton, 1, false);
        emit fullScreenChanged(false);
        applyMask();
        ui->widget_10->setVisible(m_sliderRowAllowed());
        // The downloads view as it was before: shown or hidden, same width.
        ui->filelists->setVisible(m_listShownBeforeFullScreen);
        ui->splitter->restoreState(m_splitterBeforeFullScreen);
        setButtonImage(ui->hideplaylistbutton, m_listShownBeforeFullScreen ? 0 : 1, false);
    }
    ui->display_label->setFocus();
    ui->moviename->setAlignment(Qt::AlignCenter);
}

void WindowChrome::applyMask()
{
    QBitmap mask(m_window->size());
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setBrush(Qt::color1);
    painter.setPen(Qt::color1);
    painter.drawRoundedRect(m_window->rect(), 7, 7);
    painter.end();
    m_window->setMask(mask);
}

void WindowChrome::doubleClicked(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        toggleFullScreen();
}

void WindowChrome::mousePressed(QMouseEvent *event)
{
    m_dragOffset = event->globalPosition().toPoint() - m_window->pos();
    m_dragging = true;
    if (m_isFullScreen) {
        fullScreenBarsFlag = !fullScreenBarsFlag;
        if (event->button() == Qt::LeftButton)
            setBarsVisible(fullScreenBarsFlag);
    }
}

void WindowChrome::mouseMoved(QMouseEvent *event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (m_dragging && !m_isFullScreen && (event->buttons() & Qt::LeftButton))
        m_window->move(global - m_dragOffset);
    const QList<QAbstractButton *> stateButtons { ui->playButton, ui->stopButton, ui->prevButton,
        ui->nextButton };
    const int state = m_playState();
    for (auto it = m_skins.begin(); it != m_skins.end(); ++it) {
        QAbstractButton *button = it.key();
        if ((state == StreamingPolicy::Stopped || !button->isEnabled()) && stateButtons.contains(button))
            continue;
        if (button == ui->commentButton && !m_commentAvailable)
            continue;
        if (button == ui->playButton && state == StreamingPolicy::Caching)
            continue;
        const QRect area(button->mapToGlobal(QPoint(0, 0)), button->size());
        const int frame = area.contains(global) ? 3 : 1;
        if (button == ui->openfile && m_fileDialogOpen)
            continue;
        if (button == ui->hideplaylistbutton && ui->filelists->isVisible() && frame == 1)
            continue;
        if (it->frame != frame)
            setButtonImage(button, frame, it->showingAlternate);
    }
}

void WindowChrome::resetButtonFrames()
{
    for (auto it = m_skins.begin(); it != m_skins.end(); ++it) {
        if (it->frame != 3)
            continue;
        if (it.key() == ui->openfile && m_fileDialogOpen)
            continue;
        setButtonImage(it.key(), 1, it->showingAlternate);
    }
}
