#include "controlbar.h"

#include "platform/logging.h"
#include "player/streamingpolicy.h"
#include "player/subtitledownload.h"
#include "player/vlcengine.h"
#include "player/windowchrome.h"
#include "ui_player.h"

namespace {

QString clockText(int seconds)
{
    return QString::number(seconds / 3600) + QLatin1Char(':') + QString::number(seconds % 3600 / 60)
        + QLatin1Char(':') + QString::number(seconds % 60);
}

} // namespace

ControlBar::ControlBar(
    QWidget *window, Ui::player *form, VlcEngine *engine, StreamingPolicy *policy, WindowChrome *chrome)
    : QObject(window)
    , m_window(window)
    , ui(form)
    , m_engine(engine)
    , m_policy(policy)
    , m_chrome(chrome)
{ }

void ControlBar::time()
{
    if (!m_policy->tick()) {
        traceUi();
        return;
    }

    m_total = int(m_engine->length() / 1000);
    const QString totalText = clockText(m_total);
    m_current = int(qMax<qint64>(m_engine->time(), 0) / 1000);
    if (m_total != 0 && !m_sliderHeld) {
        ui->processSlider->setValue(m_current * 100 / m_total);
        // The saved position follows playback, not only the last seek.
        m_policy->followPlayback();
    }
    if (m_current != 0)
        ui->current_time_label->setText(clockText(m_current) + QLatin1Char('/') + totalText);
    traceUi();
    m_policy->checkEnd();
}

void ControlBar::traceUi()
{
    static const bool tracing = qEnvironmentVariableIsSet("MORVANE_UI_TRACE");
    if (!tracing)
        return;
    const auto place = [](QWidget *widget) {
        const QRect r(widget->mapToGlobal(QPoint(0, 0)), widget->size());
        return QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    };
    const QString state
        = QStringLiteral("ui: time %1 state %2 seek %3 slider %4 close %5 video %6")
              .arg(ui->current_time_label->text())
              .arg(m_policy->playState())
              .arg(int(ui->processSlider->isEnabled()))
              .arg(place(ui->processSlider), place(ui->closeButton), place(ui->display_label));
    if (state != m_uiTraced)
        qCDebug(lcPlayer).noquote() << state;
    m_uiTraced = state;
}

void ControlBar::slotSliderPressed()
{
    m_sliderHeld = true;
}

void ControlBar::slotSliderRelease()
{
    userChangePosition(ui->processSlider->value());
    m_sliderHeld = false;
}

void ControlBar::userMovePosition(int newPosition)
{
    m_policy->userMovePosition(newPosition);
    m_window->raise();
}

void ControlBar::userChangePosition(int newPosition)
{
    m_policy->userChangePosition(newPosition);
    m_window->raise();
}

void ControlBar::play_back()
{
    if (m_total == 0 || m_current == 0)
        return;
    m_policy->setPos(qMax(m_policy->pos() - 0.01f, 0.0f));
    userChangePosition(int(m_policy->pos() * 100));
}

void ControlBar::play_forward()
{
    if (m_total == 0 || m_current == 0)
        return;
    m_policy->setPos(qMin(m_policy->pos() + 0.01f, 1.0f));
    userChangePosition(int(m_policy->pos() * 100 + 0.5f));
}

void ControlBar::setsound(int newVolume)
{
    m_engine->setVolume(newVolume);
    m_volume = newVolume;
    m_soundOn = newVolume != 0;
    m_chrome->setButtonImage(ui->soundButton, 1, !m_soundOn);
}

void ControlBar::toggleSound()
{
    m_soundOn = !m_soundOn;
    m_chrome->setButtonImage(ui->soundButton, 1, !m_soundOn);
    m_engine->setVolume(m_soundOn ? m_volume : 0);
}

void ControlBar::sound_add()
{
    ui->soundSlider->setValue(ui->soundSlider->value() + 10);
    m_engine->setVolume(ui->soundSlider->value());
}

void ControlBar::sound_sub()
{
    ui->soundSlider->setValue(ui->soundSlider->value() - 10);
    m_engine->setVolume(ui->soundSlider->value());
}

void ControlBar::showRates(const QString &upload, const QString &download)
{
    ui->uplabel->clear();
    ui->downlabel->clear();
    ui->uplabel->setText(upload);
    ui->downlabel->setText(download);
    m_policy->setDownloadRate(download);
}

void ControlBar::takeSnapshot(const QString &file)
{
    m_engine->takeSnapshot(SubtitleDownload::folderOf(file), unsigned(ui->display_label->width()),
        unsigned(ui->display_label->height()));
}
