#include "fileopener.h"

#include "downloads/mediasuffixes.h"
#include "player/windowchrome.h"
#include "ui_player.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

FileOpener::FileOpener(QWidget *window, Ui::player *form, WindowChrome *chrome, Chooser choose)
    : QObject(window)
    , ui(form)
    , m_chrome(chrome)
    , m_choose(std::move(choose))
{ }

void FileOpener::openFile()
{
    m_chrome->setFileDialogOpen(true);
    m_chrome->setButtonImage(ui->openfile, 0, false);
    emit replyTimeOutCheckHold();
    QString chosen = m_choose(QCoreApplication::translate("player", "Open file"), QStringLiteral(" "),
        MediaSuffixes::openFileFilter());
    emit replyTimeOutCheckReset();
    if (chosen.isEmpty()) {
        m_chrome->setFileDialogOpen(false);
        m_chrome->setButtonImage(ui->openfile, 1, false);
        return;
    }
    const QString native = QDir::toNativeSeparators(chosen);
    if (MediaSuffixes::isTorrent(native)) {
        emit sessionRequest(CoreProtocol::AddTorrentFile, QStringList { native });
    } else if (MediaSuffixes::isVideo(native)) {
        emit localFileChosen(chosen);
    } else {
        emit notice(QCoreApplication::translate("player", "Format does not support.."));
        for (QAbstractButton *button : { ui->stopButton, ui->nextButton, ui->prevButton })
            m_chrome->setButtonImage(button, 2, false);
    }
    m_chrome->setButtonImage(ui->openfile, 1, false);
    ui->display_label->setFocus();
    if (MediaSuffixes::isVideo(native)) {
        m_chrome->showTitle(chosen);
        ui->widget_10->show();
    }
    m_chrome->setFileDialogOpen(false);
}

void FileOpener::openTorrent()
{
    QString chosen = m_choose(QCoreApplication::translate("player", "Open file"), QStringLiteral(" "),
        QStringLiteral("Torrent(*.torrent)\n(*.*)"));
    if (chosen.isEmpty()) {
        m_chrome->setButtonImage(ui->openfile, 1, false);
        return;
    }
    QString native = QDir::toNativeSeparators(chosen);
    if (MediaSuffixes::isTorrent(native))
        emit sessionRequest(CoreProtocol::AddTorrentFile, QStringList { native });
    else
        emit localFileChosen(native);
    m_chrome->setButtonImage(ui->stopButton, 1, false);
    m_chrome->setButtonImage(ui->openfile, 1, false);
}

void FileOpener::dragEnter(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileOpener::drop(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    const QString local = urls.first().toLocalFile();
    if (local.isEmpty())
        return;
    QString native = QDir::toNativeSeparators(local);
    if (MediaSuffixes::isTorrent(native)) {
        if (ui->filelists->isHidden())
            emit downloadsListWanted();
        emit sessionRequest(CoreProtocol::AddTorrentFile, QStringList { native });
        return;
    }
    if (MediaSuffixes::isSubtitle(native)) {
        emit localFileChosen(native);
        return;
    }
    if (MediaSuffixes::isVideo(native)) {
        emit localFileChosen(native);
        emit videoDropped();
    }
    QString shown = local;
    m_chrome->showTitle(shown);
    event->acceptProposedAction();
}
