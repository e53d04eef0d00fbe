#pragma once

#include <QByteArray>
#include <QSlider>

// The position slider with the file's pieces drawn in its groove: what is
// downloaded, brighter the stretch that plays on from the position without
// a wait, and the played part as usual. Without a piece map it is a plain
// slider.
class BufferSlider : public QSlider
{
    Q_OBJECT

public:
    explicit BufferSlider(QWidget *parent = nullptr);

    // One character per piece, '1' present. Repaints only when it changed.
    void setPieces(const QByteArray &pieces);
    QByteArray pieces() const { return m_pieces; }
    // Pieces present from the one under the position on, as a fraction of
    // the groove: [from, to).
    QPair<double, double> readyStretch() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QByteArray m_pieces;
};
