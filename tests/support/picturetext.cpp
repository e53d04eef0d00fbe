#include "picturetext.h"

QRect PictureText::lowerThird(const QImage &image, const QRect &picture)
{
    const QRect area = picture.adjusted(0, picture.height() * 2 / 3, 0, 0).intersected(image.rect());
    QRect text;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qRed(pixel) > 0xD0 && qGreen(pixel) > 0xD0 && qBlue(pixel) > 0xD0)
                text |= QRect(x, y, 1, 1);
        }
    }
    return text;
}
