#include "imagesurface.h"

#include <QGlyphRun>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    : MeasuredSurface(reuse), image_(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale),
             transparent ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32),
      reuse_(reuse), transparent_(transparent)
{
    image_.setDotsPerMeterX(3780);
    image_.setDotsPerMeterY(3780);
    image_.setDevicePixelRatio(scale);
    restore(image_.rect());
}

void ImageSurface::clear()
{
    restore(drawn_);
    drawn_ = QRect();
    rasterised_ = 0;
}

bool ImageSurface::setBackground(const QString& path)
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
// the whole image again: clear has already restored what the last drawing covered.
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

QImage ImageSurface::blankPicture() const
{
    if (!composed_.isNull())
        return composed_;
    QImage blank(image_.size(), image_.format());
    blank.setDevicePixelRatio(image_.devicePixelRatio());
    blank.fill(transparent_ ? QRgb(0) : BackColor);
    return blank;
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

void ImageSurface::drawRun(const PlacedRun& run, QRgb ink)
{
    const QString& s = run.text;
    const QPointF at = run.at;
    if (s.isEmpty())
        return;
    use(run, ink);
    const double x = at.x() / TwipsPerPixel;
    const double y = at.y() / TwipsPerPixel;
    // Far beyond the picture nothing can show, and positions that far overflow the painter's
    // fixed-point coordinates (1/64 pixel in 32 bits). Nearer, a long text that starts far off
    // may still cross the picture, and only its glyphs near it are drawn.
    const double reach = 3.0e7 / scale();
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

    QString key;
    if (reuse_) {
        key.reserve(face_.key().size() + s.size() + 16);
        key.append(face_.key())
            .append(u'\x1f')
            .append(QString::number(qRound(fx * 64)))
            .append(u'\x1f')
            .append(QString::number(qRound(fy * 64)))
            .append(u'\x1f')
            .append(s);
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
    // A text no larger than a few pictures is rendered whole and kept for the moves that follow.
    const bool small = qint64(whole.width()) * whole.height() <= MaxKeptLayerPixels;
    if (small || !reuse_) {
        TextLayer layer = renderLayer(text, fx, fy, small ? whole : visible);
        blendCoverage(layer, ix - layer.origin.x(), iy - layer.origin.y());
        if (reuse_)
            keepLayer(key, std::move(layer));
        return;
    }
    // A larger one (a very long name, a huge size) is rendered only around where it shows, a
    // picture's width and height further each way, and kept while the moves stay within that.
    if (const auto it = parts_.constFind(key);
        it != parts_.constEnd() && it->reach.contains(visible)) {
        blendCoverage(it->layer, ix - it->layer.origin.x(), iy - it->layer.origin.y());
        return;
    }
    const QRect around =
        visible.adjusted(-image_.width(), -image_.height(), image_.width(), image_.height())
            .intersected(whole);
    TextLayer layer = renderLayer(text, fx, fy, around);
    blendCoverage(layer, ix - layer.origin.x(), iy - layer.origin.y());
    if (parts_.size() >= MaxKeptParts)
        parts_.clear();
    parts_.insert(key, {std::move(layer), around});
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

// Coverage of the glyphs that reach `reach` (output pixels around the baseline's whole-pixel
// origin), drawn at the baseline's fraction of a pixel. Each glyph is drawn whole, in a layer
// the size of the glyphs drawn: the painter rasterises an outline that crosses the edge of
// what it paints on in another way, and a glyph's pixels must not depend on how much of the
// text was drawn with it. Leaving out the glyphs that do not reach `reach` leaves every pixel
// there as drawing them all would.
//
// The glyphs go to the painter a few at a time, in groups fixed by their place in the run: one
// outline of a thousand joined script letters takes the rasteriser time that grows with the
// square of their number, and a glyph's group does not depend on which others are left out.
ImageSurface::TextLayer ImageSurface::renderLayer(const ShapedText& text, double fx, double fy,
                                                  const QRect& reach)
{
    constexpr qsizetype GlyphsAtOnce = 16;
    struct Part
    {
        const ShapedText::Run* run;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };
    std::vector<Part> parts;
    QRect extent;
    for (const ShapedText::Run& run : text.runs) {
        Part part{&run, {}, {}};
        for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
            if (i % GlyphsAtOnce == 0 && !part.glyphs.isEmpty())
                parts.push_back(std::exchange(part, Part{&run, {}, {}}));
            const QRect glyph = outputExtent(run.ink[size_t(i)]);
            if (!glyph.intersects(reach))
                continue;
            extent |= glyph;
            part.glyphs << run.glyphs[i];
            part.positions << run.positions[i];
        }
        if (!part.glyphs.isEmpty())
            parts.push_back(std::move(part));
    }
    const qreal k = scale();
    TextLayer layer;
    layer.origin = -extent.topLeft();
    layer.image = QImage(extent.size().expandedTo(QSize(1, 1)), QImage::Format_Alpha8);
    layer.image.fill(0);
    layer.image.setDevicePixelRatio(k);
    {
        QPainter p(&layer.image);
        p.setPen(Qt::white);
        const QPointF baseline((layer.origin.x() + fx) / k, (layer.origin.y() + fy) / k);
        for (const Part& part : parts) {
            rasterised_ += part.glyphs.size();
            QGlyphRun run;
            run.setRawFont(part.run->font);
            run.setGlyphIndexes(part.glyphs);
            run.setPositions(part.positions);
            p.drawGlyphRun(baseline, run);
        }
    }
    layer.image.setDevicePixelRatio(1);
    return layer;
}

namespace {

// One pixel: ink * c + dest * (255 - c), divided by 255 and rounded once, exactly (the painter
// rounds twice, so it may be a step away). Two channels go through each multiplication, in 16-bit
// lanes that cannot overflow into each other (255 * 255 + 128 + 255 < 65536).
inline quint32 blendPixel(quint32 ink, quint32 dest, quint32 c)
{
    const auto lanes = [](quint32 t) {
        t += 0x00800080;
        return ((t + ((t >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    };
    const quint32 rb = lanes((ink & 0x00FF00FF) * c + (dest & 0x00FF00FF) * (255 - c));
    const quint32 ag =
        lanes(((ink >> 8) & 0x00FF00FF) * c + ((dest >> 8) & 0x00FF00FF) * (255 - c));
    return rb | (ag << 8);
}

#ifdef __SSE2__
// Four pixels at once, with the same arithmetic in 16-bit lanes.
inline __m128i blendFour(__m128i inkLo, __m128i inkHi, __m128i dest, quint32 coverage)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i half = _mm_set1_epi16(0x80);
    // The four coverages, each repeated over its pixel's four channels.
    __m128i c = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(coverage)), zero);
    c = _mm_unpacklo_epi16(c, c);
    const __m128i cLo = _mm_unpacklo_epi32(c, c);
    const __m128i cHi = _mm_unpackhi_epi32(c, c);
    const auto mix = [&](__m128i ink, __m128i d, __m128i cov) {
        __m128i t =
            _mm_add_epi16(_mm_mullo_epi16(ink, cov), _mm_mullo_epi16(d, _mm_sub_epi16(full, cov)));
        t = _mm_add_epi16(t, half);
        t = _mm_add_epi16(t, _mm_srli_epi16(t, 8));
        return _mm_srli_epi16(t, 8);
    };
    const __m128i lo = mix(inkLo, _mm_unpacklo_epi8(dest, zero), cLo);
    const __m128i hi = mix(inkHi, _mm_unpackhi_epi8(dest, zero), cHi);
    return _mm_packus_epi16(lo, hi);
}
#endif

} // namespace

void blendCoverageRow(quint32* dest, const uchar* coverage, int width, quint32 ink)
{
#ifdef __SSE2__
    const __m128i inks = _mm_set1_epi32(int(ink));
    const __m128i inkLo = _mm_unpacklo_epi8(inks, _mm_setzero_si128());
    const __m128i inkHi = _mm_unpackhi_epi8(inks, _mm_setzero_si128());
#endif
    int i = 0;
    // Most of a text's box is empty or full: four pixels are taken at once.
    for (; i + 4 <= width; i += 4) {
        quint32 four;
        std::memcpy(&four, coverage + i, 4);
        if (four == 0)
            continue;
        if (four == 0xFFFFFFFF) {
            std::fill_n(dest + i, 4, ink);
            continue;
        }
#ifdef __SSE2__
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + i), blendFour(inkLo, inkHi, d, four));
#else
        for (int k = 0; k < 4; ++k)
            dest[i + k] = blendPixel(ink, dest[i + k], coverage[i + k]);
#endif
    }
    for (; i < width; ++i)
        if (const quint32 c = coverage[i])
            dest[i] = c == 255 ? ink : blendPixel(ink, dest[i], c);
}

// Text in an opaque ink is blended into the picture by its coverage, pixel by pixel. Alpha is
// blended the same way, so a transparent picture gets premultiplied pixels.
void ImageSurface::blendCoverage(const TextLayer& layer, int left, int top)
{
    const QRect area =
        QRect(left, top, layer.image.width(), layer.image.height()).intersected(image_.rect());
    if (area.isEmpty())
        return;
    drawn_ |= area;
    changed_ |= area;
    const uchar* coverageRows = layer.image.constBits();
    const qsizetype coverageStride = layer.image.bytesPerLine();
    uchar* destRows = image_.bits();
    const qsizetype destStride = image_.bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y)
        blendCoverageRow(reinterpret_cast<quint32*>(destRows + y * destStride) + area.left(),
                         coverageRows + (y - top) * coverageStride + (area.left() - left),
                         area.width(), ink_);
}

