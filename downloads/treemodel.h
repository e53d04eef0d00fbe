#pragma once

#include "filelisticons.h"
#include "protocol/coreprotocol.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QStringList>

class QTimer;
class TreeItem;

// What the list knows about the pieces from one play position of a file.
struct PieceCheck
{
    QString hash;
    int fileIndex = 0;
    // Piece numbers within the torrent: the file's first piece, the first
    // piece checked and the file's last piece.
    int fileStart = 0;
    int first = 0;
    int last = 0;
    bool ready = false;
    // False until the core has sent piece data for the file.
    bool known = false;
};

// The downloads list: one top-level row per torrent or magnet link, one child
// row per file of a torrent with several files. Built and refreshed from the
// core's replies; starts playback of a row. Menus, pop-ups and questions are
// DownloadsController's.
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
    bool isTopLevel(const TreeItem *item) const;

    // Piece queries of the player; pieces count from the file's first piece.
    // Asking never sends anything: requestPieces() does.
    PieceCheck checkPieces(const QString &hash, int fileIndex, int piece) const;
    bool pieceReady(QString hash, int fileIndex, int piece) const;
    bool hasLastPiece(QString hash, int fileIndex) const;
    // Asks the core to fetch the file from the checked position on, when
    // pieces there are missing or priority is wanted anyway.
    void requestPieces(const PieceCheck &check, bool requestPriority);

    // Commands of the context menu on top-level rows. Removal stops at the
    // first row that is still being checked and then returns false, having
    // removed nothing.
    bool removeDownloads(const QList<TreeItem *> &rows, bool deleteFiles);
    void setDownloadsRunning(const QList<TreeItem *> &rows, bool running);

    QString sizeFormat(double x) const;
    QString rateFormat(double x) const;
    QString shortFormat(double x) const;

    // Hash lookups go through an index by default; the linear search gives
    // the same answers and is kept for measurements.
    void setHashIndexEnabled(bool enabled);

    const filelisticons &icons() const { return m_icons; }
    TreeItem *playingItem() const { return m_playingItem; }
    TreeItem *clickedItem() const { return m_clickedItem; }
    TreeItem *rootItem() const { return m_rootItem; }
    QTimer *resumeTimer() const { return m_resumeTimer; }
    int resumeInterval() const { return m_resumeInterval; }

signals:
    void showFileList();
    void expandInfoSupportItem(QModelIndex index, bool expand);
    void up_downloadSpeed(QString upload, QString download);
    void overallUpDownloadRate(QString uploadRate, QString downloadRate);
    void sessionRequest(CoreProtocol::RequestType type, QStringList operateObject);
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
    void addedReturn(int type, QList<QStringList> list, bool autoPlay);
    void addedReturn(int type, QList<QStringList> list);
    void startupTorrent(QList<QStringList> list);
    void torrentDataSet(QList<QStringList> list);
    // One piece of a torrent is in, ahead of the next status list.
    void pieceFinished(const QString &hash, int piece);
    void addItemByTorrent(QList<QStringList> list, bool autoPlay);
    void addItemByTorrent(QList<QStringList> list);
    void addItemByMagnetUri(QList<QStringList> list, bool autoPlay);
    void addItemByMagnetUri(QList<QStringList> list);
    void magnetUriItemRebuild(QList<QStringList> list, bool autoPlay);
    void magnetUriItemRebuild(QList<QStringList> list);
    void mediaButtonAction(int actionType);
    void refreshModel();
    void callResumeAll();
    void prepBuildItemForUrl(QStringList urlList, QStringList itemIDList);
    void buildTemporaryItem(int num);
    TreeItem *findATemporaryBuiltItem();
    // The core could not add item: its "Processing.." row goes.
    void addFailed(const QString &item);

private slots:
    void doubleClickSlot(TreeItem *doubleClickedItem);
    void doubleClickSlot(QString hash);

private:
    void buildTorrentItem(const QStringList &row);
    void buildMagnetItem(const QStringList &row);
    TreeItem *makeFileItem(const QString &hash, const QStringList &row, int fileIndex) const;
    void appendTopLevel(TreeItem *item);
    void removeTopLevel(TreeItem *item);
    void indexHash(TreeItem *item);
    void unindexHash(TreeItem *item, const QString &hash);
    void setMarks(TreeItem *item, const QIcon &icon, const QColor &color, bool playing);
    void clearPlayingMarks();
    void dropAddressRows(qsizetype count);
    QString commentUrl(const QString &hash) const;

    filelisticons m_icons;
    TreeItem *m_playingItem = nullptr;
    QTimer *m_resumeTimer;
    int m_resumeInterval = 60000;
    TreeItem *m_rootItem;
    TreeItem *m_clickedItem = nullptr;

    QHash<QString, TreeItem *> m_byHash;
    // The row found at each position of the last status reply. Only ever
    // holds rows that are their hash's first row; cleared whenever a row
    // goes or a hash changes.
    QList<TreeItem *> m_replyOrder;
    bool m_hashIndex = true;
    // Descriptions of links that are being resolved; never shown.
    QList<TreeItem *> m_urlItems;
};
