#include "playstarter.h"

#include "platform/logging.h"
#include "settings/preferences.h"
#include "torrentpieces.h"
#include "treeitem.h"
#include "treemodel.h"

PlayStarter::PlayStarter(TreeModel *model, TorrentPieces *pieces)
    : QObject(model)
    , m_model(model)
    , m_pieces(pieces)
{
    connect(m_pieces, &TorrentPieces::statusRefreshed, this, &PlayStarter::refreshPlayingPieces);
    connect(m_pieces, &TorrentPieces::pieceAdded, this, [this](const QString &hash) {
        if (m_model->playingItem() && m_model->playingItem()->hash == hash)
            refreshPlayingPieces();
    });
}

void PlayStarter::refreshPlayingPieces()
{
    const TreeItem *playing = m_model->playingItem();
    if (!playing)
        return;
    const int index = playing->fileIndex == -1 ? 0 : playing->fileIndex;
    const PieceMap pieces = m_pieces->filePieces(playing->hash, index);
    if (!pieces.isEmpty())
        emit m_model->bitFieldRefresh(pieces.toText(), m_pieces->pieceLength(playing->hash));
}

QString PlayStarter::commentUrl(const QString &hash) const
{
    return Preferences().value(QStringLiteral("/comment_url/") + hash, QString()).toString();
}

void PlayStarter::setMarks(TreeItem *item, const QIcon &icon, const QColor &color, bool isPlaying)
{
    item->playing = isPlaying;
    item->nameIcon = icon;
    item->textColor = color;
    if (item->fileIndex >= 0 && item->parentItem && !item->parentItem->isRoot) {
        item->parentItem->playing = isPlaying;
        item->parentItem->textColor = color;
    }
}

void PlayStarter::clearPlayingMarks()
{
    if (TreeItem *playing = m_model->playingItem())
        setMarks(playing, m_model->icons().noIcon, m_model->icons().normalColor, false);
}

void PlayStarter::playIndex(const QModelIndex &index)
{
    if (!index.isValid()) {
        qCDebug(lcDownloads).noquote() << "invalid index->item, deny to play..";
        return;
    }
    TreeItem *item = m_model->itemFromIndex(index);
    if (!item)
        return;
    qCDebug(lcDownloads).noquote() << "DoubleClicked on" << item->name;
    playItem(item);
}

void PlayStarter::playItem(TreeItem *item)
{
    qCDebug(lcDownloads).noquote() << "Enter into the doubleClickSlot..";
    if (!item)
        return;
    const filelisticons &icons = m_model->icons();
    if (item->childCount() > 0) {
        item->expanded = !item->expanded;
        item->nameIcon = item->expanded ? icons.collapseIcon : icons.expandIcon;
        qCDebug(lcDownloads).noquote() << "finish reset the parent item.. and return";
        m_model->refreshModel();
        return;
    }
    if (!item->playable && !item->noData) {
        qCDebug(lcDownloads).noquote() << "this file is unable to play...";
        return;
    }
    emit m_model->stopPlay();
    clearPlayingMarks();
    setMarks(item, icons.appIcon, icons.activeColor, true);
    m_model->setPlayingItem(item);
    if (item->noData) {
        qCDebug(lcDownloads).noquote() << "still magnetUri, return here..";
        m_model->refreshModel();
        return;
    }
    qCDebug(lcDownloads).noquote() << "Check finished..play file name =" << item->name;
    qCDebug(lcDownloads).noquote() << "play file hash=" << item->hash;
    emit m_model->setCommentButton(commentUrl(item->hash));

    const QString hash = item->hash;
    const int index = item->fileIndex == -1 ? 0 : item->fileIndex;
    qCDebug(lcDownloads).noquote() << "emit torrent_play request..";
    emit m_model->sessionRequest(CoreProtocol::PlayingFile, QStringList { hash, QString::number(index) });
    const PieceCheck head = m_pieces->checkPieces(hash, index, 0);
    m_pieces->requestPieces(head, false);
    QString path = item->filePath;
    emit m_model->playFile(path, hash, index, head.ready, m_pieces->filePieces(hash, index).toText(),
        m_pieces->pieceLength(hash));
    m_model->refreshModel();
}

void PlayStarter::playHash(const QString &hash)
{
    qCDebug(lcDownloads).noquote() << "try to play file by given hash=" << (u'"' + hash + u'"');
    emit m_model->setCommentButton(commentUrl(hash));
    TreeItem *row = m_model->findItemByHash(hash);
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
        playItem(row->child(m_model->largestPlayableFile(row)));
        return;
    }
    playItem(row);
}

void PlayStarter::mediaButtonAction(MediaButton action)
{
    const filelisticons &icons = m_model->icons();
    TreeItem *playing = m_model->playingItem();
    switch (action) {
    case MediaButton::Stop:
        if (playing) {
            clearPlayingMarks();
            m_model->setPlayingItem(nullptr);
        } else {
            m_model->setClickedItem(nullptr);
        }
        break;
    case MediaButton::Pause:
        if (playing)
            setMarks(playing, icons.pauseSymbolIcon, icons.errorColor, true);
        break;
    case MediaButton::Play:
        if (playing) {
            setMarks(playing, icons.appIcon, icons.activeColor, true);
        } else if (TreeItem *clicked = m_model->clickedItem()) {
            // The play button plays a download, it does not fold its files
            // open: a torrent of several files plays its largest video.
            if (clicked->childCount() > 0)
                playHash(clicked->hash);
            else
                playItem(clicked);
        }
        break;
    }
    m_model->refreshModel();
}
