#include "disktrouble.h"

#include "platform/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <cerrno>

namespace {
constexpr int diskRetryMs = 30000;
constexpr int roomCheckMs = 1000;
// Room enough to try again: a couple of pieces, so that the first write
// does not fill it at once.
constexpr qint64 minRoomBytes = 1024 * 1024;
}

DiskTrouble::DiskTrouble(const QHash<QString, lt::torrent_handle> &torrents, QObject *parent)
    : QObject(parent)
    , m_torrents(torrents)
{
    m_retry.setInterval(diskRetryMs);
    connect(&m_retry, &QTimer::timeout, this, qOverload<>(&DiskTrouble::retry));
    m_retry.start();
    m_roomCheck.setInterval(roomCheckMs);
    connect(&m_roomCheck, &QTimer::timeout, this, &DiskTrouble::watchRoom);
}

void DiskTrouble::setRetryInterval(int milliseconds)
{
    m_retry.setInterval(milliseconds);
}

void DiskTrouble::record(
    const QString &key, const lt::torrent_handle &h, const lt::error_code &error, const QString &file)
{
    QString folder = QFileInfo(file).path();
    if (file.isEmpty() || folder == QLatin1String("."))
        folder = QString::fromStdString(h.status(lt::torrent_handle::query_save_path).save_path);
    QString why;
    const bool full = isDiskFull(error);
    if (full)
        why = QStringLiteral("disk full");
    else if (error == boost::system::errc::permission_denied
        || error == boost::system::errc::operation_not_permitted
        || error == boost::system::errc::read_only_file_system)
        why = QStringLiteral("permission denied");
    else
        why = QString::fromStdString(error.message());
    m_troubles.insert(key, { why + QStringLiteral(": ") + QDir::toNativeSeparators(folder), folder, full });
    if (full)
        m_roomCheck.start();
}

bool DiskTrouble::isDiskFull(const lt::error_code &error)
{
    const bool system = error.category() == boost::system::system_category()
        || error.category() == boost::system::generic_category();
    // Memory-mapped writes that find no room surface as EFAULT.
    return system
        && (error.value() == ENOSPC || error.value() == EDQUOT || error.value() == EFBIG
            || error.value() == EFAULT);
}

QString DiskTrouble::reason(const QString &key, const lt::torrent_status &status) const
{
    // Shown until a piece is written again: a retry alone proves nothing.
    if (status.is_seeding)
        return QString();
    return m_troubles.value(key).reason;
}

bool DiskTrouble::clear(const QString &key)
{
    return m_troubles.remove(key);
}

void DiskTrouble::retry()
{
    for (auto it = m_troubles.cbegin(); it != m_troubles.cend(); ++it)
        retry(it.key(), it.value());
}

void DiskTrouble::retry(const QString &key, const Trouble &trouble)
{
    const lt::torrent_handle h = m_torrents.value(key);
    if (!h.is_valid())
        return;
    qCInfo(lcCore).noquote() << "trying to write again after" << trouble.reason << "for" << key;
    const lt::torrent_status status = h.status({});
    if (status.errc) {
        h.clear_error();
        h.resume();
    }
    h.unset_flags(lt::torrent_flags::upload_mode);
}

void DiskTrouble::watchRoom()
{
    for (auto it = m_troubles.cbegin(); it != m_troubles.cend(); ++it) {
        if (!it->full)
            continue;
        const QStorageInfo disk(it->folder);
        const lt::torrent_handle h = m_torrents.value(it.key());
        const std::shared_ptr<const lt::torrent_info> info = h.is_valid() ? h.torrent_file() : nullptr;
        const qint64 room = qMax(minRoomBytes, info ? 2 * qint64(info->piece_length()) : 0);
        if (disk.isValid() && disk.bytesAvailable() >= room)
            retry(it.key(), it.value());
    }
    // A retried download stays listed until a piece is written.
    if (std::none_of(m_troubles.cbegin(), m_troubles.cend(), [](const Trouble &t) { return t.full; }))
        m_roomCheck.stop();
}
