#include "treeitem.h"

TreeItem::TreeItem(TreeItem *parent)
    : parentItem(parent)
{ }

TreeItem::TreeItem(QString hash_, QString name_)
    : name(std::move(name_))
    , hash(std::move(hash_))
{ }

TreeItem::~TreeItem()
{
    qDeleteAll(children);
}

TreeItem *TreeItem::child(int row) const
{
    if (row < 0 || row >= children.size())
        return nullptr;
    return children.at(row);
}

int TreeItem::childCount() const
{
    return int(children.size());
}

int TreeItem::row() const
{
    if (!parentItem)
        return -1;
    return int(parentItem->children.indexOf(const_cast<TreeItem *>(this)));
}

void TreeItem::appendChild(TreeItem *child)
{
    if (!child)
        return;
    child->parentItem = this;
    children.append(child);
}

bool TreeItem::removeChild(TreeItem *child)
{
    return children.removeOne(child);
}

TreeItem *TreeItem::parent() const
{
    return parentItem;
}

void TreeItem::setUrlItemId(const QString &id)
{
    urlItemId = id;
}
