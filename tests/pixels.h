#pragma once

#include <QImage>
#include <QRect>

#include <algorithm>

// Calls `visit(x, y, pixel)` for every pixel, as QImage::pixel gives it (unpremultiplied), a row
// at a time: pixel by pixel through QImage it took most of the kit's tests' time under the
// sanitizers.
template <typename Visit>
void forEachPixel(const QImage& image, Visit visit)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            visit(x, y, row[x]);
    }
}

// Calls `visit(x, y, first, second)` for every place two pictures share, with their pixels
// there as forEachPixel gives them.
template <typename Visit>
void forEachPixelPair(const QImage& first, const QImage& second, Visit visit)
{
    const QImage a = first.convertToFormat(QImage::Format_ARGB32);
    const QImage b = second.convertToFormat(QImage::Format_ARGB32);
    const int width = std::min(a.width(), b.width()), height = std::min(a.height(), b.height());
    for (int y = 0; y < height; ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < width; ++x)
            visit(x, y, rowA[x], rowB[x]);
    }
}

// The bounding box, in image pixels, of the pixels that `isInk` accepts.
template <typename IsInk>
QRect inkBox(const QImage& image, IsInk isInk)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    forEachPixel(image, [&](int x, int y, QRgb p) {
        if (isInk(p)) {
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = y;
        }
    });
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

inline bool darkInk(QRgb c)
{
    return qGray(c) < 128;
}

template <typename Match>
int countPixels(const QImage& image, Match match)
{
    int n = 0;
    forEachPixel(image, [&](int, int, QRgb p) { n += match(p) ? 1 : 0; });
    return n;
}
