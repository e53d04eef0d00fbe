#include "rowfiller.h"

#include "mediasuffixes.h"

#include "filelisticons.h"
#include "replyrow.h"
#include "treeitem.h"

#include <QDir>

#include <cmath>

namespace {

constexpr double KiB = 1024.0;
constexpr double MiB = 1024.0 * 1024.0;
constexpr double GiB = 1024.0 * 1024.0 * 1024.0;

QString formatted(double value, int digits, const char *unit)
{
    // Whole numbers print through the integer path, several times faster
    // than the general one and rounding the same way (half away from zero).
    if (digits == 0 && value >= 0 && value < 1e15)
        return QString::number(std::llround(value)) + QLatin1String(unit);
    return QString::number(value, 'f', digits) + QLatin1String(unit);
}

struct Unit
{
    double size;
    const char *name;
};

// x in the largest unit it is strictly above, else in bytes (no decimals).
QString scaled(double x, std::initializer_list<Unit> units, int digits, const char *bytes)
{
    for (const Unit &unit : units) {
        if (x > unit.size)
            return formatted(x / unit.size, digits, unit.name);
    }
    return formatted(x, 0, bytes);
}

// Most downloads of a long list are idle: their numbers, and so their texts,
// rarely change from one reply to the next.
void setNumber(double value, double &number, QString &text, QString (*format)(double))
{
    if (value != number || text.isEmpty()) {
        number = value;
        text = format(value);
    }
}

} // namespace

QString RowFiller::sizeFormat(double x)
{
    return scaled(x, { { GiB, "GB" }, { MiB, "MB" }, { KiB, "KB" } }, 0, "B");
}

QString RowFiller::rateFormat(double x)
{
    return scaled(x, { { MiB, "M/s" }, { KiB, "K/s" } }, 0, "B/s");
}

QString RowFiller::shortFormat(double x)
{
    return scaled(x, { { GiB, "G" }, { MiB, "M" }, { KiB, "K" } }, 1, "B");
}

void RowFiller::clearRates(TreeItem *item)
{
    item->downloadRate = item->uploadRate = 0;
    item->downloadRateText = item->uploadRateText = rateFormat(0);
}

bool RowFiller::isPlayable(const QString &path)
{
    return MediaSuffixes::isPlayable(path);
}

TreeItem *RowFiller::fileItem(const QString &hash, const QStringList &row, int fileIndex)
{
    const ReplyRow fields(row);
    auto *file = new TreeItem(hash, fields.fileName(fileIndex));
    file->size = fields.fileSize(fileIndex);
    file->sizeText = sizeFormat(file->size);
    file->savePath = QDir::toNativeSeparators(fields.fileDirectory(fileIndex));
    file->filePath = QDir::toNativeSeparators(fields.filePath(fileIndex));
    file->fileIndex = fileIndex;
    file->playable = isPlayable(file->filePath);
    return file;
}

void RowFiller::applyStatus(TreeItem *item, const ReplyRow &fields, const filelisticons &icons)
{
    setNumber(fields.downloadRate(), item->downloadRate, item->downloadRateText, &rateFormat);
    setNumber(fields.uploadRate(), item->uploadRate, item->uploadRateText, &rateFormat);
    item->progressText = fields.progress();
    item->seedsText = fields.seeds();
    item->peersText = fields.peers();
    int state = fields.state();
    if (state < TreeItem::Checking || state > TreeItem::Paused)
        state = TreeItem::Unknown;
    if (state != item->torrentState) {
        item->torrentState = state;
        item->stateIcon = icons.stateIcon(state);
    }
    item->finished = fields.statusFinished();
    setNumber(fields.uploaded(), item->uploaded, item->uploadedText, &shortFormat);

    const int files = qMin(fields.fileStatusCount(), item->childCount());
    for (int i = 0; i < files; ++i) {
        TreeItem *file = item->children.at(i);
        file->progressText = fields.fileProgress(i);
        file->finished = fields.fileFinished(i);
    }
}
