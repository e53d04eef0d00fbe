#pragma once

#include "protocol/coreprotocol.h"

#include <QObject>
#include <QStringList>

#include <functional>

namespace Ui {
class player;
}
class QDragEnterEvent;
class QDropEvent;
class QWidget;
class WindowChrome;

// The ways a file reaches the window from the user's hands: the open-file
// dialog, the open-torrent dialog and drops. A torrent file becomes a core
// request; anything else goes to the window to be played.
class FileOpener : public QObject
{
    Q_OBJECT

public:
    // caption, directory, filter -> the chosen path; empty when cancelled.
    using Chooser = std::function<QString(const QString &, const QString &, const QString &)>;

    FileOpener(QWidget *window, Ui::player *ui, WindowChrome *chrome, Chooser choose);

    void openFile();
    void openTorrent();
    void dragEnter(QDragEnterEvent *event);
    void drop(QDropEvent *event);

signals:
    void sessionRequest(CoreProtocol::RequestType requestType, QStringList arguments);
    // Around the modal dialog: its time does not count against the core.
    void replyTimeOutCheckHold();
    void replyTimeOutCheckReset();
    // A local file, video or subtitle, for the window to open.
    void localFileChosen(QString file);
    void downloadsListWanted();
    void videoDropped();
    void notice(QString text);

private:
    Ui::player *ui;
    WindowChrome *m_chrome;
    Chooser m_choose;
};
