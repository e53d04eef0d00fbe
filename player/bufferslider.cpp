#include "bufferslider.h"

#include <QPainter>
#include <QStyleOptionSlider>

BufferSlider::BufferSlider(QWidget *parent)
    : QSlider(parent)
{ }

void BufferSlider::setPieces(const QByteArray &pieces)
{
    if (pieces == m_pieces)
        return;
    m_pieces = pieces;
    update();
}

QPair<double, double> BufferSlider::readyStretch() const
{
    const int count = int(m_pieces.size());
    const int span = maximum() - minimum();
    if (count == 0 || span <= 0)
        return { 0, 0 };
    const double at = double(value() - minimum()) / span;
    const int first = qBound(0, int(at * count), count - 1);
    int end = first;
    while (end < count && m_pieces.at(end) == '1')
        ++end;
    return { at, end == first ? at : double(end) / count };
}

void BufferSlider::paintEvent(QPaintEvent *event)
{
    if (m_pieces.isEmpty() || orientation() != Qt::Horizontal) {
        QSlider::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int height = 4;
    const QRectF bar(groove.left(), groove.center().y() - height / 2 + 1, groove.width(), height);
    const auto x = [&bar](double fraction) { return bar.left() + fraction * bar.width(); };

    QPainter painter(this);
    painter.fillRect(bar, QColor(40, 40, 40));
    // Runs of present pieces, one rectangle each.
    const int count = int(m_pieces.size());
    const QColor downloaded = isEnabled() ? QColor(105, 105, 105) : QColor(80, 80, 80);
    for (int piece = 0; piece < count;) {
        if (m_pieces.at(piece) != '1') {
            ++piece;
            continue;
        }
        const int start = piece;
        while (piece < count && m_pieces.at(piece) == '1')
            ++piece;
        painter.fillRect(QRectF(QPointF(x(double(start) / count), bar.top()),
                             QPointF(x(double(piece) / count), bar.bottom())),
            downloaded);
    }
    const auto [from, to] = readyStretch();
    if (to > from)
        painter.fillRect(
            QRectF(QPointF(x(from), bar.top()), QPointF(x(to), bar.bottom())), QColor(190, 190, 190));
    if (isEnabled()) {
        painter.fillRect(QRectF(QPointF(bar.left(), bar.top()), QPointF(handle.center().x(), bar.bottom())),
            QColor(80, 170, 230));
    }
    // The handle as the style draws it, over the map.
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
