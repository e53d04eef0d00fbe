#pragma once

#include "linkparameters.h"
#include "protocol/coreprotocol.h"

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class openurl;
}

// Lets the user paste addresses to download and play; turns them into
// requests for the core. Created once by the window, shown modeless, and the
// text stays for the next time.
class openurl : public QDialog
{
    Q_OBJECT

public:
    explicit openurl(QWidget *parent = nullptr);
    ~openurl() override;

    QString text() const;
    void setText(const QString &text);

signals:
    void urlReadyToBeDownloaded(QString magnet_uri, bool resumed);
    void urlReadyToBeDownloaded(QString magnet_uri);
    void sessionRequest(CoreProtocol::RequestType type, QStringList request);
    // Something the user should read: why a link did nothing.
    void notice(QString text);

public slots:
    void on_okpushButton_clicked();
    void on_cancelpushButton_clicked();
    int processDownloadList(QStringList url_list);

private:
    std::unique_ptr<Ui::openurl> ui;
    LinkParameters m_link;
};
