#include "treemodel.h"

#include "app/preferences.h"
#include "informationwidget.h"
#include "listmenu.h"
#include "platform/logging.h"
#include "treeitem.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

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

// The core writes plain decimal digits; those are read directly, since a
// status reply carries several numbers per download. Anything else goes
// through the full conversion (and so reads as 0 when it is not a number).
double numberField(const QString &text)
{
    const qsizetype n = text.size();
    if (n > 0 && n <= 15) {
        qint64 value = 0;
        const QChar *c = text.constData();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t d = c[i].unicode();
            if (d < u'0' || d > u'9')
                return text.toDouble();
            value = value * 10 + (d - u'0');
        }
        return double(value);
    }
    return text.toDouble();
}

int integerField(const QString &text)
{
    const qsizetype n = text.size();
    if (n > 0 && n <= 9) {
        int value = 0;
        const QChar *c = text.constData();
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t d = c[i].unicode();
            if (d < u'0' || d > u'9')
                return text.toInt();
            value = value * 10 + (d - u'0');
        }
        return value;
    }
    return text.toInt();
}

// A description row has 6 fields (one file) or 5 + 4k (k files).
bool isSingleFileRow(const QStringList &row)
{
    return row.size() == 6;
}

bool isMultiFileRow(const QStringList &row)
{
    return row.size() >= 5 && (row.size() - 5) % 4 == 0;
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
    hoverTimer = new QTimer(this);
    hoverIndex = QPersistentModelIndex();
    hoverPos = QPoint(0, 0);
    resumeTimer = new QTimer(this);

    rootItem = new TreeItem(static_cast<TreeItem *>(nullptr));
    rootItem->name = QStringLiteral("check info to test rootItem in treemodel..");
    rootItem->isRoot = true;

    resumeInterval = 60000;
    resumeTimer->setSingleShot(true);
    connect(resumeTimer, &QTimer::timeout, this, &TreeModel::callResumeAll);

    hoverInterval = 1000;
    hoverTimer->setSingleShot(true);
    hoverTimer->setInterval(hoverInterval);
    connect(hoverTimer, &QTimer::timeout, this, &TreeModel::mouseFloatEvent);

    listMenu = new ListMenu(this);
    connect(listMenu, &ListMenu::listMenuActionReturn, this, &TreeModel::listMenuAction);
    infoWidget = new InformationWidget(this);

    playingItem = nullptr;
    clickedItem = nullptr;

    warningBox = new QMessageBox;
    warningBox->setText(tr("Warning!"));
    warningBox->setInformativeText(
        tr("The downloading, you chose to delete or remove, is still checking, please do later.."));
    warningBox->setStandardButtons(QMessageBox::Close);

    playableExtensions = {
        QStringLiteral(".NSV"),
        QStringLiteral(".IFO"),
        QStringLiteral(".TP"),
        QStringLiteral(".TS"),
        QStringLiteral(".RMVB"),
        QStringLiteral(".RM"),
        QStringLiteral(".VOB"),
        QStringLiteral(".OGM"),
        QStringLiteral(".DSM"),
        QStringLiteral(".DAT"),
        QStringLiteral(".MPEG"),
        QStringLiteral(".MPG"),
        QStringLiteral(".MP4"),
        QStringLiteral(".3GP"),
        QStringLiteral(".MOV"),
        QStringLiteral(".MKV"),
        QStringLiteral(".FLV"),
        QStringLiteral(".AVS"),
        QStringLiteral(".WMV"),
        QStringLiteral(".ASF"),
        QStringLiteral(".AVI"),
    };
}

TreeModel::~TreeModel()
{
    playingItem = nullptr;
    clickedItem = nullptr;
    selectedItems.clear();
    delete rootItem;
    qDeleteAll(m_urlItems);
    delete listMenu;
    delete infoWidget;
    delete warningBox;
}

