#include "openurl.h"
#include "ui_openurl.h"

#include "websites.h"

#include <QMessageBox>

openurl::openurl(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::openurl>())
{
    ui->setupUi(this);
}

openurl::~openurl() = default;

QString openurl::text() const
{
    return ui->textEdit->toPlainText();
}

void openurl::setText(const QString &text)
{
    ui->textEdit->setPlainText(text);
}

void openurl::on_okpushButton_clicked()
{
    QStringList accepted;
    const QStringList lines = ui->textEdit->toPlainText().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString entry = line.trimmed();
        if (entry.isEmpty() || accepted.contains(entry, Qt::CaseInsensitive))
            continue;
        accepted.append(entry);
    }
    if (accepted.isEmpty()) {
        QMessageBox::critical(
            this, tr("invalid address"), tr("Please at least one input URL"), QMessageBox::Ok);
        return;
    }
    for (const QString &entry : std::as_const(accepted))
        emit urlReadyToBeDownloaded(entry, true);
    processDownloadList(accepted);
    close();
}

void openurl::on_cancelpushButton_clicked()
{
    close();
}

int openurl::processDownloadList(QStringList url_list)
{
    if (url_list.isEmpty())
        return 0;
    const QString &first = url_list.constFirst();
    if (first.startsWith(QLatin1String("magnet:"), Qt::CaseInsensitive)) {
        emit sessionRequest(CoreProtocol::AddMagnets, url_list);
        return 0;
    }
    for (const QLatin1String scheme :
        { QLatin1String("http://"), QLatin1String("ftp://"), QLatin1String("https://") }) {
        if (first.startsWith(scheme, Qt::CaseInsensitive)) {
            emit sessionRequest(CoreProtocol::AddUrls, url_list);
            return 0;
        }
    }

    const QLatin1String prefix("morvane://");
    for (const QString &entry : std::as_const(url_list)) {
        m_link.clear();
        if (!entry.startsWith(prefix, Qt::CaseInsensitive))
            return 1;
        const QStringList parts = entry.mid(prefix.size()).split(QLatin1Char('&'), Qt::SkipEmptyParts);
        for (const QString &part : parts)
            m_link.assign(part, false);
        if (m_link.ty != QLatin1String("1"))
            continue;
        const QString site = m_link.torrentHost();
        if (site.isEmpty()) {
            if (m_link.ro == QLatin1String("1"))
                emit notice(WebSites::noTrackerSiteText());
            continue;
        }
        m_link.requestUrl = m_link.downloadAddress(site);
        emit sessionRequest(CoreProtocol::AddUrls, QStringList { m_link.requestUrl });
    }
    return 0;
}
