#include "options.h"
#include "ui_options.h"

#include "dialogs/elevatedlauncher.h"
#include "dialogs/folderchooser.h"
#include "settings/preferences.h"

#include <QMessageBox>
#include <QMouseEvent>

Options::Options(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Options)
{
    ui->setupUi(this);
    setFixedSize(size());
    loadSettings();

    // The list picks the page; the cache size has a page of its own so that
    // it can be changed at all.
    ui->listWidget->addItem(new QListWidgetItem(tr("General setup")));
    ui->listWidget->addItem(new QListWidgetItem(tr("Advanced setup")));
    ui->listWidget->setCurrentRow(0);
    ui->stackedWidget->setCurrentIndex(0);
    connect(ui->listWidget, &QListWidget::currentItemChanged, this, &Options::changePage);
}

Options::~Options()
{
    delete ui;
}

void Options::loadSettings()
{
    Preferences prefs;
    ui->portcheckBox->setChecked(prefs.getPortCheckbox());
    ui->portlineEdit->setText(prefs.getPortLineEdit());
    ui->ipv6checkBox->setChecked(prefs.getIpv6Checkbox());
    ui->ptBackCheckBox->setChecked(prefs.getPtBackgroundWork());
    ui->autoPlayMethodCheckBox->setChecked(prefs.getAutoPlayMethod());
    ui->browselineEdit->setText(prefs.getSavePath());
    ui->languangecomboBox->setCurrentIndex(prefs.getLocale() == QLatin1String("zh_CN") ? 0 : 1);
    ui->cacheSize->setValue(int(qMin(prefs.getDiskCache(), unsigned(ui->cacheSize->maximum()))));
    ui->downloadLimit->setValue(int(qMin(prefs.getDownloadLimit(), unsigned(ui->downloadLimit->maximum()))));
    ui->uploadLimit->setValue(int(qMin(prefs.getUploadLimit(), unsigned(ui->uploadLimit->maximum()))));
    ui->maxConnections->setValue(
        int(qMin(prefs.getMaxConnections(), unsigned(ui->maxConnections->maximum()))));
    ui->audioLanguage->setText(prefs.getAudioLanguage());
    ui->subtitleLanguage->setText(prefs.getSubtitleLanguage());
    ui->streamOnNetworkCheckBox->setChecked(prefs.getStreamOnNetwork());
}

void Options::changePage(QListWidgetItem *current, QListWidgetItem *previous)
{
    QListWidgetItem *item = current ? current : previous;
    if (!item)
        return;
    ui->stackedWidget->setCurrentIndex(ui->listWidget->row(item));
}

void Options::on_cancleButton_clicked()
{
    reject();
}

bool Options::portTextAcceptable() const
{
    // An empty port lets the core choose; anything else must be a real port.
    const QString text = ui->portlineEdit->text();
    if (!ui->portcheckBox->isChecked() || text.isEmpty())
        return true;
    if (text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const int port = text.toInt();
    return port >= 1 && port <= 65535;
}

void Options::on_okButton_clicked()
{
    // Refuse before anything is stored, so a bad port never reaches the core.
    if (!portTextAcceptable()) {
        QMessageBox::warning(this, tr("Options"), tr("The port must be a whole number from 1 to 65535."));
        ui->portlineEdit->setFocus();
        ui->portlineEdit->selectAll();
        return;
    }

    Preferences prefs;
    prefs.setPortCheckbox(ui->portcheckBox->isChecked());
    prefs.setPortLineEdit(ui->portlineEdit->text());

    const bool ipv6 = ui->ipv6checkBox->isChecked();
    if (ipv6 != prefs.getIpv6Checkbox()) {
        prefs.setIpv6Checkbox(ipv6);
        emit sessionRequest(
            ipv6 ? CoreProtocol::Ipv6On : CoreProtocol::Ipv6Off, QStringList { QStringLiteral("") });
    }

    // An emptied field falls back to the default folder; tell the core the
    // folder it will really use, never an empty one.
    prefs.setSavePath(ui->browselineEdit->text());
    const QString savePath = prefs.getSavePath();
    ui->browselineEdit->setText(savePath);
    emit sessionRequest(CoreProtocol::SetSavePath, QStringList { savePath });

    prefs.setLocale(
        ui->languangecomboBox->currentIndex() == 1 ? QStringLiteral("en_GB") : QStringLiteral("zh_CN"));

    prefs.setPtBackgroundWork(ui->ptBackCheckBox->isChecked());
    const bool autoPlay = ui->autoPlayMethodCheckBox->isChecked();
    prefs.setAutoPlayMethod(autoPlay);
    emit autoPlayMethodChanged(autoPlay);

    const unsigned int cache = unsigned(ui->cacheSize->value());
    prefs.setDiskCache(cache);
    emit sessionRequest(CoreProtocol::SetDiskCache, QStringList { QString::number(cache) });

    storeLimits(prefs);
    prefs.setAudioLanguage(ui->audioLanguage->text());
    prefs.setSubtitleLanguage(ui->subtitleLanguage->text());
    // The core reads it when it starts.
    prefs.setStreamOnNetwork(ui->streamOnNetworkCheckBox->isChecked());

    accept();
}

void Options::storeLimits(Preferences &prefs)
{
    const unsigned int download = unsigned(ui->downloadLimit->value());
    const unsigned int upload = unsigned(ui->uploadLimit->value());
    const unsigned int connections = unsigned(ui->maxConnections->value());
    // Like the IPv6 switch, told only when changed: an OK that changes
    // nothing sends what it always sent.
    if (download == prefs.getDownloadLimit() && upload == prefs.getUploadLimit()
        && connections == prefs.getMaxConnections())
        return;
    prefs.setDownloadLimit(download);
    prefs.setUploadLimit(upload);
    prefs.setMaxConnections(connections);
    emit sessionRequest(CoreProtocol::RateLimits,
        QStringList { QString::number(download), QString::number(upload), QString::number(connections) });
}

void Options::on_browseButton_clicked()
{
    ui->browselineEdit->setText(
        FolderChooser::chooseFolder(this, tr("Open Directory"), ui->browselineEdit->text()));
}

void Options::on_regeditpushButton_clicked()
{
    ElevatedLauncher::launchElevated(ElevatedLauncher::associationTool(), QString());
}

void Options::mousePressEvent(QMouseEvent *event)
{
    m_pressWindowPos = pos();
    m_pressMousePos = event->globalPosition().toPoint();
    m_dragOffset = m_pressMousePos - m_pressWindowPos;
    m_dragging = true;
    QDialog::mousePressEvent(event);
}

void Options::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging)
        move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void Options::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
