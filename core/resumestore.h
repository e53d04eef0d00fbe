#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One file per download under the backup folder, holding libtorrent's resume
// data (with the metadata once it is known). Files are replaced atomically so
// that a core killed mid-write still finds the previous whole file.
class ResumeStore
{
public:
    explicit ResumeStore(const QString &folder);

    QString folder() const { return m_folder; }
    QString filePath(const QString &hash) const;

    bool save(const QString &hash, const QByteArray &data) const;
    void remove(const QString &hash) const;
    struct Entry
    {
        QString hash;
        QByteArray data;
    };
    // Every stored download, in a stable order.
    QList<Entry> loadAll() const;

    // Whether the files may lag behind the downloads: set while the core
    // runs, cleared once everything is saved for a quit. Still set at start,
    // the last core did not get to save (it was killed). Returns what it was.
    bool setMayBeStale(bool stale) const;

private:
    QString m_folder;
};
