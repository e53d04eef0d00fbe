#include "mydelegate.h"

#include <QBrush>
#include <QPalette>

myDelegate::myDelegate(QObject *parent)
    : QItemDelegate(parent)
{ }

void myDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (foreground.isValid())
        opt.palette.setBrush(QPalette::All, QPalette::HighlightedText, foreground.value<QColor>());
    QItemDelegate::paint(painter, opt, index);
}