void ImageSurface::drawFrame(const SealFrame& frame)
{
    const double x1 = frame.left, y1 = frame.top, x2 = frame.right, y2 = frame.bottom;
    const QRgb color = frame.color;
    const bool filled = frame.filled;
    const int linePx = frame.linePx;
    const int l = pixelOf(std::min(x1, x2));
    const int t = pixelOf(std::min(y1, y2));
    const int r = pixelOf(std::max(x1, x2));
    const int b = pixelOf(std::max(y1, y2));
    if (filled) {
        fillPixels(l, t, r - l + 1, b - t + 1, color);
    } else {
        const int w = std::clamp(linePx, 1, std::max(1, std::min(r - l + 1, b - t + 1) / 2));
        fillPixels(l, t, r - l + 1, w, color);
        fillPixels(l, b - w + 1, r - l + 1, w, color);
        fillPixels(l, t, w, b - t + 1, color);
        fillPixels(r - w + 1, t, w, b - t + 1, color);
    }
}

void ImageSurface::drawDrawn(const DrawnSignature& drawn, const QRectF& box, QRgb ink)
{
    const QRectF pixels(box.topLeft() / TwipsPerPixel, box.size() / TwipsPerPixel);
    const qreal k = scale();
    const QRect device = QRectF(pixels.topLeft() * k, pixels.size() * k)
                             .toAlignedRect()
                             .adjusted(-1, -1, 1, 1)
                             .intersected(image_.rect());
    if (device.isEmpty())
        return;
    drawn_ |= device;
    changed_ |= device;
    QPainter painter(&image_);
    paintDrawn(painter, drawn, pixels, ink);
}

void ImageSurface::wear(const SealFrame& frame)
{
    if (!frame.wear)
        return;
    const double x1 = frame.left, y1 = frame.top, x2 = frame.right, y2 = frame.bottom;
    const SealWear& how = *frame.wear;
    const qreal k = scale();
    const QRect area(QPoint(qFloor(pixelOf(std::min(x1, x2)) * k), qFloor(pixelOf(std::min(y1, y2)) * k)),
                     QPoint(qCeil((pixelOf(std::max(x1, x2)) + 1) * k) - 1,
                            qCeil((pixelOf(std::max(y1, y2)) + 1) * k) - 1));
    const QRgb plain = transparent_ ? QRgb(0) : BackColor;
    wearSeal(image_, area, k, how, [&](int x, int y) {
        return composed_.isNull() ? plain
                                  : reinterpret_cast<const QRgb*>(composed_.constScanLine(y))[x];
    });
    changed_ |= area.intersected(image_.rect());
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
