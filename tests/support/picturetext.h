#pragma once

#include <QImage>
#include <QRect>

// Where subtitle text is drawn: the bounding box of near-white pixels in the
// lower third of a picture (a still, coloured clip has none of its own).
class PictureText
{
public:
    // picture: the video's area within image. Null when there is no text.
    static QRect lowerThird(const QImage &image, const QRect &picture);
};
