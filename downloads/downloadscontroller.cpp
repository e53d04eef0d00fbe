#include "downloadscontroller.h"

#include "informationwidget.h"
#include "listmenu.h"
#include "platform/defaultplayer.h"
#include "platform/logging.h"
#include "treeitem.h"
#include "treemodel.h"

#include <QClipboard>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QTimer>
#include <QUrl>

DownloadsController::DownloadsController(TreeModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_listMenu(new ListMenu(this))
    , m_infoWidget(new InformationWidget(this))
    , m_warningBox(new QMessageBox)
    , m_hoverTimer(new QTimer(this))
    , m_openPlayer(&DefaultPlayer::open)
{
    m_hoverTimer->setSingleShot(true);
    m_hoverTimer->setInterval(m_hoverInterval);
    connect(m_hoverTimer, &QTimer::timeout, this, &DownloadsController::mouseFloatEvent);
    connect(m_listMenu, &ListMenu::listMenuActionReturn, this, &DownloadsController::listMenuAction);

    m_warningBox->setText(TreeModel::tr("Warning!"));
    m_warningBox->setInformativeText(TreeModel::tr(
        "The downloading, you chose to delete or remove, is still checking, please do later.."));
    m_warningBox->setStandardButtons(QMessageBox::Close);

    // Only top-level rows are ever removed; nothing may point at them after.
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
        [this](const QModelIndex &under, int first, int last) {
            if (!under.isValid())
                forgetRows(first, last);
        });
    connect(model, &QObject::destroyed, this, [this] { m_model = nullptr; });
}

DownloadsController::~DownloadsController()
{
    delete m_warningBox;
}

void DownloadsController::forgetRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const TreeItem *item = m_model->rootItem()->child(row);
        m_selectedItems.removeAll(item);
    }
}

QList<TreeItem *> DownloadsController::liveSelection() const
{
    QList<TreeItem *> rows;
    if (!m_model)
        return rows;
    for (TreeItem *item : m_selectedItems) {
        if (!m_model->isTopLevel(item) || rows.contains(item))
            continue;
        rows.append(item);
    }
    return rows;
}

void DownloadsController::select(const QModelIndexList &indexlist)
{
    m_selectedItems.clear();
    if (!m_model)
        return;
    for (const QModelIndex &index : indexlist) {
        TreeItem *item = m_model->itemFromIndex(index);
        if (item && !m_model->isTopLevel(item))
            item = item->parentItem;
        if (m_model->isTopLevel(item) && !m_selectedItems.contains(item))
            m_selectedItems.append(item);
    }
}

void DownloadsController::rightClickAction(QModelIndexList indexlist)
{
    m_hoverTimer->stop();
    m_infoWidget->hidePopup();
    select(indexlist);
    if (!m_model)
        return;
    m_streamIndex = indexlist.isEmpty() ? QModelIndex() : indexlist.first();
    m_listMenu->setStreamable(!streamAddressOf(m_streamIndex).isEmpty());
    const bool firstPaused
        = !m_selectedItems.isEmpty() && m_selectedItems.first()->torrentState == TreeItem::Paused;
    m_listMenu->showMenu(int(m_selectedItems.size()), firstPaused);
}

void DownloadsController::listMenuAction(int type)
{
    if (!m_model)
        return;
    switch (type) {
    case ListMenu::AddTorrent:
        qCDebug(lcDownloads).noquote() << "\t action_AddTorrent clicked..";
        emit m_model->addTorrent();
        return;
    case ListMenu::AddMagnet:
        qCDebug(lcDownloads).noquote() << "\t action_AddManget clicked..";
        emit m_model->addMagnetUri();
        return;
    case ListMenu::DeleteWithFiles:
    case ListMenu::RemoveFromList:
        if (!removeDownloads(liveSelection(), type == ListMenu::DeleteWithFiles)) {
            // Shown without waiting: the list keeps taking replies meanwhile.
            m_warningBox->open();
            return;
        }
        m_selectedItems.clear();
        return;
    case ListMenu::ShowInfo:
        return;
    case ListMenu::OpenFolder: {
        const QList<TreeItem *> rows = liveSelection();
        if (rows.isEmpty())
            return;
        const QString path = rows.first()->savePath;
        qCDebug(lcDownloads).noquote() << "\t folderPath=" << path << " size=" << rows.size();
        QDesktopServices::openUrl(
            path.isEmpty() ? QUrl(QStringLiteral("file:///")) : QUrl::fromLocalFile(path));
        return;
    }
    case ListMenu::Start:
    case ListMenu::Pause:
        setDownloadsRunning(liveSelection(), type == ListMenu::Start);
        return;
    case ListMenu::Test:
        emit m_model->treeModelTest();
        return;
    case ListMenu::CopyStreamAddress: {
        // A TV needs the address it can reach; this machine's players take either.
        QString address = streamAddressOf(m_streamIndex, true);
        if (address.isEmpty())
            address = streamAddressOf(m_streamIndex);
        if (!address.isEmpty())
            QGuiApplication::clipboard()->setText(address);
        return;
    }
    case ListMenu::OpenInOtherPlayer: {
        const QString address = streamAddressOf(m_streamIndex);
        if (address.isEmpty())
            return;
        // The desktop's default for http is a browser: ask for the player of
        // the file's kind first.
        const QMimeType kind
            = QMimeDatabase().mimeTypeForFile(QUrl(address).fileName(), QMimeDatabase::MatchExtension);
        const QString mime = kind.isValid() && !kind.isDefault() ? kind.name() : QStringLiteral("video/mp4");
        if (!m_openPlayer || !m_openPlayer(mime, address))
            QDesktopServices::openUrl(QUrl(address));
        return;
    }
    default:
        return;
    }
}

