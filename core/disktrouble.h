#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <libtorrent/error_code.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

// Why a download stopped writing, until it writes again or the user pauses
// it; such downloads try again on their own.
class DiskTrouble : public QObject
{
    Q_OBJECT

public:
    // torrents: the session's downloads by key, read when retrying.
    explicit DiskTrouble(const QHash<QString, lt::torrent_handle> &torrents, QObject *parent = nullptr);

    // How often downloads stopped by a disk error try again.
    void setRetryInterval(int milliseconds);
    // A read or write of the download's files failed; file may be empty.
    void record(const QString &key, const lt::torrent_handle &handle, const lt::error_code &error,
        const QString &file);
    // What the row says instead of its progress; empty when nothing is wrong.
    QString reason(const QString &key, const lt::torrent_status &status) const;
    // Over (a piece was written) or no longer ours to retry (paused,
    // resumed, removed). True when there was trouble.
    bool clear(const QString &key);

private:
    void retry();

    const QHash<QString, lt::torrent_handle> &m_torrents;
    QHash<QString, QString> m_reasons;
    QTimer m_retry;
};
