#pragma once

#include <QByteArray>
#include <QObject>

#include <libtorrent/fwd.hpp>
#include <libtorrent/peer_id.hpp>
#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <vector>

#include <atomic>

// Every libtorrent alert passes through drain(): popped in batches on the Qt
// thread and turned into plain signals, so that no other class needs to know
// alert types. libtorrent only tells us that alerts wait, from its own thread.
class AlertDispatcher : public QObject
{
    Q_OBJECT

public:
    explicit AlertDispatcher(lt::session &session, QObject *parent = nullptr);
    ~AlertDispatcher() override;

    // Stop hearing from libtorrent; call before the session goes.
    void detach();

public slots:
    void drain();

signals:
    void resumeDataReady(const lt::torrent_handle &handle, const QByteArray &data);
    void resumeDataFailed(const lt::torrent_handle &handle);
    void metadataReceived(const lt::torrent_handle &handle);
    void pieceFinished(const lt::torrent_handle &handle, int piece);
    // The bytes of a piece asked for with read_piece(); empty on failure.
    void pieceRead(const lt::torrent_handle &handle, int piece, const QByteArray &data);
    // Paused, resumed, finished, checked: worth saving resume data.
    void stateChanged(const lt::torrent_handle &handle);
    // Files checked: the piece picker starts afresh from here.
    void checked(const lt::torrent_handle &handle);
    void listening(const QString &address, int port);
    // The downloads whose status changed since the last post_torrent_updates().
    void statusUpdated(const std::vector<lt::torrent_status> &statuses);
    // libtorrent banned a peer (for data that failed the hash check).
    void peerBanned(const lt::torrent_handle &handle, const lt::tcp::endpoint &peer, const lt::peer_id &id);
    // A read or write of a download's files failed; file may be empty.
    void diskError(const lt::torrent_handle &handle, const lt::error_code &error, const QString &file);

private:
    lt::session &m_session;
    std::atomic_bool m_scheduled { false };
    bool m_attached = true;
};
