#include "statuscache.h"

#include "rowbuilder.h"

#include <algorithm>

namespace {
constexpr int headerFields = 12;
// The span a download rate is taken over: long enough to smooth the steps
// of one status a second, short enough to show a stall at once.
constexpr qint64 rateWindowMs = 3000;

QString flag(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}
}

StatusCache::StatusCache()
{
    m_clock.start();
}

void StatusCache::sample(Entry &entry, const lt::torrent_status &status) const
{
    // libtorrent's own rate counts blocks of pieces that later fail their
    // hash, and keeps its last small value when nothing is reported again.
    const qint64 good = qMax<qint64>(
        0, status.total_payload_download - status.total_failed_bytes - status.total_redundant_bytes);
    const qint64 now = m_clock.elapsed();
    // The counters start again when a download is resumed.
    if (!entry.samples.isEmpty() && good < entry.samples.last().good)
        entry.samples.clear();
    entry.samples.append({ now, good });
    // One sample at or before the window's start is all the past we need.
    while (entry.samples.size() > 2 && entry.samples.at(1).at <= now - rateWindowMs)
        entry.samples.removeFirst();
}

qint64 StatusCache::rate(const Entry &entry) const
{
    if (entry.samples.size() < 2)
        return 0;
    const qint64 now = m_clock.elapsed();
    // The count stays as last reported until libtorrent reports a change.
    const Sample *base = &entry.samples.first();
    for (const Sample &s : entry.samples) {
        if (s.at <= now - rateWindowMs)
            base = &s;
    }
    const qint64 bytes = entry.samples.last().good - base->good;
    return bytes * 1000 / qMax<qint64>(1000, now - base->at);
}

void StatusCache::fillFileGroup(Entry &entry, int file)
{
    const int first = entry.firstPieces.at(file);
    const int last = entry.lastPieces.at(file);
    const int count = last - first + 1;
    const int have = int(QStringView(entry.bits).mid(first, count).count(QLatin1Char('1')));
    const int at = headerFields + 4 * file;
    entry.row[at] = RowBuilder::progressText(double(have) / count);
    entry.row[at + 1] = flag(have == count);
}

void StatusCache::update(const QString &key, const lt::torrent_status &status, const QString &diskTrouble)
{
    Entry &entry = m_entries[key];
    std::shared_ptr<const lt::torrent_info> info = status.torrent_file.lock();
    if (!info)
        info = entry.info; // a status asked without the metadata keeps what we know
    const int pieceCount = info ? info->num_pieces() : 0;
    QString bits = RowBuilder::bitField(status, pieceCount);
    const int have = int(bits.count(QLatin1Char('1')));

    const bool newFiles = info != entry.info || entry.row.size() < headerFields;
    if (newFiles) {
        entry.info = info;
        entry.firstPieces.clear();
        entry.lastPieces.clear();
        entry.row = QStringList();
        entry.row.resize(headerFields);
        if (info) {
            const lt::file_storage &files = info->files();
            for (const lt::file_index_t file : RowBuilder::visibleFiles(files)) {
                entry.firstPieces.append(RowBuilder::firstPiece(files, file));
                entry.lastPieces.append(RowBuilder::lastPiece(files, file));
                entry.row << QString() << QString() << QString::number(entry.firstPieces.last())
                          << QString::number(entry.lastPieces.last());
            }
        }
    }

    QStringList &row = entry.row;
    row[0] = key;
    sample(entry, status);
    row[2] = QString::number(status.upload_payload_rate);
    row[3] = diskTrouble.isEmpty() ? RowBuilder::progressText(info ? double(have) / qMax(1, pieceCount) : 0.0)
                                   : diskTrouble;
    row[4] = QString::number(status.num_seeds);
    row[5] = QString::number(qMax(0, status.num_peers - status.num_seeds));
    row[6] = QString::number(diskTrouble.isEmpty() ? RowBuilder::stateCode(status) : 3);
    // Without metadata there are no pieces, and having all of none is not
    // being finished.
    row[7] = flag(info && pieceCount > 0 && have == pieceCount);
    row[9] = QString::number(pieceCount);
    row[10] = QString::number(info ? info->piece_length() : 0);
    row[11] = QString::number(status.all_time_upload);

    const int fileCount = int(entry.firstPieces.size());
    if (newFiles || entry.bits.size() != bits.size()) {
        entry.bits = bits;
        for (int file = 0; file < fileCount; ++file)
            fillFileGroup(entry, file);
    } else if (entry.bits != bits) {
        // Files lie in piece order: those touching a changed piece are a run
        // starting at the first whose last piece reaches it.
        QList<bool> dirty(fileCount, false);
        for (int piece = 0; piece < bits.size(); ++piece) {
            if (bits.at(piece) == entry.bits.at(piece))
                continue;
            auto it = std::lower_bound(entry.lastPieces.cbegin(), entry.lastPieces.cend(), piece);
            for (int file = int(it - entry.lastPieces.cbegin());
                 file < fileCount && entry.firstPieces.at(file) <= piece; ++file)
                dirty[file] = true;
        }
        entry.bits = bits;
        for (int file = 0; file < fileCount; ++file)
            if (dirty.at(file))
                fillFileGroup(entry, file);
    }
    row[8] = entry.bits;
}

void StatusCache::forget(const QString &key)
{
    m_entries.remove(key);
}

QList<QStringList> StatusCache::rows() const
{
    QList<QStringList> result;
    result.reserve(m_entries.size());
    for (const Entry &entry : m_entries) {
        result.append(entry.row);
        result.last()[1] = QString::number(rate(entry));
    }
    return result;
}
