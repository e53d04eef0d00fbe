#include "episodenavigator.h"

#include "downloads/treeitem.h"
#include "downloads/treemodel.h"
#include "player/episodeorder.h"
#include "player/streamingpolicy.h"
#include "player/windowchrome.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>

EpisodeNavigator::EpisodeNavigator(StreamingPolicy *policy, TreeModel *model,
    std::function<QString()> currentFile, WindowChrome *chrome, QAbstractButton *prev, QAbstractButton *next,
    QObject *parent)
    : QObject(parent)
    , m_policy(policy)
    , m_model(model)
    , m_currentFile(std::move(currentFile))
    , m_chrome(chrome)
    , m_prev(prev)
    , m_next(next)
{ }

QString EpisodeNavigator::episodeBeside(int step, int *fileRow) const
{
    if (m_policy->source() == StreamingPolicy::Source::TorrentFile) {
        // The files of the download being played; a single-file download has none beside.
        const TreeItem *playing = m_model->playingItem();
        const TreeItem *download = playing ? playing->parentItem : nullptr;
        if (!download || download == m_model->rootItem())
            return QString();
        QStringList paths;
        for (const TreeItem *file : download->children)
            if (file->playable)
                paths << file->filePath;
        const QString path = EpisodeOrder::neighbour(paths, playing->filePath, step);
        for (int row = 0; fileRow && !path.isEmpty() && row < download->childCount(); ++row)
            if (download->child(row)->filePath == path)
                *fileRow = row;
        return path;
    }
    if (m_policy->source() == StreamingPolicy::Source::PlainFile) {
        const QString current
            = QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(m_currentFile())).absoluteFilePath());
        return EpisodeOrder::neighbour(EpisodeOrder::videosBeside(current), current, step);
    }
    return QString();
}

void EpisodeNavigator::playEpisode(int step)
{
    int row = -1;
    const QString path = episodeBeside(step, &row);
    if (path.isEmpty())
        return;
    if (m_policy->source() == StreamingPolicy::Source::TorrentFile && row >= 0) {
        const TreeItem *download = m_model->playingItem()->parentItem;
        const QModelIndex parent = m_model->index(download->row(), 0);
        // As a double-click on the row: the core learns the file, streaming as usual.
        m_model->doubleClickSlot(m_model->index(row, 0, parent));
    } else {
        emit localFileWanted(path);
    }
}

void EpisodeNavigator::updateButtons()
{
    for (const auto &[button, step] : { std::pair { m_prev, -1 }, std::pair { m_next, 1 } }) {
        const bool available = !episodeBeside(step).isEmpty();
        button->setEnabled(available);
        m_chrome->setButtonImage(button, available ? 1 : 2, false);
    }
}
