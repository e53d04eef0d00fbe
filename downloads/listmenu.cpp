#include "listmenu.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

ListMenu::ListMenu(QObject *parent)
    : QObject(parent)
{
    action_AddNew = new QAction(tr("AddNew"), this);
    action_AddMagnetLink = new QAction(tr("AddMagnetLink"), this);
    action_Totally_Delete = new QAction(tr("Totally_Delete"), this);
    action_Remove_from_list = new QAction(tr("Remove_from_list"), this);
    action_ShowInfo = new QAction(tr("ShowInfo"), this);
    action_JumpToDestFolder = new QAction(tr("JumpToDestFolder"), this);
    action_Start = new QAction(tr("Start"), this);
    action_Pause = new QAction(tr("Pause"), this);
    action_TEST = new QAction(tr("TEST"), this);
    action_CopyStreamAddress = new QAction(tr("Copy stream address"), this);
    action_OpenInOtherPlayer = new QAction(tr("Open in another player"), this);
    setStreamable(false);

    connect(action_AddNew, &QAction::triggered, this, &ListMenu::addTorrentAction);
    connect(action_AddMagnetLink, &QAction::triggered, this, &ListMenu::addMagnetAction);
    connect(action_Totally_Delete, &QAction::triggered, this, &ListMenu::deleteAction);
    connect(action_Remove_from_list, &QAction::triggered, this, &ListMenu::removeAction);
    connect(action_ShowInfo, &QAction::triggered, this, &ListMenu::showInfoAction);
    connect(action_JumpToDestFolder, &QAction::triggered, this, &ListMenu::jumpToDestFolderAction);
    connect(action_Start, &QAction::triggered, this, &ListMenu::startAction);
    connect(action_Pause, &QAction::triggered, this, &ListMenu::pauseAction);
    connect(action_TEST, &QAction::triggered, this, &ListMenu::testAction);
    connect(action_CopyStreamAddress, &QAction::triggered, this, &ListMenu::copyStreamAddressAction);
    connect(action_OpenInOtherPlayer, &QAction::triggered, this, &ListMenu::openInOtherPlayerAction);

    // Menus are top-level widgets and so cannot be QObject children of this.
    const auto makeMenu = [](const QList<QAction *> &actions) {
        auto *menu = new QMenu;
        menu->setStyleSheet(QStringLiteral("background-color: gray"));
        menu->addActions(actions);
        return menu;
    };
    addMenu = makeMenu({ action_AddNew, action_AddMagnetLink });
    multiRunningMenu = makeMenu({ action_Pause, action_Totally_Delete, action_Remove_from_list });
    multiPausedMenu = makeMenu({ action_Start, action_Totally_Delete, action_Remove_from_list });
    singleRunningMenu = makeMenu({ action_Pause, action_Totally_Delete, action_Remove_from_list,
        action_ShowInfo, action_JumpToDestFolder });
    singlePausedMenu = makeMenu({ action_Start, action_Totally_Delete, action_Remove_from_list,
        action_ShowInfo, action_JumpToDestFolder });
    // One file at a time: only the menus of a single download offer them.
    for (QMenu *menu : { singleRunningMenu, singlePausedMenu }) {
        menu->addSeparator();
        menu->addActions({ action_CopyStreamAddress, action_OpenInOtherPlayer });
    }
}

ListMenu::~ListMenu()
{
    delete addMenu;
    delete multiRunningMenu;
    delete multiPausedMenu;
    delete singleRunningMenu;
    delete singlePausedMenu;
}

QMenu *ListMenu::menuFor(int selected, bool firstPaused) const
{
    if (selected <= 0)
        return addMenu;
    if (selected == 1)
        return firstPaused ? singlePausedMenu : singleRunningMenu;
    return firstPaused ? multiPausedMenu : multiRunningMenu;
}

void ListMenu::showMenu(int selected, bool firstPaused)
{
    menuFor(selected, firstPaused)->exec(QCursor::pos());
}

void ListMenu::setStreamable(bool streamable)
{
    action_CopyStreamAddress->setEnabled(streamable);
    action_OpenInOtherPlayer->setEnabled(streamable);
}

void ListMenu::addTorrentAction()
{
    emit listMenuActionReturn(AddTorrent);
}
void ListMenu::addMagnetAction()
{
    emit listMenuActionReturn(AddMagnet);
}
void ListMenu::deleteAction()
{
    emit listMenuActionReturn(DeleteWithFiles);
}
void ListMenu::removeAction()
{
    emit listMenuActionReturn(RemoveFromList);
}
void ListMenu::showInfoAction()
{
    emit listMenuActionReturn(ShowInfo);
}
void ListMenu::jumpToDestFolderAction()
{
    emit listMenuActionReturn(OpenFolder);
}
void ListMenu::startAction()
{
    emit listMenuActionReturn(Start);
}
void ListMenu::pauseAction()
{
    emit listMenuActionReturn(Pause);
}
void ListMenu::testAction()
{
    emit listMenuActionReturn(Test);
}
void ListMenu::copyStreamAddressAction()
{
    emit listMenuActionReturn(CopyStreamAddress);
}
void ListMenu::openInOtherPlayerAction()
{
    emit listMenuActionReturn(OpenInOtherPlayer);
}
