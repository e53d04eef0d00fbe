#pragma once

#include <QItemDelegate>

// Keeps a row's own text colour when the row is selected.
class myDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    explicit myDelegate(QObject *parent = nullptr);

    void paint(
        QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
