#include "treemodel.h"

#include "mediasuffixes.h"

#include "platform/logging.h"
#include "replyrow.h"
#include "settings/preferences.h"
#include "treeitem.h"

#include <QDir>

#include <QTimer>
#include <memory>

#include <cmath>

namespace {

constexpr double KiB = 1024.0;
constexpr double MiB = 1024.0 * 1024.0;
constexpr double GiB = 1024.0 * 1024.0 * 1024.0;

QString formatted(double value, int digits, const char *unit)
{
    // Whole numbers print through the integer path, several times faster
    // than the general one and rounding the same way (half away from zero).
    if (digits == 0 && value >= 0 && value < 1e15)
        return QString::number(std::llround(value)) + QLatin1String(unit);
    return QString::number(value, 'f', digits) + QLatin1String(unit);
}

struct Unit
{
    double size;
    const char *name;
};

// x in the largest unit it is strictly above, else in bytes (no decimals).
QString scaled(double x, std::initializer_list<Unit> units, int digits, const char *bytes)
{
    for (const Unit &unit : units) {
        if (x > unit.size)
            return formatted(x / unit.size, digits, unit.name);
    }
    return formatted(x, 0, bytes);
}

// The characters of a torrent's piece string that belong to one file. Piece
// numbers that do not lie inside the string give nothing.
QString pieceSlice(const QString &bits, int first, int last)
{
    if (first < 0 || last < first || last >= bits.size())
        return QString();
    return bits.mid(first, last - first + 1);
}

} // namespace

TreeModel::TreeModel(QObject *parent)
    : QAbstractItemModel(parent)
{
    m_resumeTimer = new QTimer(this);

    m_rootItem = new TreeItem(static_cast<TreeItem *>(nullptr));
    m_rootItem->name = QStringLiteral("check info to test m_rootItem in treemodel..");
    m_rootItem->isRoot = true;

    m_resumeInterval = 60000;
    m_resumeTimer->setSingleShot(true);
    connect(m_resumeTimer, &QTimer::timeout, this, &TreeModel::callResumeAll);
}

