#include "mainmenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

MainMenu::MainMenu(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_menu(std::make_unique<QMenu>())
{
    m_menu->setObjectName(QStringLiteral("mainmenu"));

    QMenu *file = m_menu->addMenu(tr("File"));
    file->setObjectName(QStringLiteral("filemenu"));
    addEntry(file, QStringLiteral("openFileAction"), tr("Open File..."), &MainMenu::openFileTriggered)
        ->setShortcut(QKeySequence::Open);
    addEntry(file, QStringLiteral("openUrlAction"), tr("Open URL..."), &MainMenu::openUrlTriggered)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    addEntry(file, QStringLiteral("openTorrentAction"), tr("Open Torrent File..."),
        &MainMenu::openTorrentTriggered)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    // The power-off entries have no behaviour yet; they are shown all the same.
    QMenu *power = m_menu->addMenu(tr("Power-off"));
    power->setObjectName(QStringLiteral("poweroffmenu"));
    for (const QString &text : { tr("Downloaded off"), tr("Play shutdown"), tr("Cancel shutdown") })
        power->addAction(text);

    addEntry(m_menu.get(), QStringLiteral("setupAction"), tr("Setup"), &MainMenu::setupTriggered);
    addEntry(m_menu.get(), QStringLiteral("shutdownAction"), tr("shutdown-completely"),
        &MainMenu::shutdownCompletelyTriggered);

    QMenu *help = m_menu->addMenu(tr("Help"));
    help->setObjectName(QStringLiteral("helpmenu"));
    addEntry(help, QStringLiteral("upgradeAction"), tr("Online Upgrade..."), &MainMenu::upgradeTriggered);
    addEntry(help, QStringLiteral("aboutAction"), tr("About..."), &MainMenu::aboutTriggered)
        ->setShortcut(QKeySequence::HelpContents);
}

MainMenu::~MainMenu() = default;

QAction *MainMenu::addEntry(QMenu *menu, const QString &name, const QString &text, void (MainMenu::*signal)())
{
    // Owned by the window: the window keeps them for its shortcuts.
    auto *action = new QAction(text, m_window);
    action->setObjectName(name);
    menu->addAction(action);
    m_window->addAction(action);
    connect(action, &QAction::triggered, this, signal);
    return action;
}

void MainMenu::popupBelow(const QWidget *menuButton)
{
    const QPoint at = menuButton->mapTo(m_window, QPoint(0, 0)) + m_window->pos() + QPoint(0, 30);
    m_menu->popup(at);
}

void MainMenu::showBeside(QWidget *dialog, const QWidget *window)
{
    dialog->move(window->pos() + QPoint(100, 100));
    dialog->show();
}
