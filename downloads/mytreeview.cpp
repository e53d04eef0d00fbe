#include "mytreeview.h"

#include "mydelegate.h"
#include "platform/logging.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSet>

MyTreeView::MyTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setMouseTracking(true);
    header()->hide();
    setExpandsOnDoubleClick(true);
    QFont f = font();
    f.setPointSize(12);
    setFont(f);
    delegate = new myDelegate(this);
    setItemDelegate(delegate);
    setIndentation(5);
    // Several downloads can be paused, started or removed at once.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &MyTreeView::myRightClicked, this, &MyTreeView::rightClickPre);
}

void MyTreeView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    emit mousePosition(true, pos, index.siblingAtColumn(0));
    QTreeView::mouseMoveEvent(event);
}

void MyTreeView::leaveEvent(QEvent *event)
{
    emit mousePosition(false, QPoint(0, 0), QModelIndex());
    QTreeView::leaveEvent(event);
}

void MyTreeView::mousePressEvent(QMouseEvent *event)
{
    // The base class makes the index under the mouse current and keeps a
    // selection that is right-clicked.
    QTreeView::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    // A click beside the rows lets go of them, so that the menu offers only
    // adding and never acts on rows the user may no longer see.
    if (!index.isValid())
        clearSelection();
    if (event->button() == Qt::LeftButton)
        emit myClicked(index);
    else if (event->button() == Qt::RightButton)
        emit myRightClicked();
}

void MyTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Not passed on: the base class would toggle the row a second time.
    const QModelIndex index = indexAt(event->position().toPoint()).siblingAtColumn(0);
    if (isExpanded(index))
        collapse(index);
    else
        expand(index);
    emit myDoubleClicked(index);
}

void MyTreeView::rightClickPre()
{
    QModelIndexList list;
    QSet<QPair<int, QModelIndex>> seen;
    const QModelIndexList selected
        = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    for (const QModelIndex &index : selected) {
        // One index per row; a file row and its torrent are different rows.
        const auto key = qMakePair(index.row(), index.parent());
        if (seen.contains(key))
            continue;
        seen.insert(key);
        list.append(index);
    }
    emit rightClicked(list);
}

void MyTreeView::expandInfoSupportItem(QModelIndex index, bool expand)
{
    if (expand) {
        qCDebug(lcDownloads).noquote() << "catched expand item signal..";
        QTreeView::expand(index);
    } else {
        qCDebug(lcDownloads).noquote() << "catched collapse item signal..";
        QTreeView::collapse(index);
    }
}
