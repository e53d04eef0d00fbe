#pragma once

#include "filelisticons.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QStringList>

class InformationWidget;
class ListMenu;
class QMessageBox;
class QTimer;
class TreeItem;

// The downloads list: one top-level row per torrent or magnet link, one child
// row per file of a torrent with several files. Built and refreshed from the
// core's replies; starts playback of a row and steers the core's piece order.
class TreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit TreeModel(QObject *parent = nullptr);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    TreeItem *findItemByHash(const QString &hash) const;
    int rowOfHash(const QString &hash) const;
    TreeItem *itemFromIndex(const QModelIndex &index) const;
    TreeItem *findPlayItem(const QString &hash, int fileIndex) const;
    int largestPlayableFile(const TreeItem *torrentRow) const;
    bool isPlayable(const QString &path) const;

    // Piece queries of the player; pieces count from the file's first piece.
    bool pieceReady(QString hash, int fileIndex, int piece, bool requestPriority);
    bool hasLastPiece(QString hash, int fileIndex);

    QString sizeFormat(double x) const;
    QString rateFormat(double x) const;
    QString shortFormat(double x) const;

    // Hash lookups go through an index by default; the linear search gives
    // the same answers and is kept for measurements.
    void setHashIndexEnabled(bool enabled);

    filelisticons icons;
    TreeItem *playingItem = nullptr;
    int hoverInterval = 1000;
    QTimer *hoverTimer;
    QPersistentModelIndex hoverIndex;
    QPoint hoverPos;
    QTimer *resumeTimer;
    int resumeInterval = 60000;
    ListMenu *listMenu;
    InformationWidget *infoWidget;
    TreeItem *rootItem;
    TreeItem *clickedItem = nullptr;
    QMessageBox *warningBox;
    QList<TreeItem *> selectedItems;
    QStringList playableExtensions;

signals:
    void showFileList();
    void expandInfoSupportItem(QModelIndex index, bool expand);
    void up_downloadSpeed(QString upload, QString download);
    void overallUpDownloadRate(QString uploadRate, QString downloadRate);
    void sessionRequest(int type, QStringList operateObject);
    void sessionRequest(int type, QString);
    void sessionRequest(int type);
    void addTorrent();
    void addMagnetUri();
    void playFile(QString &fileName);
    void playFile(
        QString &fileName, QString hash, int fileIndex, bool piece0Exist, QString bitField, int pieceLength);
    void stopPlay();
    void treeModelTest();
    void setCommentButton(QString commentUrl);
    void bitFieldRefresh(QString bitField, int pieceSize);

public slots:
    void singleClickAction(QModelIndex index);
    void doubleClickSlot(QModelIndex _index);
    void rightClickAction(QModelIndexList indexlist);
    void addedReturn(int type, QList<QStringList> list, bool autoPlay);
    void addedReturn(int type, QList<QStringList> list);
    void startupTorrent(QList<QStringList> list);
    void torrentDataSet(QList<QStringList> list);
    void addItemByTorrent(QList<QStringList> list, bool autoPlay);
    void addItemByTorrent(QList<QStringList> list);
    void addItemByMagnetUri(QList<QStringList> list, bool autoPlay);
    void addItemByMagnetUri(QList<QStringList> list);
    void magnetUriItemRebuild(QList<QStringList> list, bool autoPlay);
    void magnetUriItemRebuild(QList<QStringList> list);
    void mediaButtonAction(int actionType);
    void refreshModel();
    void mouseFloatEvent();
    void callResumeAll();
    void mouseMoveSlot(bool validPos, QPoint pos, QModelIndex indexFromPos);
    void prepBuildItemForUrl(QStringList urlList, QStringList itemIDList);
    void buildTemporaryItem(int num);
    TreeItem *findATemporaryBuiltItem();

private slots:
    void listMenuAction(int type);
    void doubleClickSlot(TreeItem *doubleClickedItem);
    void doubleClickSlot(QString hash);

private:
    void buildTorrentItem(const QStringList &row);
    void buildMagnetItem(const QStringList &row);
    TreeItem *makeFileItem(const QString &hash, const QStringList &row, int first, int fileIndex) const;
    void appendTopLevel(TreeItem *item);
    void removeTopLevel(TreeItem *item);
    void indexHash(TreeItem *item);
    void unindexHash(TreeItem *item, const QString &hash);
    void setMarks(TreeItem *item, const QIcon &icon, const QColor &color, bool playing);
    void clearPlayingMarks();
    QString commentUrl(const QString &hash) const;
    // Rows of the last right-click that are still in the list.
    QList<TreeItem *> liveSelection() const;
    bool isTopLevel(const TreeItem *item) const;

    QHash<QString, TreeItem *> m_byHash;
    // The row found at each position of the last status reply. Only ever
    // holds rows that are their hash's first row; cleared whenever a row
    // goes or a hash changes.
    QList<TreeItem *> m_replyOrder;
    bool m_hashIndex = true;
    // Descriptions of links that are being resolved; never shown.
    QList<TreeItem *> m_urlItems;
};
