#include "treemodel.h"

#include "platform/logging.h"
#include "playstarter.h"
#include "replyrow.h"
#include "rowfiller.h"
#include "torrentpieces.h"
#include "treeitem.h"

#include <QDir>

#include <memory>

TreeModel::TreeModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_pieces(new TorrentPieces(this))
    , m_starter(new PlayStarter(this, m_pieces))
{
    m_rootItem = new TreeItem(static_cast<TreeItem *>(nullptr));
    m_rootItem->name = QStringLiteral("check info to test m_rootItem in treemodel..");
    m_rootItem->isRoot = true;
}

TreeModel::~TreeModel()
{
    delete m_rootItem;
    qDeleteAll(m_urlItems);
}

// ---- item-model interface -------------------------------------------------

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    TreeItem *parentNode = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : m_rootItem;
    TreeItem *child = parentNode->child(row);
    if (!child)
        return QModelIndex();
    return createIndex(row, column, child);
}

QModelIndex TreeModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return QModelIndex();
    auto *node = static_cast<TreeItem *>(index.internalPointer());
    TreeItem *parentNode = node->parentItem;
    if (!parentNode || parentNode == m_rootItem)
        return QModelIndex();
    return createIndex(parentNode->row(), 0, parentNode);
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TreeItem *node = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : m_rootItem;
    return node->childCount();
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return 2;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == 0)
        return tr("Name", "i.e: torrent name");
    if (section == 1)
        return tr("Done", "i.e: download progress&speed");
    return QVariant();
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const auto *node = static_cast<const TreeItem *>(index.internalPointer());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == 0)
            return node->name;
        if (index.column() == 1) {
            if (node->noData)
                return QStringLiteral("no data..");
            if (node->fileIndex == -1)
                return node->finished == QLatin1String("1") ? node->uploadRateText : node->downloadRateText;
            return node->progressText;
        }
        return QVariant();
    case Qt::DecorationRole:
        if (index.column() == 0)
            return node->nameIcon;
        if (index.column() == 1)
            return node->stateIcon;
        return QIcon();
    case Qt::ForegroundRole:
        return node->textColor;
    case Qt::SizeHintRole:
        return QSize(2200, 20);
    default:
        return QVariant();
    }
}

// ---- lookups ----------------------------------------------------------------

TreeItem *TreeModel::findItemByHash(const QString &hash) const
{
    return m_byHash.value(hash, nullptr);
}

int TreeModel::rowOfHash(const QString &hash) const
{
    const TreeItem *item = findItemByHash(hash);
    return item ? item->row() : -1;
}

TreeItem *TreeModel::findATemporaryBuiltItem()
{
    for (TreeItem *item : m_rootItem->children) {
        if (item->temporary)
            return item;
    }
    return nullptr;
}

TreeItem *TreeModel::itemFromIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TreeItem *>(index.internalPointer());
}

bool TreeModel::isTopLevel(const TreeItem *item) const
{
    return item && item->parentItem == m_rootItem;
}

int TreeModel::largestPlayableFile(const TreeItem *torrentRow) const
{
    if (!torrentRow)
        return -1;
    int best = -1;
    double bestSize = 0;
    for (const TreeItem *file : torrentRow->children) {
        if (!file->playable)
            continue;
        if (best == -1 || file->size > bestSize) {
            best = file->fileIndex;
            bestSize = file->size;
        }
    }
    return best;
}

// ---- the tree and its hash index --------------------------------------------

// The index keeps the first top-level row of each hash, as a search in row
// order would find it.
void TreeModel::indexHash(TreeItem *item)
{
    TreeItem *&slot = m_byHash[item->hash];
    if (!slot) {
        slot = item;
    } else if (slot->row() > item->row()) {
        slot = item;
        m_replyOrder.clear();
    }
}

