#include "rowbuilder.h"

#include "protocol/framereader.h"

#include <QDir>

namespace {
QString fromStd(const std::string &text)
{
    return QString::fromStdString(text);
}

QString flag(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}
}

QList<lt::file_index_t> RowBuilder::visibleFiles(const lt::file_storage &files)
{
    QList<lt::file_index_t> result;
    for (const lt::file_index_t file : files.file_range()) {
        if (!(files.file_flags(file) & lt::file_storage::flag_pad_file))
            result.append(file);
    }
    return result;
}

qint64 RowBuilder::visibleSize(const lt::file_storage &files)
{
    qint64 total = 0;
    for (const lt::file_index_t file : visibleFiles(files))
        total += files.file_size(file);
    return total;
}

int RowBuilder::firstPiece(const lt::file_storage &files, lt::file_index_t file)
{
    return static_cast<int>(files.map_file(file, 0, 0).piece);
}

int RowBuilder::lastPiece(const lt::file_storage &files, lt::file_index_t file)
{
    const std::int64_t size = files.file_size(file);
    if (size <= 0)
        return firstPiece(files, file);
    return static_cast<int>(files.map_file(file, size - 1, 1).piece);
}

QStringList RowBuilder::descriptionRow(
    const QString &hash, const lt::torrent_info &info, const QString &savePath, bool finished)
{
    const lt::file_storage &files = info.files();
    const QList<lt::file_index_t> visible = visibleFiles(files);
    // libtorrent keeps the files' own paths clean (no "." or ".."): only
    // the folder needs cleaning, once, not per file of a large torrent.
    const QString base = QDir::cleanPath(savePath);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');

    QStringList row { hash, fromStd(info.name()), QString::number(visibleSize(files)), savePath,
        flag(finished) };
    if (visible.size() == 1) {
        row.append(prefix + QDir::fromNativeSeparators(fromStd(files.file_path(visible.first()))));
        return row;
    }
    row.reserve(5 + 4 * visible.size());
    for (const lt::file_index_t file : visible) {
        const QString path = prefix + QDir::fromNativeSeparators(fromStd(files.file_path(file)));
        row.append(fromStd(std::string(files.file_name(file))));
        row.append(QString::number(files.file_size(file)));
        row.append(path.left(qMax(1, int(path.lastIndexOf(QLatin1Char('/'))))));
        row.append(path);
    }
    return row;
}

QString RowBuilder::bitField(const lt::torrent_status &status, int pieceCount)
{
    if (pieceCount <= 0)
        return QString();
    // A seed's piece list may be left empty; right after a piece completes the
    // list and the count can disagree for a moment.
    if (status.is_seeding)
        return QString(pieceCount, QLatin1Char('1'));
    QString bits(pieceCount, QLatin1Char('0'));
    const int known = qMin(pieceCount, status.pieces.size());
    for (int i = 0; i < known; ++i) {
        if (status.pieces.get_bit(lt::piece_index_t(i)))
            bits[i] = QLatin1Char('1');
    }
    return bits;
}

QString RowBuilder::progressText(double fraction)
{
    return QString::number(qBound(0.0, fraction, 1.0) * 100.0, 'f', 1) + QLatin1Char('%');
}

int RowBuilder::stateCode(const lt::torrent_status &status)
{
    if (status.flags & lt::torrent_flags::paused)
        return 3;
    switch (status.state) {
    case lt::torrent_status::checking_files:
    case lt::torrent_status::checking_resume_data:
        return 0;
    case lt::torrent_status::finished:
    case lt::torrent_status::seeding:
        return 2;
    default:
        return 1;
    }
}

qint64 RowBuilder::wireBytes(const QStringList &row)
{
    qint64 bytes = 4;
    for (const QString &field : row)
        bytes += 4 + 2 * qint64(field.size());
    return bytes;
}

qint64 RowBuilder::statusRowBound(const lt::torrent_info &info)
{
    const qint64 pieces = info.num_pieces();
    const qint64 digits = QString::number(pieces).size();
    const qint64 files = visibleFiles(info.files()).size();
    // 12 fields of at most 40 characters besides the bit field, then per
    // file a progress text, a flag and two piece numbers.
    return 4 + 12 * (4 + 2 * 40) + 2 * pieces + files * (4 * 4 + 2 * (6 + 1 + 2 * digits));
}

qint64 RowBuilder::maxFrameBytes()
{
    // A quarter of headroom for the frame's own bytes and future fields.
    return FrameReader::DefaultMaxFrameBytes / 4 * 3;
}

QList<QList<QStringList>> RowBuilder::batches(const QList<QStringList> &rows, qint64 frameBytes)
{
    QList<QList<QStringList>> result;
    QList<QStringList> current;
    qint64 used = 8; // type and row count
    for (const QStringList &row : rows) {
        const qint64 bytes = wireBytes(row);
        if (8 + bytes > frameBytes)
            continue;
        if (used + bytes > frameBytes) {
            result.append(current);
            current.clear();
            used = 8;
        }
        current.append(row);
        used += bytes;
    }
    if (!current.isEmpty() || result.isEmpty())
        result.append(current);
    return result;
}

bool RowBuilder::fitsReplies(const lt::torrent_info &info, const QString &savePath, QString *why)
{
    const qint64 limit = maxFrameBytes() - 8;
    const qint64 description
        = wireBytes(descriptionRow(QString(40, QLatin1Char('0')), info, savePath, false));
    const qint64 status = statusRowBound(info);
    if (description <= limit && status <= limit)
        return true;
    if (why)
        *why = QStringLiteral("too large to list: %1 files need %2 MiB in one reply, the most is %3 MiB")
                   .arg(info.files().num_files())
                   .arg(qMax(description, status) / (1024 * 1024))
                   .arg(limit / (1024 * 1024));
    return false;
}
