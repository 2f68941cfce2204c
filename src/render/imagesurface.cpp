#include "imagesurface.h"

#include <QGlyphRun>
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

// Antialiasing reaches a pixel past an outline's box; two keep it safely inside the extent.
constexpr int InkMargin = 2;

} // namespace

ImageSurface::ImageSurface(qreal scale, bool reuse, bool transparent)
    : image_(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale),
             transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32),
      reuse_(reuse), transparent_(transparent), shaper_(reuse)
{
    image_.setDotsPerMeterX(3780);
    image_.setDotsPerMeterY(3780);
    image_.setDevicePixelRatio(scale);
    restore(image_.rect());
}

void ImageSurface::Clear()
{
    restore(drawn_);
    drawn_ = QRect();
    rasterised_ = 0;
}

bool ImageSurface::SetBackground(const QString& path)
{
    bool ok = true;
    QImage picture;
    if (!path.isEmpty()) {
        ok = background_.load(path, reuse_);
        picture = background_.image();
    }
    if (transparent_)
        picture = QImage();
    setPicture(picture);
    return ok;
}

// Makes `picture` the background at this surface's scale. Only a different picture is put on
// the whole image again: Clear has already restored what the last drawing covered.
void ImageSurface::setPicture(const QImage& picture)
{
    if (reuse_ && picture.cacheKey() == composed_.cacheKey() &&
        picture.isNull() == composed_.isNull())
        return;
    if (picture.isNull() || picture.size() == image_.size()) {
        composed_ = picture;
    } else {
        composed_ = QImage(image_.size(), QImage::Format_RGB32);
        composed_.setDevicePixelRatio(image_.devicePixelRatio());
        QPainter p(&composed_);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx), picture);
    }
    restore(image_.rect());
    drawn_ = QRect();
}

// Row copies: the painter would hand a picture this small to worker threads, and waking them
// costs more than the copy.
void ImageSurface::restore(const QRect& area)
{
    const QRect r = area.intersected(image_.rect());
    if (r.isEmpty())
        return;
    changed_ |= r;
    const size_t bytes = size_t(r.width()) * 4;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y)) + r.left();
        if (composed_.isNull())
            std::fill_n(row, r.width(), transparent_ ? QRgb(0) : BackColor);
        else
            std::memcpy(row, reinterpret_cast<const QRgb*>(composed_.constScanLine(y)) + r.left(),
                        bytes);
    }
}

// Where a reference-pixel box around the baseline's origin falls in output pixels, with the
// margin antialiasing needs.
QRect ImageSurface::outputExtent(const QRectF& ink) const
{
    const qreal k = scale();
    return QRect(QPoint(qFloor(ink.left() * k) - InkMargin, qFloor(ink.top() * k) - InkMargin),
                 QPoint(qCeil(ink.right() * k) + InkMargin, qCeil(ink.bottom() * k) + InkMargin));
}

void ImageSurface::DrawText(const QString& s)
{
    if (s.isEmpty())
        return;
    const double x = CursorX / TwipsPerPixel;
    const double y = CursorY / TwipsPerPixel;
    // Far beyond the picture nothing can show, and positions that far overflow pixel integers.
    const double reach = 2.0e6;
    if (std::abs(x) > reach || std::abs(y) > reach)
        return;
    // The baseline in output pixels, snapped to the 1/64 pixel that glyph outlines are placed
    // on anyway. Coverage is rendered at that fraction of a pixel and blended in at the whole
    // pixel, so a coverage kept from an earlier drawing gives the same pixels.
    const qreal k = scale();
    const double bx = std::round(x * k * 64) / 64;
    const double by = std::round((y + face_.ascentPx()) * k * 64) / 64;
    const int ix = int(std::floor(bx));
    const int iy = int(std::floor(by));
    const double fx = bx - ix;
    const double fy = by - iy;

    const QString key = reuse_ ? QStringLiteral("%1\x1f%2\x1f%3\x1f")
                                         .arg(face_.key())
                                         .arg(qRound(fx * 64))
                                         .arg(qRound(fy * 64)) +
                                     s
                               : QString();
    if (reuse_) {
        if (const auto it = layers_.constFind(key); it != layers_.constEnd()) {
            blendCoverage(*it, ix - it->origin.x(), iy - it->origin.y());
            return;
        }
    }
    const ShapedText& text = shaper_.shaped(face_, s);
    if (text.glyphCount == 0)
        return;
    const QRect whole = outputExtent(text.ink);
    const QRect visible = whole.intersected(image_.rect().translated(-ix, -iy));
    if (visible.isEmpty())
        return;
    // A text no larger than a few pictures is rendered whole and kept for the moves that follow;
    // a larger one (a very long name, a huge size) only where it shows.
    const bool small = qint64(whole.width()) * whole.height() <= MaxKeptLayerPixels;
    TextLayer layer = renderLayer(text, fx, fy, small ? whole : visible);
    blendCoverage(layer, ix - layer.origin.x(), iy - layer.origin.y());
    if (reuse_ && small)
        keepLayer(key, std::move(layer));
}

void ImageSurface::keepLayer(const QString& key, TextLayer layer)
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

// Coverage of the glyphs that reach `extent` (output pixels around the baseline's whole-pixel
// origin), drawn at the baseline's fraction of a pixel. A glyph's coverage depends on nothing
// but the glyph and that fraction, so leaving out the glyphs that cannot reach the extent
// leaves every pixel of it as drawing them all would.
ImageSurface::TextLayer ImageSurface::renderLayer(const ShapedText& text, double fx, double fy,
                                                  const QRect& extent)
{
    const qreal k = scale();
    TextLayer layer;
    layer.origin = -extent.topLeft();
    layer.image = QImage(extent.size(), QImage::Format_Alpha8);
    layer.image.fill(0);
    layer.image.setDevicePixelRatio(k);
    {
        QPainter p(&layer.image);
        p.setPen(Qt::white);
        const QPointF baseline((layer.origin.x() + fx) / k, (layer.origin.y() + fy) / k);
        for (const ShapedText::Run& run : text.runs) {
            QList<quint32> glyphs;
            QList<QPointF> positions;
            for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
                if (!outputExtent(run.ink[size_t(i)]).intersects(extent))
                    continue;
                glyphs << run.glyphs[i];
                positions << run.positions[i];
            }
            if (glyphs.isEmpty())
                continue;
            rasterised_ += glyphs.size();
            QGlyphRun part;
            part.setRawFont(run.font);
            part.setGlyphIndexes(glyphs);
            part.setPositions(positions);
            p.drawGlyphRun(baseline, part);
        }
    }
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
    drawn_ |= area;
    changed_ |= area;
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
    const QRect device =
        QRect(QPoint(qFloor(left * k), qFloor(top * k)),
              QPoint(qCeil((left + qint64(width)) * k) - 1, qCeil((top + qint64(height)) * k) - 1))
            .intersected(image_.rect());
    if (device.isEmpty())
        return;
    drawn_ |= device;
    changed_ |= device;
    for (int y = device.top(); y <= device.bottom(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)) + device.left(), device.width(),
                    color | 0xFF000000);
}