void TreeModel::unindexHash(TreeItem *item, const QString &hash)
{
    auto it = m_byHash.find(hash);
    if (it == m_byHash.end() || it.value() != item)
        return;
    m_byHash.erase(it);
    m_replyOrder.clear();
    for (TreeItem *other : m_rootItem->children) {
        if (other != item && other->hash == hash) {
            m_byHash.insert(hash, other);
            break;
        }
    }
}

void TreeModel::appendTopLevel(TreeItem *item)
{
    const int row = m_rootItem->childCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rootItem->appendChild(item);
    indexHash(item);
    endInsertRows();
}

void TreeModel::removeTopLevel(TreeItem *item)
{
    const int row = item->row();
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rootItem->removeChild(item);
    unindexHash(item, item->hash);
    m_replyOrder.clear();
    endRemoveRows();

    // Nothing may keep pointing at the row or its files once it is gone.
    const auto within = [item](const TreeItem *p) { return p && (p == item || p->parentItem == item); };
    if (within(m_playingItem))
        m_playingItem = nullptr;
    if (within(m_clickedItem))
        m_clickedItem = nullptr;
    delete item;
}

void TreeModel::refreshModel()
{
    const int rows = rowCount();
    // An empty list has no cells to announce.
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
}

// ---- updates from the core ---------------------------------------------------

void TreeModel::addedReturn(int type, QList<QStringList> list, bool autoPlay)
{
    if (list.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "Error, emply list received in treemodel'addedReturn..";
        return;
    }
    switch (type) {
    case CoreProtocol::AddedTorrents:
        addItemByTorrent(list, autoPlay);
        break;
    case CoreProtocol::AddedMagnets:
        addItemByMagnetUri(list, autoPlay);
        break;
    case CoreProtocol::MagnetDescriptions:
        qCDebug(lcDownloads).noquote() << "ready to rebuild item for magnetUri_refreshed..";
        magnetUriItemRebuild(list, autoPlay);
        break;
    default:
        break;
    }
}

void TreeModel::buildTorrentItem(const QStringList &row)
{
    if (row.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "Error, empty data received to build item for torrent..";
        return;
    }
    qCDebug(lcDownloads).noquote() << "\t data'size=" << row.size();
    const ReplyRow fields(row);
    const bool single = fields.isSingleFile();
    if (!single && !fields.isMultiFile())
        return;
    if (findItemByHash(fields.hash())) {
        qCDebug(lcDownloads).noquote() << "Warning, item for the torrent has built..nothing to do..";
        return;
    }
    auto *item = new TreeItem(fields.hash(), fields.name());
    item->size = fields.size();
    item->sizeText = sizeFormat(item->size);
    item->finished = fields.finished();
    if (single) {
        item->savePath = fields.saveDirectory();
        item->filePath = QDir::toNativeSeparators(fields.singleFilePath());
        item->playable = isPlayable(item->filePath);
    } else {
        item->savePath = QDir::toNativeSeparators(fields.saveDirectory());
        for (int i = 0; i < fields.fileCount(); ++i)
            item->appendChild(RowFiller::fileItem(item->hash, row, i));
        item->nameIcon = m_icons.expandIcon;
        item->expanded = false;
    }
    appendTopLevel(item);
}

void TreeModel::buildMagnetItem(const QStringList &row)
{
    if (row.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "Error empty data to build item for magnetUri..";
        return;
    }
    const QString &hash = ReplyRow(row).hash();
    qCDebug(lcDownloads).noquote() << "\t ready to add magnetUri-item.." << hash;
    if (findItemByHash(hash)) {
        qCDebug(lcDownloads).noquote() << "Warning, item for the magnetUri has built..nothing to do..";
        return;
    }
    auto *item = new TreeItem(hash, QString());
    item->name = hash;
    item->noData = true;
    appendTopLevel(item);
}

