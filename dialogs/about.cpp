#include "about.h"
#include "ui_about.h"

#include "links/websites.h"

#include <QUrl>

about::about(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::about)
{
    ui->setupUi(this);
    ui->timelabel->setText(buildTime());
    ui->versionlabel->setText(WebSites::programVersionText());
    ui->lb_about->setText(linksText());
}

about::~about()
{
    delete ui;
}

QString about::buildTime()
{
    return QStringLiteral(__DATE__ " " __TIME__);
}

QString about::linksText() const
{
    const QString website = tr("Website ");
    const QString forum = tr("Forum");
    // We run no public server: without one configured the names stay plain text.
    // A setting that is no host at all gets no link either.
    const QString host = WebSites::webServer();
    const QUrl base(QStringLiteral("http://") + host + QLatin1Char('/'), QUrl::StrictMode);
    if (host.isEmpty() || !base.isValid() || base.host().isEmpty())
        return website.toHtmlEscaped() + QLatin1Char(' ') + forum.toHtmlEscaped();

    const QString home = base.toString(QUrl::FullyEncoded).toHtmlEscaped();
    const QString forumUrl = WebSites::feedbackAddress().toString(QUrl::FullyEncoded).toHtmlEscaped();
    return QStringLiteral("<a href=\"") + home + QStringLiteral("\">") + website.toHtmlEscaped()
        + QStringLiteral("</a> <a href=\"") + forumUrl + QStringLiteral("\">") + forum.toHtmlEscaped()
        + QStringLiteral("</a>");
}