TreeModel::~TreeModel()
{
    m_playingItem = nullptr;
    m_clickedItem = nullptr;
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

void TreeModel::setHashIndexEnabled(bool enabled)
{
    m_hashIndex = enabled;
}

TreeItem *TreeModel::findItemByHash(const QString &hash) const
{
    if (m_hashIndex)
        return m_byHash.value(hash, nullptr);
    for (TreeItem *item : m_rootItem->children) {
        if (item->hash == hash)
            return item;
    }
    return nullptr;
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

TreeItem *TreeModel::findPlayItem(const QString &hash, int fileIndex) const
{
    TreeItem *row = findItemByHash(hash);
    if (!row)
        return nullptr;
    if (row->childCount() > 0)
        return row->child(fileIndex);
    return row;
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

bool TreeModel::isPlayable(const QString &path) const
{
    return MediaSuffixes::isPlayable(path);
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

QString TreeModel::sizeFormat(double x) const
{
    return scaled(x, { { GiB, "GB" }, { MiB, "MB" }, { KiB, "KB" } }, 0, "B");
}

QString TreeModel::rateFormat(double x) const
{
    return scaled(x, { { MiB, "M/s" }, { KiB, "K/s" } }, 0, "B/s");
}

QString TreeModel::shortFormat(double x) const
{
    return scaled(x, { { GiB, "G" }, { MiB, "M" }, { KiB, "K" } }, 1, "B");
}

void TreeModel::refreshModel()
{
    const int rows = rowCount();
    // An empty list has no cells to announce.
    if (rows == 0)
        return;
    emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
}

void TreeModel::singleClickAction(QModelIndex index)
{
    if (index.isValid())
        m_clickedItem = itemFromIndex(index);
}

void TreeModel::callResumeAll()
{
    emit sessionRequest(CoreProtocol::ResumeAll, QStringList { QStringLiteral("") });
}

// ---- updates from the core ---------------------------------------------------

void TreeModel::addedReturn(int type, QList<QStringList> list)
{
    addedReturn(type, std::move(list), false);
}

void TreeModel::addedReturn(int type, QList<QStringList> list, bool autoPlay)
{
    if (list.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "Error, emply list received in treemodel'addedReturn..";
        return;
    }
    switch (type) {
    case 0:
        addItemByTorrent(list, autoPlay);
        break;
    case 1:
        addItemByMagnetUri(list, autoPlay);
        break;
    case 14:
        qCDebug(lcDownloads).noquote() << "ready to rebuild item for magnetUri_refreshed..";
        magnetUriItemRebuild(list, autoPlay);
        break;
    default:
        break;
    }
}

TreeItem *TreeModel::makeFileItem(const QString &hash, const QStringList &row, int fileIndex) const
{
    const ReplyRow fields(row);
    auto *file = new TreeItem(hash, fields.fileName(fileIndex));
    file->size = fields.fileSize(fileIndex);
    file->sizeText = sizeFormat(file->size);
    file->savePath = QDir::toNativeSeparators(fields.fileDirectory(fileIndex));
    file->filePath = QDir::toNativeSeparators(fields.filePath(fileIndex));
    file->fileIndex = fileIndex;
    file->playable = isPlayable(file->filePath);
    return file;
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
            item->appendChild(makeFileItem(item->hash, row, i));
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

void TreeModel::addItemByTorrent(QList<QStringList> list)
{
    addItemByTorrent(std::move(list), false);
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

void TreeModel::addItemByMagnetUri(QList<QStringList> list)
{
    addItemByMagnetUri(std::move(list), false);
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

void TreeModel::magnetUriItemRebuild(QList<QStringList> list)
{
    magnetUriItemRebuild(std::move(list), false);
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
                item->appendChild(makeFileItem(hash, row, i));
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
        TreeItem *item = nullptr;
        if (m_hashIndex) {
            // The core lists its downloads in the same order every time.
            TreeItem *&seen = m_replyOrder[position];
            item = seen && seen->hash == hash ? seen : findItemByHash(hash);
            seen = item;
        } else {
            item = findItemByHash(hash);
        }
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

        // Most downloads of a long list are idle: their numbers, and so their
        // texts, rarely change from one reply to the next.
        const auto setNumber = [](double value, double &number, QString &text, auto format) {
            if (value != number || text.isEmpty()) {
                number = value;
                text = format(value);
            }
        };
        const auto rate = [this](double x) { return rateFormat(x); };
        setNumber(fields.downloadRate(), item->downloadRate, item->downloadRateText, rate);
        setNumber(fields.uploadRate(), item->uploadRate, item->uploadRateText, rate);
        item->progressText = fields.progress();
        item->seedsText = fields.seeds();
        item->peersText = fields.peers();
        int state = fields.state();
        if (state < 0 || state > 3)
            state = -1;
        if (state != item->torrentState) {
            item->torrentState = state;
            item->stateIcon = m_icons.stateIcon(state);
        }
        item->finished = fields.statusFinished();
        item->bitField = fields.bitField();
        item->pieceCount = fields.pieceCount();
        item->pieceLength = fields.pieceLength();
        setNumber(fields.uploaded(), item->uploaded, item->uploadedText,
            [this](double x) { return shortFormat(x); });
        sumDown += item->downloadRate;
        sumUp += item->uploadRate;

        const int files = qMin(fields.fileStatusCount(), item->childCount());
        for (int i = 0; i < files; ++i) {
            TreeItem *file = item->children.at(i);
            file->progressText = fields.fileProgress(i);
            file->finished = fields.fileFinished(i);
            file->firstPiece = fields.fileFirstPiece(i);
            file->lastPiece = fields.fileLastPiece(i);
            file->bitField = pieceSlice(item->bitField, file->firstPiece, file->lastPiece);
            file->pieceLength = item->pieceLength;
        }
        if (item->noData)
            refreshHashes.append(hash);
    }

    if (m_playingItem && !m_playingItem->bitField.isEmpty())
        emit bitFieldRefresh(m_playingItem->bitField, m_playingItem->pieceLength);
    if (!refreshHashes.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "\tfound magnet refreshed, send refresh request..";
        emit sessionRequest(CoreProtocol::DescribeMagnets, refreshHashes);
    }
    emit overallUpDownloadRate(rateFormat(sumUp), rateFormat(sumDown));
    refreshModel();
}

void TreeModel::pieceFinished(const QString &hash, int piece)
{
    TreeItem *item = findItemByHash(hash);
    if (!item || piece < 0 || piece >= item->bitField.size())
        return;
    item->bitField[piece] = QLatin1Char('1');
    for (TreeItem *file : std::as_const(item->children))
        if (piece >= file->firstPiece && piece <= file->lastPiece
            && piece - file->firstPiece < file->bitField.size())
            file->bitField[piece - file->firstPiece] = QLatin1Char('1');
    if (m_playingItem && (m_playingItem == item || m_playingItem->parentItem == item))
        emit bitFieldRefresh(m_playingItem->bitField, m_playingItem->pieceLength);
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

// ---- playing from the list ----------------------------------------------------

QString TreeModel::commentUrl(const QString &hash) const
{
    return Preferences().value(QStringLiteral("/comment_url/") + hash, QString()).toString();
}

void TreeModel::setMarks(TreeItem *item, const QIcon &icon, const QColor &color, bool isPlaying)
{
    item->playing = isPlaying;
    item->nameIcon = icon;
    item->textColor = color;
    if (item->fileIndex >= 0 && item->parentItem && !item->parentItem->isRoot) {
        item->parentItem->playing = isPlaying;
        item->parentItem->textColor = color;
    }
}

void TreeModel::clearPlayingMarks()
{
    if (m_playingItem)
        setMarks(m_playingItem, m_icons.noIcon, m_icons.normalColor, false);
}

void TreeModel::doubleClickSlot(QModelIndex _index)
{
    if (!_index.isValid()) {
        qCDebug(lcDownloads).noquote() << "invalid index->item, deny to play..";
        return;
    }
    TreeItem *item = itemFromIndex(_index);
    if (!item)
        return;
    qCDebug(lcDownloads).noquote() << "DoubleClicked on" << item->name;
    doubleClickSlot(item);
}

void TreeModel::doubleClickSlot(TreeItem *item)
{
    qCDebug(lcDownloads).noquote() << "Enter into the doubleClickSlot..";
    if (!item)
        return;
    if (item->childCount() > 0) {
        item->expanded = !item->expanded;
        item->nameIcon = item->expanded ? m_icons.collapseIcon : m_icons.expandIcon;
        qCDebug(lcDownloads).noquote() << "finish reset the parent item.. and return";
        refreshModel();
        return;
    }
    if (!item->playable && !item->noData) {
        qCDebug(lcDownloads).noquote() << "this file is unable to play...";
        return;
    }
    emit stopPlay();
    clearPlayingMarks();
    setMarks(item, m_icons.appIcon, m_icons.activeColor, true);
    m_playingItem = item;
    if (item->noData) {
        qCDebug(lcDownloads).noquote() << "still magnetUri, return here..";
        refreshModel();
        return;
    }
    qCDebug(lcDownloads).noquote() << "Check finished..play file name =" << item->name;
    qCDebug(lcDownloads).noquote() << "play file hash=" << item->hash;
    emit setCommentButton(commentUrl(item->hash));

    const QString hash = item->hash;
    const int index = item->fileIndex == -1 ? 0 : item->fileIndex;
    qCDebug(lcDownloads).noquote() << "emit torrent_play request..";
    emit sessionRequest(CoreProtocol::PlayingFile, QStringList { hash, QString::number(index) });
    const PieceCheck head = checkPieces(hash, index, 0);
    requestPieces(head, false);
    const bool piece0Exist = head.ready;
    QString path = item->filePath;
    emit playFile(path, hash, index, piece0Exist, item->bitField, item->pieceLength);
    refreshModel();
}

void TreeModel::doubleClickSlot(QString hash)
{
    qCDebug(lcDownloads).noquote() << "try to play file by given hash=" << (u'"' + hash + u'"');
    emit setCommentButton(commentUrl(hash));
    TreeItem *row = findItemByHash(hash);
    if (!row) {
        qCDebug(lcDownloads).noquote()
            << "ERROR, no valid item found by given hash, when trying to play file..";
        qCDebug(lcDownloads).noquote() << "ERROR, the given hash is" << hash;
        qCDebug(lcDownloads).noquote() << "We will stop to try to play file here..";
        return;
    }
    qCDebug(lcDownloads).noquote() << "found a valid item by given hash, now try to play it..";
    if (row->childCount() > 0) {
        qCDebug(lcDownloads).noquote()
            << "the downloading contain more than one files, try to get one to play..";
        doubleClickSlot(row->child(largestPlayableFile(row)));
        return;
    }
    doubleClickSlot(row);
}

PieceCheck TreeModel::checkPieces(const QString &hash, int fileIndex, int piece) const
{
    PieceCheck check;
    check.hash = hash;
    check.fileIndex = fileIndex;
    const TreeItem *item = findPlayItem(hash, fileIndex);
    if (!item)
        return check;

    int window = 2;
    if (piece == 0) {
        qCDebug(lcDownloads).noquote() << "check before play new file,so check more data";
        window = 4;
    }

    QString bits;
    if (isTopLevel(item)) {
        bits = item->bitField;
        check.fileStart = 0;
        check.last = item->pieceCount - 1;
        check.first = piece;
    } else {
        bits = item->parentItem->bitField;
        check.fileStart = item->firstPiece;
        check.last = item->lastPiece;
        check.first = piece + item->firstPiece;
    }

    const int end = qMin(check.first + window, check.last);
    check.ready = true;
    for (int p = check.first; p <= end; ++p) {
        if (bits.isEmpty()) {
            qCDebug(lcDownloads).noquote() << "bitString is empty";
            check.ready = false;
            break;
        }
        // A piece the string does not hold (the core's counts disagree, or a
        // bad piece number) is as good as missing.
        if (p < 0 || p >= bits.size() || bits.at(p) == u'0') {
            qCDebug(lcDownloads).noquote() << "bitString.at(" << p - check.fileStart << ")==0";
            check.ready = false;
            break;
        }
    }

    check.known = check.last >= 1;
    if (!check.known) {
        qCDebug(lcDownloads).noquote() << "the message doesn't update from core";
        check.ready = false;
    }
    return check;
}

bool TreeModel::pieceReady(QString hash, int fileIndex, int piece) const
{
    return checkPieces(hash, fileIndex, piece).ready;
}

void TreeModel::requestPieces(const PieceCheck &check, bool requestPriority)
{
    // Without piece data the core has nothing to put first yet.
    if (!check.known)
        return;
    if (check.ready && !requestPriority) {
        qCDebug(lcDownloads).noquote() << "all pieces in the position exist..";
        return;
    }
    qCDebug(lcDownloads).noquote() << "request core download fileIndex" << check.fileIndex << "filestartpiece"
                                   << check.fileStart << "blockstartpiece" << check.first << "fileendpiece"
                                   << check.last << "dataExit" << check.ready << "setPriority"
                                   << requestPriority;
    emit sessionRequest(CoreProtocol::PiecePriority,
        QStringList { check.hash, QString::number(check.fileStart), QString::number(check.first),
            QString::number(check.last) });
}

bool TreeModel::hasLastPiece(QString hash, int fileIndex) const
{
    const TreeItem *item = findPlayItem(hash, fileIndex);
    return item && !item->bitField.isEmpty() && item->bitField.back() == u'1';
}

void TreeModel::mediaButtonAction(int actionType)
{
    switch (actionType) {
    case 0:
        if (m_playingItem) {
            clearPlayingMarks();
            m_playingItem = nullptr;
        } else {
            m_clickedItem = nullptr;
        }
        break;
    case 1:
        if (m_playingItem)
            setMarks(m_playingItem, m_icons.pauseSymbolIcon, m_icons.errorColor, true);
        break;
    case 2:
        if (m_playingItem) {
            setMarks(m_playingItem, m_icons.appIcon, m_icons.activeColor, true);
        } else if (m_clickedItem) {
            // The play button plays a download, it does not fold its files
            // open: a torrent of several files plays its largest video.
            if (m_clickedItem->childCount() > 0)
                doubleClickSlot(m_clickedItem->hash);
            else
                doubleClickSlot(m_clickedItem);
        }
        break;
    default:
        return;
    }
    refreshModel();
}

// ---- commands of the context menu ------------------------------------------------

bool TreeModel::removeDownloads(const QList<TreeItem *> &rows, bool deleteFiles)
{
    for (TreeItem *item : rows) {
        if (item->playing) {
            if (deleteFiles) {
                qCDebug(lcDownloads).noquote() << "The Deleting file is playing..,stopPlay() first..";
                emit stopPlay();
            }
            clearPlayingMarks();
            m_playingItem = nullptr;
        } else if (item->torrentState == 0) {
            return false;
        }
    }
    QStringList hashes;
    for (TreeItem *item : rows) {
        // A receiver of stopPlay() may have changed the list.
        if (!isTopLevel(item))
            continue;
        hashes.append(item->hash);
        removeTopLevel(item);
    }
    refreshModel();
    if (!hashes.isEmpty())
        emit sessionRequest(
            deleteFiles ? CoreProtocol::DeleteWithFiles : CoreProtocol::RemoveFromList, hashes);
    return true;
}

void TreeModel::setDownloadsRunning(const QList<TreeItem *> &rows, bool running)
{
    QStringList hashes;
    for (TreeItem *item : rows) {
        if (!running) {
            item->torrentState = 3;
            item->stateIcon = m_icons.pausedIcon;
        } else if (item->finished == QLatin1String("1")) {
            item->torrentState = 2;
            item->stateIcon = m_icons.seedingIcon;
        } else {
            item->torrentState = 1;
            item->stateIcon = m_icons.downloadingIcon;
        }
        hashes.append(item->hash);
    }
    if (!hashes.isEmpty())
        emit sessionRequest(running ? CoreProtocol::StartDownloads : CoreProtocol::PauseDownloads, hashes);
}