void TreeModel::addItemByTorrent(QList<QStringList> list, bool autoPlay)
{
    if (list.isEmpty())
        return;
    dropAddressRows(list.size());
    for (const QStringList &row : std::as_const(list))
        buildTorrentItem(row);
    refreshModel();

    const QStringList &first = list.first();
    if (first.isEmpty()) {
        qCDebug(lcDownloads).noquote()
            << "Error, empty data received to auto-play in build item for torrent..";
        return;
    }
    qCDebug(lcDownloads).noquote() << "After build item for the file...We will try to AUTO_PLAY file, hash="
                                   << first.at(0);
    if (autoPlay)
        doubleClickSlot(first.at(0));
}

void TreeModel::addItemByMagnetUri(QList<QStringList> list, bool autoPlay)
{
    if (list.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "Error, empty data received to build item for magnet..";
        return;
    }
    for (const QStringList &row : std::as_const(list))
        buildMagnetItem(row);
    refreshModel();

    const QStringList &first = list.first();
    if (first.isEmpty()) {
        qCDebug(lcDownloads).noquote()
            << "Error, empty data received to auto-play in build item for magnet..";
        return;
    }
    if (autoPlay)
        doubleClickSlot(first.at(0));
}

void TreeModel::startupTorrent(QList<QStringList> list)
{
    for (const QStringList &row : std::as_const(list)) {
        const ReplyRow fields(row);
        if (fields.isMagnet())
            buildMagnetItem(row);
        else if (fields.isDescription())
            buildTorrentItem(row);
    }
    refreshModel();
}

void TreeModel::magnetUriItemRebuild(QList<QStringList> list, bool autoPlay)
{
    QString playHash;
    for (const QStringList &row : std::as_const(list)) {
        if (row.isEmpty()) {
            qCDebug(lcDownloads).noquote() << "error, the magnetRefresh data(list) is empty..";
            continue;
        }
        qCDebug(lcDownloads).noquote() << "\t received magnet refresh data..size=" << row.size();
        const ReplyRow fields(row);
        if (!fields.isDescription())
            continue;

        const QString &hash = fields.hash();
        TreeItem *item = findItemByHash(hash);
        if (!item) {
            qCDebug(lcDownloads).noquote() << "We have not build item for this hash yet.." << hash;
            item = findATemporaryBuiltItem();
            if (!item) {
                qCDebug(lcDownloads).noquote()
                    << "Now try to build item for this hash( for data from the new found torrent)..";
                appendTopLevel(new TreeItem(hash, hash));
                item = m_rootItem->children.last();
            } else {
                qCDebug(lcDownloads).noquote() << "Find a temporary item built before, and rebuild it for "
                                                  "the hash( for data from the new found torrent)..";
                const QString oldHash = item->hash;
                item->temporary = false;
                item->hash = hash;
                unindexHash(item, oldHash);
                indexHash(item);
                m_replyOrder.clear();
                if (autoPlay)
                    playHash = hash;
            }
        } else {
            qCDebug(lcDownloads).noquote()
                << "We find the item built for the magnet by given hash.. refresh it now..";
        }

        if (item->playing)
            playHash = hash;

        item->name = fields.name();
        item->size = fields.size();
        item->sizeText = sizeFormat(item->size);
        item->savePath = fields.saveDirectory();
        item->finished = fields.finished();

        if (fields.isSingleFile()) {
            item->filePath = QDir::toNativeSeparators(fields.singleFilePath());
            item->playable = isPlayable(item->filePath);
        } else if (item->childCount() == 0) {
            // A second description of the same download (the model asks on
            // every status reply until one arrives) must not add its files
            // twice.
            const QModelIndex parentIndex = createIndex(item->row(), 0, item);
            for (int i = 0; i < fields.fileCount(); ++i) {
                beginInsertRows(parentIndex, i, i);
                item->appendChild(RowFiller::fileItem(hash, row, i));
                endInsertRows();
            }
            item->nameIcon = m_icons.expandIcon;
            item->expanded = false;
        }
        item->noData = false;
        refreshModel();
    }
    if (!playHash.isEmpty())
        doubleClickSlot(playHash);
}

