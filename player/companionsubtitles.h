#pragma once

#include <QList>
#include <QObject>
#include <QString>

class TreeModel;
class TorrentPieces;
class VlcEngine;

// Subtitle files that come with a download: while one of its videos plays,
// each of them joins the engine as soon as all its pieces are in. The one in
// the preferred language is shown unless the user chose a track for the file.
class CompanionSubtitles : public QObject
{
    Q_OBJECT

public:
    CompanionSubtitles(VlcEngine *engine, TreeModel *model, TorrentPieces *pieces, QObject *parent);

    // The file fileIndex of download hash plays from path.
    void play(const QString &hash, int fileIndex, const QString &path);
    // A file that is no download's plays, or nothing.
    void clear();
    // Paths handed to the engine for the playing file, in that order.
    QStringList loaded() const { return m_loaded; }

signals:
    void subtitleLoaded(QString path);

private:
    struct Pending
    {
        QString path;
        QList<int> parts;
        int rank = 0; // 0 is the preferred one
    };
    void check();

    VlcEngine *m_engine;
    TreeModel *m_model;
    TorrentPieces *m_pieces;
    QString m_hash;
    QString m_videoPath;
    QList<Pending> m_pending;
    QStringList m_loaded;
    int m_bestLoaded = -1; // rank of the best one shown so far; -1: none
};
