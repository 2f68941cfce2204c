#include "imagesurface.h"

#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Twips to whole reference pixels; far-off positions are clamped, not overflowed.
int pixelOf(double twips)
{
    return int(std::clamp(std::floor(twips / TwipsPerPixel), -1.0e6, 1.0e6));
}

} // namespace

ImageSurface::ImageSurface(qreal scale, bool reuse, bool transparent)
    : image_(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale),
             transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32),
      reuse_(reuse), transparent_(transparent)
{
    image_.setDotsPerMeterX(3780);
    image_.setDotsPerMeterY(3780);
    image_.setDevicePixelRatio(scale);
    restoreBackground();
}

void ImageSurface::Clear()
{
    restoreBackground();
}

bool ImageSurface::SetBackground(const QString& path)
{
    const bool ok = background_.load(path, reuse_);
    restoreBackground();
    return ok;
}

void ImageSurface::restoreBackground()
{
    const QImage& picture = background_.image();
    if (transparent_ || picture.isNull()) {
        image_.fill(transparent_ ? QRgb(0) : BackColor);
        return;
    }
    if (image_.size() == picture.size()) {
        // Row copies: the painter would hand a picture this small to worker threads, and waking
        // them costs more than the copy.
        const size_t bytes = size_t(picture.width()) * 4;
        for (int y = 0; y < image_.height(); ++y)
            std::memcpy(image_.scanLine(y), picture.constScanLine(y), bytes);
        return;
    }
    QPainter p(&image_);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx), picture);
}

void ImageSurface::DrawText(const QString& s)
{
    if (s.isEmpty())
        return;
    const double x = CursorX / TwipsPerPixel;
    const double y = CursorY / TwipsPerPixel;
    // Text wholly outside the picture draws nothing; glyphs may overhang their box by an em.
    const double em = face_.heightPx();
    if (x > SurfaceWidthPx + em || y > SurfaceHeightPx + em || y + 2 * em < 0 ||
        x + face_.advancePx(s) + em < 0)
        return;
    // The baseline in output pixels, snapped to the 1/64 pixel that glyph outlines are placed
    // on anyway. The text's coverage is rendered apart at that fraction of a pixel and blended
    // in at the whole pixel, so a coverage kept from an earlier drawing gives the same pixels.
    const qreal k = scale();
    const double bx = std::round(x * k * 64) / 64;
    const double by = std::round((y + face_.ascentPx()) * k * 64) / 64;
    const int ix = int(std::floor(bx));
    const int iy = int(std::floor(by));
    const double fx = bx - ix;
    const double fy = by - iy;
    // Kept coverage is looked up first: a drag move then measures nothing more.
    const bool keep = reuse_ && s.size() <= MaxKeptTextLength;
    const QString key = keep ? QStringLiteral("%1|%2|%3|%4|")
                                       .arg(face_.font().families().join(u','))
                                       .arg(face_.points(), 0, 'g', 17)
                                       .arg(qRound(fx * 64))
                                       .arg(qRound(fy * 64)) +
                                   s
                             : QString();
    if (keep) {
        if (const auto it = layers_.constFind(key); it != layers_.constEnd()) {
            blendCoverage(*it, ix - it->origin.x(), iy - it->origin.y());
            return;
        }
    }
    // A layer far larger than the picture (a very long name, a huge size) is rendered only
    // where it shows, and not kept; every other layer has the same extent however it is drawn,
    // which keeps the pixels the same.
    const QRect extent = textExtent(s);
    const bool huge = qint64(extent.width()) * extent.height() > MaxTextLayerPixels;
    TextLayer layer = renderTextLayer(
        s, fx, fy, huge ? extent.intersected(image_.rect().translated(-ix, -iy)) : extent);
    blendCoverage(layer, ix - layer.origin.x(), iy - layer.origin.y());
    if (keep && !huge)
        keepTextLayer(key, std::move(layer));
}

void ImageSurface::keepTextLayer(const QString& key, TextLayer layer)
{
    layerBytes_ += layer.image.sizeInBytes();
    layers_.insert(key, std::move(layer));
    layerOrder_.push_back(key);
    while (layerBytes_ > MaxTextLayerBytes && layerOrder_.size() > 1) {
        layerBytes_ -= layers_.value(layerOrder_.front()).image.sizeInBytes();
        layers_.remove(layerOrder_.front());
        layerOrder_.pop_front();
    }
}

