#include "companionsubtitles.h"

#include "downloads/torrentpieces.h"
#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "platform/logging.h"
#include "player/vlcengine.h"
#include "protocol/subtitlecompanions.h"
#include "settings/preferences.h"

#include <QDir>

CompanionSubtitles::CompanionSubtitles(
    VlcEngine *engine, TreeModel *model, TorrentPieces *pieces, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_model(model)
    , m_pieces(pieces)
{
    // The status lists carry every file's pieces about once a second; a
    // finished piece of the played file may finish a subtitle that shares it.
    connect(m_pieces, &TorrentPieces::statusRefreshed, this, &CompanionSubtitles::check);
    connect(m_pieces, &TorrentPieces::pieceAdded, this, [this](const QString &hash) {
        if (hash == m_hash)
            check();
    });
}

void CompanionSubtitles::clear()
{
    m_hash.clear();
    m_videoPath.clear();
    m_pending.clear();
    m_loaded.clear();
    m_bestLoaded = -1;
}

void CompanionSubtitles::play(const QString &hash, int fileIndex, const QString &path)
{
    clear();
    const TreeItem *row = m_model->findItemByHash(hash);
    if (!row || row->childCount() == 0)
        return;
    QStringList files;
    for (const TreeItem *file : row->children) {
        if (file->fileIndex < 0)
            continue;
        if (files.size() <= file->fileIndex)
            files.resize(file->fileIndex + 1);
        files[file->fileIndex] = file->filePath;
    }
    const QList<SubtitleCompanions::Companion> companions
        = SubtitleCompanions::pick(files, fileIndex, Preferences().getSubtitleLanguage());
    if (companions.isEmpty())
        return;
    m_hash = hash;
    m_videoPath = QDir::toNativeSeparators(path);
    for (const SubtitleCompanions::Companion &companion : companions)
        m_pending.append({ files.at(companion.file), companion.parts, int(m_pending.size()) });
    check();
}

void CompanionSubtitles::check()
{
    // Until the engine holds the video, a subtitle would join the media before it.
    if (m_pending.isEmpty() || QDir::toNativeSeparators(m_engine->currentPath()) != m_videoPath)
        return;
    for (qsizetype i = 0; i < m_pending.size();) {
        const Pending &pending = m_pending.at(i);
        bool complete = true;
        for (const int part : pending.parts) {
            const PieceMap pieces = m_pieces->filePieces(m_hash, part);
            complete = complete && !pieces.isEmpty() && pieces.count() == pieces.size();
        }
        if (!complete) {
            ++i;
            continue;
        }
        // A better one than any shown takes over; the others are listed.
        const bool show = m_bestLoaded < 0 || pending.rank < m_bestLoaded;
        if (show)
            m_bestLoaded = pending.rank;
        qCDebug(lcPlayer).noquote() << "subtitle from the download:" << pending.path;
        m_engine->addSubtitle(pending.path, show);
        m_loaded.append(pending.path);
        emit subtitleLoaded(pending.path);
        m_pending.removeAt(i);
    }
}