void TreeModel::torrentDataSet(QList<QStringList> list)
{
    if (list.isEmpty())
        return;
    double sumUp = 0;
    double sumDown = 0;
    QStringList refreshHashes;

    if (m_replyOrder.size() < list.size())
        m_replyOrder.resize(list.size());
    for (qsizetype position = 0; position < list.size(); ++position) {
        const QStringList &row = list.at(position);
        static const QString noHash;
        const QString &hash = row.isEmpty() ? noHash : row.first();
        // The core lists its downloads in the same order every time.
        TreeItem *&seen = m_replyOrder[position];
        TreeItem *item = seen && seen->hash == hash ? seen : findItemByHash(hash);
        seen = item;
        if (!item) {
            qCDebug(lcDownloads).noquote()
                << "\tno item for the given data found...nothing will be processed..";
            qCDebug(lcDownloads).noquote()
                << "\tuse magnetTorrent refresh method to build item for this hash..";
            refreshHashes.append(hash);
            continue;
        }
        const ReplyRow fields(row);
        if (!fields.isStatus()) {
            qCDebug(lcDownloads).noquote()
                << "invalid data size in torrentDataSet...data'size=" << row.size() - 1;
            return;
        }

        RowFiller::applyStatus(item, fields, m_icons);
        sumDown += item->downloadRate;
        sumUp += item->uploadRate;
        if (item->noData)
            refreshHashes.append(hash);
    }

    // Asked once a second for ever, a download whose metadata never comes
    // would cost the core a lookup every second: the asks thin out.
    refreshHashes = m_describe.due(refreshHashes);
    if (!refreshHashes.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "\tfound magnet refreshed, send refresh request..";
        emit sessionRequest(CoreProtocol::DescribeMagnets, refreshHashes);
    }
    emit overallUpDownloadRate(rateFormat(sumUp), rateFormat(sumDown));
    refreshModel();
}

void TreeModel::clearRates()
{
    for (TreeItem *item : std::as_const(m_rootItem->children))
        RowFiller::clearRates(item);
    emit overallUpDownloadRate(rateFormat(0), rateFormat(0));
    refreshModel();
}

void TreeModel::buildTemporaryItem(int num)
{
    if (num <= 0)
        return;
    for (int i = 0; i < num; ++i) {
        qCDebug(lcDownloads).noquote() << "Build temporary item now..";
        auto *item = new TreeItem(QString(), QStringLiteral("Processing.."));
        item->temporary = true;
        // An address being fetched names its row, so that its failure can
        // take the row away again.
        if (!m_urlItems.isEmpty()) {
            std::unique_ptr<TreeItem> prepared(m_urlItems.takeFirst());
            item->setUrlItemId(prepared->urlItemId);
        }
        appendTopLevel(item);
    }
    refreshModel();
}

void TreeModel::addFailed(const QString &item)
{
    for (TreeItem *row : std::as_const(m_rootItem->children)) {
        if (row->temporary && !row->urlItemId.isEmpty() && row->urlItemId == item) {
            removeTopLevel(row);
            refreshModel();
            return;
        }
    }
}

void TreeModel::dropAddressRows(qsizetype count)
{
    // The core answers addresses without naming them: the oldest rows of
    // addresses give way to the downloads that arrived.
    QList<TreeItem *> rows;
    for (TreeItem *row : std::as_const(m_rootItem->children))
        if (row->temporary && !row->urlItemId.isEmpty() && rows.size() < count)
            rows << row;
    for (TreeItem *row : std::as_const(rows))
        removeTopLevel(row);
}

void TreeModel::prepBuildItemForUrl(QStringList urlList, QStringList itemIDList)
{
    const qsizetype n = qMin(urlList.size(), itemIDList.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (urlList.at(i).isEmpty() || itemIDList.at(i).isEmpty())
            continue;
        auto *item = new TreeItem(QString(), urlList.at(i));
        item->setUrlItemId(itemIDList.at(i));
        m_urlItems.append(item);
    }
}
