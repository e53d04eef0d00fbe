#pragma once

#include "descriptionrequests.h"
#include "filelisticons.h"
#include "playstarter.h"
#include "protocol/coreprotocol.h"
#include "rowfiller.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QStringList>

class TorrentPieces;
class TreeItem;

// The downloads list: one top-level row per torrent or magnet link, one child
// row per file of a torrent with several files. Built and refreshed from the
// core's replies. Menus, pop-ups and questions are DownloadsController's;
// playing a row is PlayStarter's; the pieces are TorrentPieces'.
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
    int largestPlayableFile(const TreeItem *torrentRow) const;
    bool isPlayable(const QString &path) const { return RowFiller::isPlayable(path); }
    bool isTopLevel(const TreeItem *item) const;

    // Takes a top-level row out and deletes it with its files.
    void removeTopLevel(TreeItem *item);

    QString sizeFormat(double x) const { return RowFiller::sizeFormat(x); }
    QString rateFormat(double x) const { return RowFiller::rateFormat(x); }
    QString shortFormat(double x) const { return RowFiller::shortFormat(x); }

    const filelisticons &icons() const { return m_icons; }
    TreeItem *playingItem() const { return m_playingItem; }
    TreeItem *clickedItem() const { return m_clickedItem; }
    TreeItem *rootItem() const { return m_rootItem; }
    void setPlayingItem(TreeItem *item) { m_playingItem = item; }
    void setClickedItem(TreeItem *item) { m_clickedItem = item; }
    // The pieces of every download, fed by the core's replies.
    TorrentPieces *pieces() const { return m_pieces; }
    PlayStarter *starter() const { return m_starter; }
    // Only differences count; tests replace it.
    void setClock(std::function<qint64()> now) { m_describe.setClock(std::move(now)); }

signals:
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
    // The playing file's pieces as text, for observers of the list; the
    // player reads them from TorrentPieces.
    void bitFieldRefresh(QString bitField, int pieceSize);

public slots:
    void singleClickAction(QModelIndex index)
    {
        if (index.isValid())
            m_clickedItem = itemFromIndex(index);
    }
    void doubleClickSlot(QModelIndex _index) { m_starter->playIndex(_index); }
    void addedReturn(int type, QList<QStringList> list, bool autoPlay);
    void addedReturn(int type, QList<QStringList> list) { addedReturn(type, std::move(list), false); }
    void startupTorrent(QList<QStringList> list);
    void torrentDataSet(QList<QStringList> list);
    // The core is gone: nothing arrives until a new one reports.
    void clearRates();
    void addItemByTorrent(QList<QStringList> list, bool autoPlay);
    void addItemByTorrent(QList<QStringList> list) { addItemByTorrent(std::move(list), false); }
    void addItemByMagnetUri(QList<QStringList> list, bool autoPlay);
    void addItemByMagnetUri(QList<QStringList> list) { addItemByMagnetUri(std::move(list), false); }
    void magnetUriItemRebuild(QList<QStringList> list, bool autoPlay);
    void magnetUriItemRebuild(QList<QStringList> list) { magnetUriItemRebuild(std::move(list), false); }
    // 0 stop, 1 pause, 2 play (MediaButton); other codes are ignored.
    void mediaButtonAction(int actionType)
    {
        if (actionType >= int(MediaButton::Stop) && actionType <= int(MediaButton::Play))
            m_starter->mediaButtonAction(MediaButton(actionType));
    }
    void refreshModel();
    void callResumeAll() { emit sessionRequest(CoreProtocol::ResumeAll, QStringList { QStringLiteral("") }); }
    void prepBuildItemForUrl(QStringList urlList, QStringList itemIDList);
    void buildTemporaryItem(int num);
    TreeItem *findATemporaryBuiltItem();
    // The core could not add item: its "Processing.." row goes.
    void addFailed(const QString &item);

private slots:
    void doubleClickSlot(TreeItem *doubleClickedItem) { m_starter->playItem(doubleClickedItem); }
    void doubleClickSlot(QString hash) { m_starter->playHash(hash); }

private:
    void buildTorrentItem(const QStringList &row);
    void buildMagnetItem(const QStringList &row);
    TreeItem *makeFileItem(const QString &hash, const QStringList &row, int fileIndex) const;
    void appendTopLevel(TreeItem *item);
    void indexHash(TreeItem *item);
    void unindexHash(TreeItem *item, const QString &hash);
    void dropAddressRows(qsizetype count);

    filelisticons m_icons;
    TreeItem *m_playingItem = nullptr;
    TreeItem *m_rootItem;
    TreeItem *m_clickedItem = nullptr;

    QHash<QString, TreeItem *> m_byHash;
    // The row found at each position of the last status reply. Only ever
    // holds rows that are their hash's first row; cleared whenever a row
    // goes or a hash changes.
    QList<TreeItem *> m_replyOrder;
    DescriptionRequests m_describe;
    TorrentPieces *m_pieces;
    PlayStarter *m_starter;
    // Descriptions of links that are being resolved; never shown.
    QList<TreeItem *> m_urlItems;
};
