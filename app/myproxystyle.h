#pragma once

#include <QProxyStyle>

// Lets any mouse button move a slider straight to the clicked point.
class MyProxyStyle : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
        QStyleHintReturn *returnData = nullptr) const override;
};
