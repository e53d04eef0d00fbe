#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QStandardItem>
#include <QString>

// One node of the downloads tree: the root, a torrent or magnet row, a file
// row or a placeholder for a link being resolved. Only the base class's type
// is borrowed; none of its data or children are used.
//
// A plain record: the fields are public and the model keeps the tree's
// invariants (row order, ownership, the hash index).
class TreeItem : public QStandardItem
{
public:
    // The core's state of a download.
    enum TorrentState { Unknown = -1, Checking = 0, Downloading = 1, Seeding = 2, Paused = 3 };

    explicit TreeItem(TreeItem *parent);
    TreeItem(QString hash, QString name);
    ~TreeItem() override;

    TreeItem(const TreeItem &) = delete;
    TreeItem &operator=(const TreeItem &) = delete;

    // Null when row is negative or beyond the end.
    TreeItem *child(int row) const;
    int childCount() const;
    // Position within the parent's children; -1 for the root or when absent.
    int row() const;
    // Takes ownership; a null child is ignored.
    void appendChild(TreeItem *child);
    // Removes the first occurrence without deleting it.
    bool removeChild(TreeItem *child);
    TreeItem *parent() const;
    void setUrlItemId(const QString &id);

    bool isRoot = false;
    bool noData = false;
    bool playing = false;
    bool expanded = false;
    int fileIndex = -1;
    int torrentState = Unknown;
    QString name;
    QString hash;
    QString filePath;
    double size = 0;
    QString sizeText = QStringLiteral("0");
    QString savePath;
    bool playable = false;
    QString peersText;
    QString seedsText;
    QString progressText;
    double uploadRate = 0;
    double downloadRate = 0;
    QString uploadRateText;
    QString downloadRateText;
    QString finished = QStringLiteral("0");
    double uploaded = 0;
    QString uploadedText;
    QIcon nameIcon;
    QIcon stateIcon;
    QColor textColor = QColor(161, 161, 161);
    QList<TreeItem *> children;
    TreeItem *parentItem = nullptr;
    QString urlItemId;
    bool temporary = false;
};