bool DownloadsController::removeDownloads(const QList<TreeItem *> &rows, bool deleteFiles)
{
    for (TreeItem *item : rows) {
        if (item->playing) {
            if (deleteFiles) {
                qCDebug(lcDownloads).noquote() << "The Deleting file is playing..,stopPlay() first..";
                emit m_model->stopPlay();
            }
            m_model->starter()->clearPlayingMarks();
            m_model->setPlayingItem(nullptr);
        } else if (item->torrentState == TreeItem::Checking) {
            return false;
        }
    }
    QStringList hashes;
    for (TreeItem *item : rows) {
        // A receiver of stopPlay() may have changed the list.
        if (!m_model->isTopLevel(item))
            continue;
        hashes.append(item->hash);
        m_model->removeTopLevel(item);
    }
    m_model->refreshModel();
    if (!hashes.isEmpty())
        emit m_model->sessionRequest(
            deleteFiles ? CoreProtocol::DeleteWithFiles : CoreProtocol::RemoveFromList, hashes);
    return true;
}

void DownloadsController::setDownloadsRunning(const QList<TreeItem *> &rows, bool running)
{
    QStringList hashes;
    for (TreeItem *item : rows) {
        if (!running)
            item->torrentState = TreeItem::Paused;
        else if (item->finished == QLatin1String("1"))
            item->torrentState = TreeItem::Seeding;
        else
            item->torrentState = TreeItem::Downloading;
        item->stateIcon = m_model->icons().stateIcon(item->torrentState);
        hashes.append(item->hash);
    }
    if (!hashes.isEmpty())
        emit m_model->sessionRequest(
            running ? CoreProtocol::StartDownloads : CoreProtocol::PauseDownloads, hashes);
}

void DownloadsController::mouseMoveSlot(bool validPos, QPoint pos, QModelIndex indexFromPos)
{
    m_infoWidget->hidePopup();
    if (validPos) {
        m_hoverPos = pos;
        if (indexFromPos.isValid()) {
            m_hoverIndex = indexFromPos;
            m_hoverTimer->start(m_hoverInterval);
            return;
        }
    }
    m_hoverTimer->stop();
}

void DownloadsController::mouseFloatEvent()
{
    TreeItem *item = m_model ? m_model->itemFromIndex(m_hoverIndex) : nullptr;
    if (!item)
        return;
    const QPoint cursor = QCursor::pos();
    m_infoWidget->showFor(item, cursor.x(), cursor.y());
}

void DownloadsController::setStreamAddress(const QString &address, const QString &networkAddress)
{
    m_streamAddress = address;
    m_networkStreamAddress = networkAddress;
}

QString DownloadsController::streamAddressOf(const QModelIndex &index, bool forNetwork) const
{
    const QString base = forNetwork ? m_networkStreamAddress : m_streamAddress;
    const TreeItem *item = m_model ? m_model->itemFromIndex(index) : nullptr;
    if (base.isEmpty() || !item || item->isRoot || item->hash.isEmpty())
        return QString();
    const TreeItem *download = m_model->isTopLevel(item) ? item : item->parentItem;
    // A magnet without its files yet, or an address still being fetched.
    if (!download || download->noData || download->temporary)
        return QString();
    const TreeItem *file = item;
    if (item == download && !download->children.isEmpty()) {
        file = nullptr;
        for (const TreeItem *child : download->children)
            if (child->playable && (!file || child->size > file->size))
                file = child;
        if (!file)
            return QString();
    }
    const int fileIndex = file->fileIndex < 0 ? 0 : file->fileIndex;
    // A download row's name is the torrent's; the core checks the file's.
    const QString name = file->filePath.isEmpty()
        ? file->name
        : QFileInfo(QDir::fromNativeSeparators(file->filePath)).fileName();
    return base + download->hash + QLatin1Char('/') + QString::number(fileIndex) + QLatin1Char('/')
        + QString::fromLatin1(QUrl::toPercentEncoding(name));
}
