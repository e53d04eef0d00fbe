#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <libtorrent/torrent_info.hpp>
#include <libtorrent/torrent_status.hpp>

#include <memory>

// The status rows of the downloads, kept between replies. libtorrent reports
// only the downloads whose status changed; of those, only the file groups
// whose pieces changed are built again, so a download of 100,000 idle files
// costs nothing per reply but sending its row.
class StatusCache
{
public:
    StatusCache();

    // diskTrouble, when set, replaces the progress text and shows the
    // download as stopped: it waits for the disk, not for peers.
    void update(const QString &key, const lt::torrent_status &status, const QString &diskTrouble = {});
    void forget(const QString &key);
    bool contains(const QString &key) const { return m_entries.contains(key); }
    // By key, as the player has always got them. The download rate is
    // what passed the hash check over the last seconds: 0 once nothing
    // comes, whether or not libtorrent reports the download again.
    QList<QStringList> rows() const;

private:
    struct Sample
    {
        qint64 at; // ms on m_clock
        qint64 good; // payload bytes received that did not fail
    };
    struct Entry
    {
        std::shared_ptr<const lt::torrent_info> info;
        QList<int> firstPieces; // per visible file
        QList<int> lastPieces;
        QString bits;
        QStringList row;
        QList<Sample> samples; // oldest first
    };
    static void fillFileGroup(Entry &entry, int file);
    void sample(Entry &entry, const lt::torrent_status &status) const;
    qint64 rate(const Entry &entry) const;

    QMap<QString, Entry> m_entries;
    QElapsedTimer m_clock;
};
