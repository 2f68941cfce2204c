#pragma once

#include <QImage>
#include <QRect>

#include <functional>

// The bounding box, in image pixels, of the pixels that `isInk` accepts.
inline QRect inkBox(const QImage& image, const std::function<bool(QRgb)>& isInk)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (isInk(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

inline bool darkInk(QRgb c)
{
    return qGray(c) < 128;
}

inline int countPixels(const QImage& image, const std::function<bool(QRgb)>& match)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}
