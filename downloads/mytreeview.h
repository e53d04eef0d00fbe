#pragma once

#include <QModelIndex>
#include <QPoint>
#include <QTreeView>

class myDelegate;

// The downloads list view: turns mouse input into signals for the model.
class MyTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit MyTreeView(QWidget *parent = nullptr);

signals:
    void rightClicked(QModelIndexList selectIndexList);
    void mousePosition(bool validPos, QPoint pos, QModelIndex indexFromPos);
    void mousePosition(bool validPos, QPoint pos);
    void mousePosition(bool validPos);
    void myClicked(QModelIndex index);
    void myDoubleClicked(QModelIndex index);
    void myRightClicked();
    void parentItemRefresh(bool isExpanded);

public slots:
    void rightClickPre();
    void expandInfoSupportItem(QModelIndex index, bool expand);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    myDelegate *delegate;
};
