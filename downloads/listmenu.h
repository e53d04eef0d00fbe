#pragma once

#include <QObject>

class QAction;
class QMenu;

// The context menu of the downloads list. Each action reports its code
// through listMenuActionReturn(int); the model carries the command out.
class ListMenu : public QObject
{
    Q_OBJECT

public:
    // The codes listMenuActionReturn() reports.
    enum Action {
        AddTorrent,
        AddMagnet,
        DeleteWithFiles,
        RemoveFromList,
        ShowInfo,
        OpenFolder,
        Start,
        Pause,
        Test,
        CopyStreamAddress,
        OpenInOtherPlayer
    };

    explicit ListMenu(QObject *parent = nullptr);
    ~ListMenu() override;

    // The menu for a selection of `selected` downloads whose first one is
    // (or is not) paused.
    QMenu *menuFor(int selected, bool firstPaused) const;
    // Runs that menu modally at the mouse cursor.
    void showMenu(int selected, bool firstPaused);
    // Whether the row under the menu has a stream address; greys the two
    // stream actions when not.
    void setStreamable(bool streamable);

    QAction *action_AddNew;
    QAction *action_AddMagnetLink;
    QAction *action_Totally_Delete;
    QAction *action_Remove_from_list;
    QAction *action_ShowInfo;
    QAction *action_JumpToDestFolder;
    QAction *action_Start;
    QAction *action_Pause;
    QAction *action_TEST;
    QAction *action_CopyStreamAddress;
    QAction *action_OpenInOtherPlayer;

    QMenu *addMenu;
    QMenu *multiRunningMenu;
    QMenu *multiPausedMenu;
    QMenu *singleRunningMenu;
    QMenu *singlePausedMenu;

signals:
    void listMenuActionReturn(int type);

public slots:
    void addTorrentAction();
    void addMagnetAction();
    void deleteAction();
    void removeAction();
    void showInfoAction();
    void jumpToDestFolderAction();
    void startAction();
    void pauseAction();
    void testAction();
    void copyStreamAddressAction();
    void openInOtherPlayerAction();
};
