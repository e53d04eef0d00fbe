#include "filelisticons.h"

#include "treeitem.h"

#include <QResource>

// Resources compiled into a static library are only linked in when
// something refers to them.
static void initDownloadsResources()
{
    Q_INIT_RESOURCE(downloads);
}

filelisticons::filelisticons()
{
    initDownloadsResources();
    collapseIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/oxygen/list-remove.png"));
    expandIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/oxygen/list-add.png"));
    appIcon = QIcon(QStringLiteral("://new//prefix1//resource//icon//systray.png"));
    pauseSymbolIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/oxygen/media-playback-pause.png"));
    pausedIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/skin/paused.png"));
    downloadingIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/skin/download.png"));
    seedingIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/skin/seeding.png"));
    checkingIcon = QIcon(QStringLiteral(":/new/prefix1/Icons/skin/checking.png"));
}

const QIcon &filelisticons::stateIcon(int state) const
{
    switch (state) {
    case TreeItem::Checking:
        return checkingIcon;
    case TreeItem::Downloading:
        return downloadingIcon;
    case TreeItem::Seeding:
        return seedingIcon;
    case TreeItem::Paused:
        return pausedIcon;
    default:
        return noIcon;
    }
}
