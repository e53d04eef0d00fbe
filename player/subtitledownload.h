#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QProcess>

#include <functional>

class QAction;
class QMenu;
class QWidget;
class VlcEngine;

// Subtitles from the SubDownloader program: it writes them next to the
// video; when the folder has more entries afterwards, the user picks one.
class SubtitleDownload : public QObject
{
    Q_OBJECT

public:
    // caption, directory, filter -> the chosen path; empty when cancelled.
    using Chooser = std::function<QString(const QString &, const QString &, const QString &)>;

    SubtitleDownload(
        VlcEngine *engine, std::function<QString()> currentFile, Chooser choose, QObject *parent);

    // The folder a (possibly native) file path lies in, with '/' separators.
    static QString folderOf(const QString &file);

    void slotdownsub();
    // The video area's context menu: the entry that starts a download, then
    // the submenus given at the first call (the track menus).
    void popupMenu(QAction *download, QWidget *videoArea, QPoint pos, const QList<QMenu *> &more = {});

    // SubDownloader by default; tests name their own.
    QString program = QStringLiteral("SubDownloader");

signals:
    void notice(QString text);

private:
    void slotFinished(int exitcode, QProcess::ExitStatus status);

    VlcEngine *m_engine;
    std::function<QString()> m_currentFile;
    Chooser m_choose;
    int m_entryCount = 0;
    QMenu *m_menu = nullptr;
};
