#include "sessionstatefile.h"

#include "platform/logging.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/session_handle.hpp>
#include <libtorrent/session_params.hpp>

#include <QFile>
#include <QSaveFile>

namespace {
// A node list is a few kilobytes; anything far larger is not ours.
constexpr qint64 maxStateBytes = 4 * 1024 * 1024;
}

SessionStateFile::SessionStateFile(const QString &path)
    : m_path(path)
{ }

lt::dht::dht_state SessionStateFile::load() const
{
    QFile file(m_path);
    if (!file.exists())
        return {};
    if (file.size() > maxStateBytes || !file.open(QIODevice::ReadOnly)) {
        qCWarning(lcCore).noquote() << "session state" << m_path << "not read: too large or unreadable";
        return {};
    }
    const QByteArray data = file.readAll();
    lt::error_code ec;
    const lt::bdecode_node root = lt::bdecode({ data.constData(), int(data.size()) }, ec);
    if (ec) {
        qCWarning(lcCore).noquote() << "session state" << m_path
                                    << "unreadable:" << QString::fromStdString(ec.message());
        return {};
    }
    const lt::session_params params = lt::read_session_params(root, lt::session_handle::save_dht_state);
    qCInfo(lcCore).noquote() << "session state: DHT nodes" << params.dht_state.nodes.size() << "IPv4,"
                             << params.dht_state.nodes6.size() << "IPv6";
    return params.dht_state;
}

bool SessionStateFile::save(const lt::dht::dht_state &state) const
{
    lt::session_params params;
    params.dht_state = state;
    const std::vector<char> buffer = lt::write_session_params_buf(params, lt::session_handle::save_dht_state);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()) || !file.commit()) {
        qCWarning(lcCore).noquote() << "could not write session state:" << file.errorString();
        return false;
    }
    return true;
}

lt::dht::dht_state SessionStateFile::merged(const lt::dht::dht_state &stored, const lt::dht::dht_state &live)
{
    lt::dht::dht_state result = stored;
    if (!live.nids.empty())
        result.nids = live.nids;
    if (!live.nodes.empty())
        result.nodes = live.nodes;
    if (!live.nodes6.empty())
        result.nodes6 = live.nodes6;
    return result;
}
