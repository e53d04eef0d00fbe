#pragma once

#include <QList>
#include <QModelIndexList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QString>

#include <functional>

class InformationWidget;
class ListMenu;
class QMessageBox;
class QTimer;
class TreeItem;
class TreeModel;

// The downloads list's conversation with the user: the context menu and its
// commands, the information pop-up under a resting mouse, the warning about
// downloads still being checked, and opening download folders. The model
// only holds and changes data; nothing here waits in a nested event loop
// while the model changes underneath.
class DownloadsController : public QObject
{
    Q_OBJECT

public:
    explicit DownloadsController(TreeModel *model, QObject *parent = nullptr);
    ~DownloadsController() override;

    ListMenu *listMenu() const { return m_listMenu; }
    InformationWidget *infoWidget() const { return m_infoWidget; }
    QMessageBox *warningBox() const { return m_warningBox; }
    QTimer *hoverTimer() const { return m_hoverTimer; }
    int hoverInterval() const { return m_hoverInterval; }
    void setHoverInterval(int ms) { m_hoverInterval = ms; }
    QPersistentModelIndex hoverIndex() const { return m_hoverIndex; }
    QPoint hoverPos() const { return m_hoverPos; }
    const QList<TreeItem *> &selectedItems() const { return m_selectedItems; }
    // The downloads the menu's commands act on; a file stands for its torrent.
    void select(const QModelIndexList &indexlist);
    // The stream address of a row's file (a download row stands for its
    // largest media file); empty when it has none.
    QString streamAddressOf(const QModelIndex &index, bool forNetwork = false) const;
    // Starts the desktop's default player for a MIME type with an address;
    // false sends the address to the desktop's handler of http instead.
    using PlayerOpener = std::function<bool(const QString &mimeType, const QString &url)>;
    void setPlayerOpener(PlayerOpener opener) { m_openPlayer = std::move(opener); }

public slots:
    void rightClickAction(QModelIndexList indexlist);
    void listMenuAction(int type);
    void mouseMoveSlot(bool validPos, QPoint pos, QModelIndex indexFromPos);
    void mouseFloatEvent();
    // Where the core serves the files (ClientAgent::streamAddressChanged).
    void setStreamAddress(const QString &address, const QString &networkAddress);

private:
    // Rows of the last right-click that are still in the list.
    QList<TreeItem *> liveSelection() const;
    void forgetRows(int first, int last);
    // Removal stops at the first row that is still being checked and then
    // returns false, having removed nothing.
    bool removeDownloads(const QList<TreeItem *> &rows, bool deleteFiles);
    void setDownloadsRunning(const QList<TreeItem *> &rows, bool running);

    TreeModel *m_model;
    ListMenu *m_listMenu;
    InformationWidget *m_infoWidget;
    QMessageBox *m_warningBox;
    QTimer *m_hoverTimer;
    int m_hoverInterval = 1000;
    QPersistentModelIndex m_hoverIndex;
    QPoint m_hoverPos;
    QList<TreeItem *> m_selectedItems;
    QString m_streamAddress;
    QString m_networkStreamAddress;
    // The clicked row's file, for the stream actions.
    QPersistentModelIndex m_streamIndex;
    PlayerOpener m_openPlayer;
};