// Where the text's outline box, with a margin, lies around its whole-pixel baseline origin,
// in output pixels. Glyphs may reach past their advance and beyond the line (script faces do).
QRect ImageSurface::textExtent(const QString& s) const
{
    const qreal k = scale();
    const QRectF box = face_.boundingRectPx(s);
    const int margin = 2;
    return QRect(QPoint(qFloor(box.left() * k) - margin, qFloor(box.top() * k) - margin),
                 QPoint(qCeil(box.right() * k) + margin, qCeil(box.bottom() * k) + margin));
}

ImageSurface::TextLayer ImageSurface::renderTextLayer(const QString& s, double fx, double fy,
                                                      const QRect& extent) const
{
    const qreal k = scale();
    TextLayer layer;
    layer.origin = -extent.topLeft();
    QImage white(extent.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::transparent);
    white.setDotsPerMeterX(image_.dotsPerMeterX());
    white.setDotsPerMeterY(image_.dotsPerMeterY());
    white.setDevicePixelRatio(k);
    {
        QPainter p(&white);
        p.setFont(face_.font());
        p.setPen(Qt::white);
        p.drawText(QPointF((layer.origin.x() + fx) / k, (layer.origin.y() + fy) / k), s);
    }
    // Only the coverage is kept: the alpha of white text drawn on nothing.
    layer.image = white.convertToFormat(QImage::Format_Alpha8);
    layer.image.setDevicePixelRatio(1);
    return layer;
}

// Text in an opaque ink is blended into the picture as ink * c + dest * (255 - c), divided by
// 255 in one rounding step (as the painter does), c being the outline's coverage of the pixel.
// Alpha is blended the same way, so a transparent picture gets premultiplied pixels.
void ImageSurface::blendCoverage(const TextLayer& layer, int left, int top)
{
    const QRect area =
        QRect(left, top, layer.image.width(), layer.image.height()).intersected(image_.rect());
    if (area.isEmpty())
        return;
    const uint ink = ink_;
    auto mix = [ink](uint d, uint c, int shift) {
        const uint t = ((ink >> shift) & 0xFF) * c + ((d >> shift) & 0xFF) * (255 - c);
        return ((t + (t >> 8) + 0x80) >> 8) << shift;
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* coverage = layer.image.constScanLine(y - top) + (area.left() - left);
        QRgb* dest = reinterpret_cast<QRgb*>(image_.scanLine(y)) + area.left();
        for (int i = 0; i < area.width(); ++i) {
            const uint c = coverage[i];
            if (c == 0)
                continue;
            const uint d = dest[i];
            dest[i] = c == 255 ? ink : mix(d, c, 24) | mix(d, c, 16) | mix(d, c, 8) | mix(d, c, 0);
        }
    }
}

void ImageSurface::DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled)
{
    // Corners inclusive; an outline is one reference pixel wide.
    const int l = pixelOf(std::min(x1, x2));
    const int t = pixelOf(std::min(y1, y2));
    const int r = pixelOf(std::max(x1, x2));
    const int b = pixelOf(std::max(y1, y2));
    if (filled) {
        fillPixels(l, t, r - l + 1, b - t + 1, color);
    } else {
        fillPixels(l, t, r - l + 1, 1, color);
        fillPixels(l, b, r - l + 1, 1, color);
        fillPixels(l, t, 1, b - t + 1, color);
        fillPixels(r, t, 1, b - t + 1, color);
    }
}

// An opaque rectangle of reference pixels, by rows rather than through a painter.
void ImageSurface::fillPixels(int left, int top, int width, int height, QRgb color)
{
    const qreal k = scale();
    const QRect device = QRect(QPoint(qFloor(left * k), qFloor(top * k)),
                               QPoint(qCeil((left + width) * k) - 1, qCeil((top + height) * k) - 1))
                             .intersected(image_.rect());
    for (int y = device.top(); y <= device.bottom(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)) + device.left(), device.width(),
                    color | 0xFF000000);
}