// ---- item-model interface -------------------------------------------------

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    TreeItem *parentNode = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : rootItem;
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
    if (!parentNode || parentNode == rootItem)
        return QModelIndex();
    return createIndex(parentNode->row(), 0, parentNode);
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TreeItem *node = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : rootItem;
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
    for (TreeItem *item : rootItem->children) {
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
    for (TreeItem *item : rootItem->children) {
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
    return item && item->parentItem == rootItem;
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
    for (const QString &ext : playableExtensions) {
        if (path.endsWith(ext, Qt::CaseInsensitive))
            return true;
    }
    return false;
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
    for (TreeItem *other : rootItem->children) {
        if (other != item && other->hash == hash) {
            m_byHash.insert(hash, other);
            break;
        }
    }
}

void TreeModel::appendTopLevel(TreeItem *item)
{
    const int row = rootItem->childCount();
    beginInsertRows(QModelIndex(), row, row);
    rootItem->appendChild(item);
    indexHash(item);
    endInsertRows();
}

void TreeModel::removeTopLevel(TreeItem *item)
{
    const int row = item->row();
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    rootItem->removeChild(item);
    unindexHash(item, item->hash);
    m_replyOrder.clear();
    endRemoveRows();

    // Nothing may keep pointing at the row or its files once it is gone.
    const auto within = [item](const TreeItem *p) { return p && (p == item || p->parentItem == item); };
    if (within(playingItem))
        playingItem = nullptr;
    if (within(clickedItem))
        clickedItem = nullptr;
    selectedItems.removeIf(within);
    delete item;
}

QString TreeModel::sizeFormat(double x) const
{
    if (x > GiB)
        return formatted(x / GiB, 0, "GB");
    if (x > MiB)
        return formatted(x / MiB, 0, "MB");
    if (x > KiB)
        return formatted(x / KiB, 0, "KB");
    return formatted(x, 0, "B");
}

QString TreeModel::rateFormat(double x) const
{
    if (x > MiB)
        return formatted(x / MiB, 0, "M/s");
    if (x > KiB)
        return formatted(x / KiB, 0, "K/s");
    return formatted(x, 0, "B/s");
}

QString TreeModel::shortFormat(double x) const
{
    if (x > GiB)
        return formatted(x / GiB, 1, "G");
    if (x > MiB)
        return formatted(x / MiB, 1, "M");
    if (x > KiB)
        return formatted(x / KiB, 1, "K");
    return formatted(x, 0, "B");
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
        clickedItem = itemFromIndex(index);
}

void TreeModel::callResumeAll()
{
    emit sessionRequest(6, QStringLiteral(""));
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

TreeItem *TreeModel::makeFileItem(const QString &hash, const QStringList &row, int first, int fileIndex) const
{
    auto *file = new TreeItem(hash, row.at(first));
    file->size = row.at(first + 1).toDouble();
    file->sizeText = sizeFormat(file->size);
    file->savePath = QDir::toNativeSeparators(row.at(first + 2));
    file->filePath = QDir::toNativeSeparators(row.at(first + 3));
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
    const bool single = isSingleFileRow(row);
    if (!single && !isMultiFileRow(row))
        return;
    if (findItemByHash(row.at(0))) {
        qCDebug(lcDownloads).noquote() << "Warning, item for the torrent has built..nothing to do..";
        return;
    }
    auto *item = new TreeItem(row.at(0), row.at(1));
    item->size = row.at(2).toDouble();
    item->sizeText = sizeFormat(item->size);
    item->finished = row.at(4);
    if (single) {
        item->savePath = row.at(3);
        item->filePath = QDir::toNativeSeparators(row.at(5));
        item->playable = isPlayable(item->filePath);
    } else {
        item->savePath = QDir::toNativeSeparators(row.at(3));
        const int files = int(row.size() - 5) / 4;
        for (int i = 0; i < files; ++i)
            item->appendChild(makeFileItem(item->hash, row, 5 + 4 * i, i));
        item->nameIcon = icons.expandIcon;
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
    const QString &hash = row.at(0);
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
        if (row.size() == 1)
            buildMagnetItem(row);
        else if (isSingleFileRow(row) || isMultiFileRow(row))
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
        if (!isSingleFileRow(row) && !isMultiFileRow(row))
            continue;

        const QString &hash = row.at(0);
        TreeItem *item = findItemByHash(hash);
        if (!item) {
            qCDebug(lcDownloads).noquote() << "We have not build item for this hash yet.." << hash;
            item = findATemporaryBuiltItem();
            if (!item) {
                qCDebug(lcDownloads).noquote()
                    << "Now try to build item for this hash( for data from the new found torrent)..";
                appendTopLevel(new TreeItem(hash, hash));
                item = rootItem->children.last();
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

        item->name = row.at(1);
        item->size = row.at(2).toDouble();
        item->sizeText = sizeFormat(item->size);
        item->savePath = row.at(3);
        item->finished = row.at(4);

        if (row.size() == 6) {
            item->filePath = QDir::toNativeSeparators(row.at(5));
            item->playable = isPlayable(item->filePath);
        } else if (item->childCount() == 0) {
            // A second description of the same download (the model asks on
            // every status reply until one arrives) must not add its files
            // twice.
            const QModelIndex parentIndex = createIndex(item->row(), 0, item);
            const int files = int(row.size() - 5) / 4;
            for (int i = 0; i < files; ++i) {
                beginInsertRows(parentIndex, i, i);
                item->appendChild(makeFileItem(hash, row, 5 + 4 * i, i));
                endInsertRows();
            }
            item->nameIcon = icons.expandIcon;
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
        const qsizetype rest = row.size() - 1;
        if (rest < 11 || (rest - 11) % 4 != 0) {
            qCDebug(lcDownloads).noquote() << "invalid data size in torrentDataSet...data'size=" << rest;
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
        setNumber(numberField(row.at(1)), item->downloadRate, item->downloadRateText, rate);
        setNumber(numberField(row.at(2)), item->uploadRate, item->uploadRateText, rate);
        item->progressText = row.at(3);
        item->seedsText = row.at(4);
        item->peersText = row.at(5);
        int state = integerField(row.at(6));
        if (state < 0 || state > 3)
            state = -1;
        if (state != item->torrentState) {
            item->torrentState = state;
            item->stateIcon = icons.stateIcon(state);
        }
        item->finished = row.at(7);
        item->bitField = row.at(8);
        item->pieceCount = integerField(row.at(9));
        item->pieceLength = integerField(row.at(10));
        setNumber(numberField(row.at(11)), item->uploaded, item->uploadedText,
            [this](double x) { return shortFormat(x); });
        sumDown += item->downloadRate;
        sumUp += item->uploadRate;

        const int groups = int(rest - 11) / 4;
        const int files = qMin(groups, item->childCount());
        for (int i = 0; i < files; ++i) {
            TreeItem *file = item->children.at(i);
            const int at = 12 + 4 * i;
            file->progressText = row.at(at);
            file->finished = row.at(at + 1);
            file->firstPiece = integerField(row.at(at + 2));
            file->lastPiece = integerField(row.at(at + 3));
            file->bitField = pieceSlice(item->bitField, file->firstPiece, file->lastPiece);
            file->pieceLength = item->pieceLength;
        }
        if (item->noData)
            refreshHashes.append(hash);
    }

    if (playingItem && !playingItem->bitField.isEmpty())
        emit bitFieldRefresh(playingItem->bitField, playingItem->pieceLength);
    if (!refreshHashes.isEmpty()) {
        qCDebug(lcDownloads).noquote() << "\tfound magnet refreshed, send refresh request..";
        emit sessionRequest(14, refreshHashes);
    }
    emit overallUpDownloadRate(rateFormat(sumUp), rateFormat(sumDown));
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
        appendTopLevel(item);
    }
    refreshModel();
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
    if (playingItem)
        setMarks(playingItem, icons.noIcon, icons.normalColor, false);
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
        item->nameIcon = item->expanded ? icons.collapseIcon : icons.expandIcon;
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
    setMarks(item, icons.appIcon, icons.activeColor, true);
    playingItem = item;
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
    emit sessionRequest(9, QStringList { hash, QString::number(index) });
    const bool piece0Exist = pieceReady(hash, index, 0, false);
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

bool TreeModel::pieceReady(QString hash, int fileIndex, int piece, bool requestPriority)
{
    TreeItem *item = findPlayItem(hash, fileIndex);
    if (!item)
        return false;

    int window = 2;
    if (piece == 0) {
        qCDebug(lcDownloads).noquote() << "check before play new file,so check more data";
        window = 4;
    }

    QString bits;
    int fileStart = 0;
    int last = 0;
    int first = 0;
    if (isTopLevel(item)) {
        bits = item->bitField;
        fileStart = 0;
        last = item->pieceCount - 1;
        first = piece;
    } else {
        bits = item->parentItem->bitField;
        fileStart = item->firstPiece;
        last = item->lastPiece;
        first = piece + item->firstPiece;
    }

    const int end = qMin(first + window, last);
    bool ready = true;
    for (int p = first; p <= end; ++p) {
        if (bits.isEmpty()) {
            qCDebug(lcDownloads).noquote() << "bitString is empty";
            ready = false;
            break;
        }
        // A piece the string does not hold (the core's counts disagree, or a
        // bad piece number) is as good as missing.
        if (p < 0 || p >= bits.size() || bits.at(p) == u'0') {
            qCDebug(lcDownloads).noquote() << "bitString.at(" << p - fileStart << ")==0";
            ready = false;
            break;
        }
    }

    if (last < 1) {
        qCDebug(lcDownloads).noquote() << "the message doesn't update from core";
        return false;
    }
    if (ready && !requestPriority) {
        qCDebug(lcDownloads).noquote() << "all pieces in the position exist..";
        return true;
    }
    qCDebug(lcDownloads).noquote() << "request core download fileIndex" << fileIndex << "filestartpiece"
                                   << fileStart << "blockstartpiece" << first << "fileendpiece" << last
                                   << "dataExit" << ready << "setPriority" << requestPriority;
    emit sessionRequest(
        11, QStringList { hash, QString::number(fileStart), QString::number(first), QString::number(last) });
    return ready;
}

bool TreeModel::hasLastPiece(QString hash, int fileIndex)
{
    const TreeItem *item = findPlayItem(hash, fileIndex);
    return item && !item->bitField.isEmpty() && item->bitField.back() == u'1';
}

void TreeModel::mediaButtonAction(int actionType)
{
    switch (actionType) {
    case 0:
        if (playingItem) {
            clearPlayingMarks();
            playingItem = nullptr;
        } else {
            clickedItem = nullptr;
        }
        break;
    case 1:
        if (playingItem)
            setMarks(playingItem, icons.pauseSymbolIcon, icons.errorColor, true);
        break;
    case 2:
        if (playingItem) {
            setMarks(playingItem, icons.appIcon, icons.activeColor, true);
        } else if (clickedItem) {
            // The play button plays a download, it does not fold its files
            // open: a torrent of several files plays its largest video.
            if (clickedItem->childCount() > 0)
                doubleClickSlot(clickedItem->hash);
            else
                doubleClickSlot(clickedItem);
        }
        break;
    default:
        return;
    }
    refreshModel();
}

// ---- view, context menu and pop-up ---------------------------------------------

QList<TreeItem *> TreeModel::liveSelection() const
{
    QList<TreeItem *> rows;
    for (TreeItem *item : selectedItems) {
        if (!isTopLevel(item) || rows.contains(item))
            continue;
        rows.append(item);
    }
    return rows;
}

void TreeModel::rightClickAction(QModelIndexList indexlist)
{
    hoverTimer->stop();
    infoWidget->hidePopup();
    selectedItems.clear();
    for (const QModelIndex &index : std::as_const(indexlist)) {
        TreeItem *item = itemFromIndex(index);
        // Commands act on downloads: a file stands for its torrent.
        if (item && !isTopLevel(item))
            item = item->parentItem;
        if (isTopLevel(item) && !selectedItems.contains(item))
            selectedItems.append(item);
    }
    const bool firstPaused = !selectedItems.isEmpty() && selectedItems.first()->torrentState == 3;
    listMenu->showMenu(int(selectedItems.size()), firstPaused);
}

void TreeModel::listMenuAction(int type)
{
    switch (type) {
    case 0:
        qCDebug(lcDownloads).noquote() << "\t action_AddTorrent clicked..";
        emit addTorrent();
        return;
    case 1:
        qCDebug(lcDownloads).noquote() << "\t action_AddManget clicked..";
        emit addMagnetUri();
        return;
    case 2:
    case 3: {
        const bool deleteFiles = type == 2;
        // Copied: the warning box runs an event loop in which replies arrive.
        const QList<TreeItem *> rows = liveSelection();
        for (TreeItem *item : rows) {
            if (item->playing) {
                if (deleteFiles) {
                    qCDebug(lcDownloads).noquote() << "The Deleting file is playing..,stopPlay() first..";
                    emit stopPlay();
                }
                clearPlayingMarks();
                playingItem = nullptr;
            } else if (item->torrentState == 0) {
                warningBox->exec();
                return;
            }
        }
        QStringList hashes;
        for (TreeItem *item : rows) {
            // The warning box may have let a reply in; act only on rows that
            // are still listed.
            if (!isTopLevel(item))
                continue;
            hashes.append(item->hash);
            removeTopLevel(item);
        }
        selectedItems.clear();
        refreshModel();
        if (!hashes.isEmpty())
            emit sessionRequest(deleteFiles ? 2 : 3, hashes);
        return;
    }
    case 4:
        return;
    case 5: {
        const QList<TreeItem *> rows = liveSelection();
        if (rows.isEmpty())
            return;
        const QString path = rows.first()->savePath;
        qCDebug(lcDownloads).noquote() << "\t folderPath=" << path << " size=" << rows.size();
        QDesktopServices::openUrl(
            path.isEmpty() ? QUrl(QStringLiteral("file:///")) : QUrl::fromLocalFile(path));
        return;
    }
    case 6:
    case 7: {
        QStringList hashes;
        for (TreeItem *item : liveSelection()) {
            if (type == 7) {
                item->torrentState = 3;
                item->stateIcon = icons.pausedIcon;
            } else if (item->finished == QLatin1String("1")) {
                item->torrentState = 2;
                item->stateIcon = icons.seedingIcon;
            } else {
                item->torrentState = 1;
                item->stateIcon = icons.downloadingIcon;
            }
            hashes.append(item->hash);
        }
        if (!hashes.isEmpty())
            emit sessionRequest(type == 6 ? 4 : 5, hashes);
        return;
    }
    case 8:
        emit treeModelTest();
        return;
    default:
        return;
    }
}

void TreeModel::mouseMoveSlot(bool validPos, QPoint pos, QModelIndex indexFromPos)
{
    infoWidget->hidePopup();
    if (validPos) {
        hoverPos = pos;
        if (indexFromPos.isValid()) {
            hoverIndex = indexFromPos;
            hoverTimer->start(hoverInterval);
            return;
        }
    }
    hoverTimer->stop();
}

void TreeModel::mouseFloatEvent()
{
    TreeItem *item = itemFromIndex(hoverIndex);
    if (!item)
        return;
    const QPoint cursor = QCursor::pos();
    infoWidget->showFor(item, cursor.x(), cursor.y());
}
