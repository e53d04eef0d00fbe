#include "disktrouble.h"

#include "platform/logging.h"

#include <QDir>
#include <QFileInfo>

namespace {
constexpr int diskRetryMs = 30000;
}

DiskTrouble::DiskTrouble(const QHash<QString, lt::torrent_handle> &torrents, QObject *parent)
    : QObject(parent)
    , m_torrents(torrents)
{
    m_retry.setInterval(diskRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &DiskTrouble::retry);
    m_retry.start();
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
    if (error == boost::system::errc::no_space_on_device || error == boost::system::errc::file_too_large)
        why = QStringLiteral("disk full");
    else if (error == boost::system::errc::permission_denied
        || error == boost::system::errc::operation_not_permitted
        || error == boost::system::errc::read_only_file_system)
        why = QStringLiteral("permission denied");
    else
        why = QString::fromStdString(error.message());
    m_reasons.insert(key, why + QStringLiteral(": ") + QDir::toNativeSeparators(folder));
}

QString DiskTrouble::reason(const QString &key, const lt::torrent_status &status) const
{
    // Shown until a piece is written again: a retry alone proves nothing.
    if (status.is_seeding)
        return QString();
    return m_reasons.value(key);
}

bool DiskTrouble::clear(const QString &key)
{
    return m_reasons.remove(key);
}

void DiskTrouble::retry()
{
    for (auto it = m_reasons.cbegin(); it != m_reasons.cend(); ++it) {
        const lt::torrent_handle h = m_torrents.value(it.key());
        if (!h.is_valid())
            continue;
        qCInfo(lcCore).noquote() << "trying to write again after" << *it << "for" << it.key();
        const lt::torrent_status status = h.status({});
        if (status.errc) {
            h.clear_error();
            h.resume();
        }
        h.unset_flags(lt::torrent_flags::upload_mode);
    }
}
