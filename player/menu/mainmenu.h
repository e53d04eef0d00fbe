#pragma once

#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QWidget;

// The drop-down menu behind the window's menu button. Its entries are also
// added to the window, so their shortcuts work while the menu is closed.
class MainMenu : public QObject
{
    Q_OBJECT

public:
    explicit MainMenu(QWidget *window);
    ~MainMenu() override;

    QMenu *menu() const { return m_menu.get(); }

    // Shows the menu with its top-left corner 30 pixels below the button.
    void popupBelow(const QWidget *menuButton);
    // Puts a dialog at the window's position + (100, 100) and shows it.
    static void showBeside(QWidget *dialog, const QWidget *window);

signals:
    void openFileTriggered();
    void openUrlTriggered();
    void openTorrentTriggered();
    void setupTriggered();
    void shutdownCompletelyTriggered();
    void upgradeTriggered();
    void aboutTriggered();

private:
    QAction *addEntry(QMenu *menu, const QString &name, const QString &text, void (MainMenu::*signal)());

    QWidget *m_window;
    // Without a parent: it pops up as a window of its own.
    std::unique_ptr<QMenu> m_menu;
};
