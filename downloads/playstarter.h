#pragma once

#include <QColor>
#include <QIcon>
#include <QModelIndex>
#include <QObject>

class TreeItem;
class TreeModel;
class TorrentPieces;

// What the player's buttons report to the list.
enum class MediaButton { Stop = 0, Pause = 1, Play = 2 };

// Plays a row of the downloads list: marks it, tells the core which file
// plays, asks for its first pieces and hands the file to the player through
// the model's signals. The list only holds the rows.
class PlayStarter : public QObject
{
    Q_OBJECT

public:
    PlayStarter(TreeModel *model, TorrentPieces *pieces);

    void playIndex(const QModelIndex &index);
    // The single entry that starts playback; a torrent row with files folds
    // open or shut instead.
    void playItem(TreeItem *item);
    // A torrent of several files plays its largest playable file.
    void playHash(const QString &hash);
    void mediaButtonAction(MediaButton action);
    void clearPlayingMarks();

private:
    // The playing file's pieces as the list's text signal.
    void refreshPlayingPieces();
    void setMarks(TreeItem *item, const QIcon &icon, const QColor &color, bool playing);
    QString commentUrl(const QString &hash) const;

    TreeModel *m_model;
    TorrentPieces *m_pieces;
};
