#include "alertdispatcher.h"

#include "platform/logging.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <QMetaObject>

AlertDispatcher::AlertDispatcher(lt::session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
{
    m_session.set_alert_notify([this] {
        // Called on libtorrent's thread: only hand over, never touch the session.
        if (!m_scheduled.exchange(true))
            QMetaObject::invokeMethod(this, &AlertDispatcher::drain, Qt::QueuedConnection);
    });
}

AlertDispatcher::~AlertDispatcher()
{
    detach();
}

void AlertDispatcher::detach()
{
    if (!m_attached)
        return;
    m_attached = false;
    m_session.set_alert_notify([] {});
}

void AlertDispatcher::drain()
{
    m_scheduled = false;
    if (!m_attached)
        return;
    std::vector<lt::alert *> alerts;
    m_session.pop_alerts(&alerts);
    for (lt::alert *a : alerts) {
        if (auto *saved = lt::alert_cast<lt::save_resume_data_alert>(a)) {
            const std::vector<char> buffer = lt::write_resume_data_buf(saved->params);
            emit resumeDataReady(saved->handle, QByteArray(buffer.data(), qsizetype(buffer.size())));
        } else if (auto *failed = lt::alert_cast<lt::save_resume_data_failed_alert>(a)) {
            // "not modified" answers a periodic save with nothing to do.
            if (failed->error != lt::errors::resume_data_not_modified)
                qCWarning(lcCore).noquote()
                    << "resume data not saved:" << QString::fromStdString(failed->message());
            emit resumeDataFailed(failed->handle);
        } else if (auto *metadata = lt::alert_cast<lt::metadata_received_alert>(a)) {
            qCDebug(lcCore).noquote() << "metadata received:" << QString::fromStdString(metadata->message());
            emit metadataReceived(metadata->handle);
            emit stateChanged(metadata->handle);
        } else if (auto *piece = lt::alert_cast<lt::piece_finished_alert>(a)) {
            emit pieceFinished(piece->handle, static_cast<int>(piece->piece_index));
        } else if (auto *read = lt::alert_cast<lt::read_piece_alert>(a)) {
            emit pieceRead(read->handle, static_cast<int>(read->piece),
                read->error ? QByteArray() : QByteArray(read->buffer.get(), qsizetype(read->size)));
        } else if (auto *paused = lt::alert_cast<lt::torrent_paused_alert>(a)) {
            emit stateChanged(paused->handle);
        } else if (auto *resumed = lt::alert_cast<lt::torrent_resumed_alert>(a)) {
            emit stateChanged(resumed->handle);
        } else if (auto *finished = lt::alert_cast<lt::torrent_finished_alert>(a)) {
            emit stateChanged(finished->handle);
        } else if (auto *checked = lt::alert_cast<lt::torrent_checked_alert>(a)) {
            emit this->checked(checked->handle);
        } else if (auto *state = lt::alert_cast<lt::state_changed_alert>(a)) {
            if (state->prev_state == lt::torrent_status::checking_files
                || state->prev_state == lt::torrent_status::checking_resume_data)
                emit stateChanged(state->handle);
        } else if (auto *listen = lt::alert_cast<lt::listen_succeeded_alert>(a)) {
            qCInfo(lcCore).noquote() << QString::fromStdString(listen->message());
            emit listening(QString::fromStdString(listen->address.to_string()), listen->port);
        } else if (auto *update = lt::alert_cast<lt::state_update_alert>(a)) {
            emit statusUpdated(update->status);
        } else if (auto *file = lt::alert_cast<lt::file_error_alert>(a)) {
            qCWarning(lcCore).noquote() << QString::fromStdString(a->message());
            emit diskError(file->handle, file->error, QString::fromUtf8(file->filename()));
        } else if (auto *ban = lt::alert_cast<lt::peer_ban_alert>(a)) {
            emit peerBanned(ban->handle, ban->endpoint, ban->pid);
        } else if (auto *hashFailed = lt::alert_cast<lt::hash_failed_alert>(a)) {
            qCDebug(lcCore).noquote() << QString::fromStdString(hashFailed->message());
        } else if (lt::alert_cast<lt::listen_failed_alert>(a) || lt::alert_cast<lt::torrent_error_alert>(a)
            || lt::alert_cast<lt::torrent_delete_failed_alert>(a)
            || lt::alert_cast<lt::metadata_failed_alert>(a)) {
            qCWarning(lcCore).noquote() << QString::fromStdString(a->message());
        } else if (lt::alert_cast<lt::torrent_deleted_alert>(a)) {
            qCDebug(lcCore).noquote() << QString::fromStdString(a->message());
        }
    }
}
