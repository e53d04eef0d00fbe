#include "statuscache.h"

#include "rowbuilder.h"

#include <algorithm>

namespace {
constexpr int headerFields = 12;

QString flag(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}
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
    row[1] = QString::number(status.download_payload_rate);
    row[2] = QString::number(status.upload_payload_rate);
    row[3] = diskTrouble.isEmpty() ? RowBuilder::progressText(info ? double(have) / qMax(1, pieceCount) : 0.0)
                                   : diskTrouble;
    row[4] = QString::number(status.num_seeds);
    row[5] = QString::number(qMax(0, status.num_peers - status.num_seeds));
    row[6] = QString::number(diskTrouble.isEmpty() ? RowBuilder::stateCode(status) : 3);
    row[7] = flag(info && have == pieceCount);
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
    for (const Entry &entry : m_entries)
        result.append(entry.row);
    return result;
}
