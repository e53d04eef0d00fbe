#pragma once

#include <QColor>
#include <QIcon>

// The icons and colours of the downloads list, loaded from the resources.
class filelisticons
{
public:
    filelisticons();

    QIcon collapseIcon;
    QIcon expandIcon;
    QIcon appIcon;
    QIcon pauseSymbolIcon;
    QIcon pausedIcon;
    QIcon downloadingIcon;
    QIcon seedingIcon;
    QIcon checkingIcon;
    QIcon noIcon;
    QColor errorColor = QColor(255, 0, 0);
    QColor normalColor = QColor(161, 161, 161);
    QColor activeColor = QColor(173, 255, 37);

    // The icon of a core state code, or noIcon for a code outside 0..3.
    const QIcon &stateIcon(int state) const;
};
