// Draws the player's button strips: four frames side by side (on, normal,
// inactive, hovered) of one dark skin. Run it to regenerate the PNG files:
//   drawskins <folder>
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

using Glyph = std::function<void(QPainter &, const QRectF &)>;

const QColor frameColours[4]
    = { QColor(96, 190, 255), QColor(200, 200, 200), QColor(105, 105, 105), QColor(255, 255, 255) };

void drawStrip(const QString &file, QSize frame, const Glyph &glyph, bool round)
{
    QImage strip(frame.width() * 4, frame.height(), QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 4; ++i) {
        const QRectF cell(i * frame.width(), 0, frame.width(), frame.height());
        const QRectF inner = cell.adjusted(1.5, 1.5, -1.5, -1.5);
        // Background plate: pressed/on and hovered frames light up.
        if (i == 0 || i == 3) {
            QLinearGradient plate(inner.topLeft(), inner.bottomLeft());
            plate.setColorAt(0, i == 0 ? QColor(30, 60, 85) : QColor(95, 95, 95));
            plate.setColorAt(1, i == 0 ? QColor(20, 40, 60) : QColor(70, 70, 70));
            p.setPen(QPen(i == 0 ? QColor(70, 150, 210) : QColor(120, 120, 120), 1));
            p.setBrush(plate);
            if (round)
                p.drawEllipse(inner);
            else
                p.drawRoundedRect(inner, 3, 3);
        } else if (round) {
            QLinearGradient plate(inner.topLeft(), inner.bottomLeft());
            plate.setColorAt(0, QColor(88, 88, 88));
            plate.setColorAt(1, QColor(52, 52, 52));
            p.setPen(QPen(QColor(38, 38, 38), 1));
            p.setBrush(plate);
            p.drawEllipse(inner);
        }
        p.save();
        p.setPen(QPen(
            frameColours[i], qMax(1.4, frame.height() / 16.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(frameColours[i]);
        glyph(p, cell);
        p.restore();
    }
    p.end();
    strip.save(file);
}

QPointF at(const QRectF &r, double x, double y)
{
    return QPointF(r.left() + r.width() * x, r.top() + r.height() * y);
}

void polygon(QPainter &p, const QRectF &r, std::initializer_list<std::pair<double, double>> points)
{
    QPolygonF shape;
    for (const auto &[x, y] : points)
        shape << at(r, x, y);
    p.drawPolygon(shape);
}

void line(QPainter &p, const QRectF &r, double x1, double y1, double x2, double y2)
{
    p.drawLine(at(r, x1, y1), at(r, x2, y2));
}

QRectF box(const QRectF &r, double x1, double y1, double x2, double y2)
{
    return QRectF(at(r, x1, y1), at(r, x2, y2));
}

void speaker(QPainter &p, const QRectF &r)
{
    polygon(p, r,
        { { 0.15, 0.38 }, { 0.32, 0.38 }, { 0.52, 0.2 }, { 0.52, 0.8 }, { 0.32, 0.62 }, { 0.15, 0.62 } });
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    const auto out = [&](const char *name) { return dir + QLatin1Char('/') + QLatin1String(name); };

    const QSize caption(28, 22), big(40, 40), mid(32, 32), small(24, 24), tool(28, 28), tiny(16, 16);

    drawStrip(
        out("PlayerBarBtnPlay.png"), big,
        [](QPainter &p, const QRectF &r) {
            polygon(p, r, { { 0.4, 0.3 }, { 0.72, 0.5 }, { 0.4, 0.7 } });
        },
        true);
    drawStrip(
        out("PlayerBarBtnPauseMini.png"), big,
        [](QPainter &p, const QRectF &r) {
            p.drawRoundedRect(box(r, 0.36, 0.3, 0.45, 0.7), 1, 1);
            p.drawRoundedRect(box(r, 0.55, 0.3, 0.64, 0.7), 1, 1);
        },
        true);
    drawStrip(
        out("PlayerBarBtnStop.png"), mid,
        [](QPainter &p, const QRectF &r) { p.drawRoundedRect(box(r, 0.33, 0.33, 0.67, 0.67), 1.5, 1.5); },
        false);
    drawStrip(
        out("PlayerBarBtnPre.png"), mid,
        [](QPainter &p, const QRectF &r) {
            p.drawRect(box(r, 0.25, 0.32, 0.3, 0.68));
            polygon(p, r, { { 0.5, 0.32 }, { 0.32, 0.5 }, { 0.5, 0.68 } });
            polygon(p, r, { { 0.72, 0.32 }, { 0.54, 0.5 }, { 0.72, 0.68 } });
        },
        false);
    drawStrip(
        out("PlayerBarBtnNext.png"), mid,
        [](QPainter &p, const QRectF &r) {
            polygon(p, r, { { 0.28, 0.32 }, { 0.46, 0.5 }, { 0.28, 0.68 } });
            polygon(p, r, { { 0.5, 0.32 }, { 0.68, 0.5 }, { 0.5, 0.68 } });
            p.drawRect(box(r, 0.7, 0.32, 0.75, 0.68));
        },
        false);
    // Shown while the sound is on: the speaker with its waves.
    drawStrip(
        out("PlayerBarBtnVolMute.png"), small,
        [](QPainter &p, const QRectF &r) {
            speaker(p, r);
            p.setBrush(Qt::NoBrush);
            p.drawArc(box(r, 0.45, 0.35, 0.7, 0.65), -50 * 16, 100 * 16);
            p.drawArc(box(r, 0.45, 0.22, 0.85, 0.78), -50 * 16, 100 * 16);
        },
        false);
    // Shown while muted: the speaker crossed out.
    drawStrip(
        out("PlayerBarBtnVolume.png"), small,
        [](QPainter &p, const QRectF &r) {
            speaker(p, r);
            line(p, r, 0.62, 0.38, 0.84, 0.62);
            line(p, r, 0.84, 0.38, 0.62, 0.62);
        },
        false);
    drawStrip(
        out("PlayerBarBtnMax.png"), caption,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            p.drawRect(box(r, 0.32, 0.27, 0.68, 0.73));
        },
        false);
    drawStrip(
        out("CaptionNormalBtn.png"), caption,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            p.drawRect(box(r, 0.3, 0.38, 0.6, 0.76));
            line(p, r, 0.4, 0.26, 0.7, 0.26);
            line(p, r, 0.7, 0.26, 0.7, 0.62);
        },
        false);
    drawStrip(
        out("CaptionCloseBtn.png"), caption,
        [](QPainter &p, const QRectF &r) {
            line(p, r, 0.36, 0.28, 0.64, 0.72);
            line(p, r, 0.64, 0.28, 0.36, 0.72);
        },
        false);
    drawStrip(
        out("CaptionMinBtn.png"), caption,
        [](QPainter &p, const QRectF &r) { line(p, r, 0.34, 0.66, 0.66, 0.66); }, false);
    drawStrip(
        out("CaptionMenuBtn.png"), caption,
        [](QPainter &p, const QRectF &r) {
            line(p, r, 0.33, 0.32, 0.67, 0.32);
            line(p, r, 0.33, 0.5, 0.67, 0.5);
            line(p, r, 0.33, 0.68, 0.67, 0.68);
        },
        false);
    drawStrip(
        out("feedback.png"), caption,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(box(r, 0.28, 0.28, 0.72, 0.72), 1, 1);
            p.drawPolyline(QPolygonF { at(r, 0.28, 0.3), at(r, 0.5, 0.52), at(r, 0.72, 0.3) });
        },
        false);
    drawStrip(
        out("fullButton.png"), tool,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            for (const auto &[x, y, dx, dy] : { std::tuple { 0.25, 0.25, 1, 1 }, { 0.75, 0.25, -1, 1 },
                     { 0.25, 0.75, 1, -1 }, { 0.75, 0.75, -1, -1 } }) {
                line(p, r, x, y, x + 0.17 * dx, y);
                line(p, r, x, y, x, y + 0.17 * dy);
            }
        },
        false);
    drawStrip(
        out("restoreButton.png"), tool,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            for (const auto &[x, y, dx, dy] : { std::tuple { 0.42, 0.42, -1, -1 }, { 0.58, 0.42, 1, -1 },
                     { 0.42, 0.58, -1, 1 }, { 0.58, 0.58, 1, 1 } }) {
                line(p, r, x, y, x + 0.17 * dx, y);
                line(p, r, x, y, x, y + 0.17 * dy);
            }
        },
        false);
    drawStrip(
        out("PlayerBarBtnComment.png"), tool,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            QPainterPath bubble;
            bubble.addRoundedRect(box(r, 0.22, 0.26, 0.78, 0.62), 3, 3);
            p.drawPath(bubble);
            p.drawPolyline(QPolygonF { at(r, 0.36, 0.62), at(r, 0.32, 0.76), at(r, 0.48, 0.62) });
        },
        false);
    drawStrip(
        out("PlayerBarOpenFile.png"), tool,
        [](QPainter &p, const QRectF &r) {
            polygon(p, r, { { 0.28, 0.52 }, { 0.5, 0.28 }, { 0.72, 0.52 } });
            p.drawRect(box(r, 0.28, 0.62, 0.72, 0.7));
        },
        false);
    drawStrip(
        out("PlayerBarBtnPlayList.png"), tool,
        [](QPainter &p, const QRectF &r) {
            for (double y : { 0.32, 0.5, 0.68 }) {
                p.drawEllipse(at(r, 0.28, y), 1.2, 1.2);
                line(p, r, 0.38, y, 0.74, y);
            }
        },
        false);
    drawStrip(
        out("capButton.png"), tool,
        [](QPainter &p, const QRectF &r) {
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(box(r, 0.22, 0.34, 0.78, 0.72), 2, 2);
            p.drawRect(box(r, 0.4, 0.26, 0.6, 0.34));
            p.drawEllipse(box(r, 0.4, 0.42, 0.6, 0.64));
        },
        false);
    drawStrip(
        out("speedButton.png"), tiny,
        [](QPainter &p, const QRectF &r) {
            polygon(p, r, { { 0.2, 0.25 }, { 0.5, 0.5 }, { 0.2, 0.75 } });
            polygon(p, r, { { 0.5, 0.25 }, { 0.8, 0.5 }, { 0.5, 0.75 } });
        },
        false);
    drawStrip(
        out("backwardButton.png"), tiny,
        [](QPainter &p, const QRectF &r) {
            polygon(p, r, { { 0.8, 0.25 }, { 0.5, 0.5 }, { 0.8, 0.75 } });
            polygon(p, r, { { 0.5, 0.25 }, { 0.2, 0.5 }, { 0.5, 0.75 } });
        },
        false);

    // The centre logo shown while nothing plays, and the program icon.
    QImage logo(821, 487, QImage::Format_ARGB32_Premultiplied);
    logo.fill(Qt::transparent);
    {
        QPainter p(&logo);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(410, 210);
        QRadialGradient glow(centre, 120);
        glow.setColorAt(0, QColor(96, 190, 255, 90));
        glow.setColorAt(1, QColor(96, 190, 255, 0));
        p.setBrush(glow);
        p.setPen(Qt::NoPen);
        p.drawEllipse(centre, 120, 120);
        p.setPen(QPen(QColor(96, 190, 255), 5));
        p.setBrush(QColor(30, 30, 30));
        p.drawEllipse(centre, 70, 70);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 230, 230));
        p.drawPolygon(
            QPolygonF { centre + QPointF(-22, -36), centre + QPointF(40, 0), centre + QPointF(-22, 36) });
        QFont font;
        font.setPixelSize(34);
        font.setWeight(QFont::DemiBold);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
        p.setFont(font);
        p.setPen(QColor(200, 200, 200));
        p.drawText(QRectF(0, 300, 821, 50), Qt::AlignCenter, QStringLiteral("MORVANE"));
    }
    logo.save(out("centrelogo.png"));
    QImage icon(64, 64, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(96, 190, 255), 4));
        p.setBrush(QColor(30, 30, 30));
        p.drawEllipse(QRectF(4, 4, 56, 56));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(230, 230, 230));
        p.drawPolygon(QPolygonF { QPointF(25, 18), QPointF(47, 32), QPointF(25, 46) });
    }
    icon.save(out("morvane.png"));
    return 0;
}
