#pragma once

#include <QImage>
#include <QRect>

#include <algorithm>

// The bounding box, in image pixels, of the pixels that `isInk` accepts.
template <typename IsInk>
QRect inkBox(const QImage& image, IsInk isInk)
{
    // A row at a time, as QImage::pixel gives them (unpremultiplied): pixel by pixel through
    // QImage it took most of the kit's tests' time under the sanitizers.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int left = argb.width(), top = argb.height(), right = -1, bottom = -1;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (isInk(row[x])) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = y;
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

inline bool darkInk(QRgb c)
{
    return qGray(c) < 128;
}

template <typename Match>
int countPixels(const QImage& image, Match match)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            n += match(row[x]) ? 1 : 0;
    }
    return n;
}