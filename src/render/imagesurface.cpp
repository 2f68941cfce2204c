#include "imagesurface.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr QRgb BackColor = 0xFFFFFFFF; // the window-background colour of the picture box

// Text is measured on this device whatever the output: 3780 dots per metre is 96 dpi.
const QPaintDevice* referenceDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return &device;
}

// Twips to whole reference pixels; far-off positions are clamped, not overflowed.
int pixelOf(double twips)
{
    return int(std::clamp(std::floor(twips / TwipsPerPixel), -1.0e6, 1.0e6));
}

// The picture as it shows: unscaled from the top-left, over the box's own colour, cut to the
// box's size. Composed once, so that each drawing starts from a plain copy.
QImage composedOnBackColor(const QImage& picture)
{
    QImage out(SurfaceWidthPx, SurfaceHeightPx, QImage::Format_RGB32);
    out.fill(BackColor);
    QPainter p(&out);
    p.drawImage(QPointF(0, 0), picture);
    return out;
}

} // namespace

ImageSurface::ImageSurface(qreal scale, bool reuse)
    : image_(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale), QImage::Format_RGB32),
      reuse_(reuse)
{
    image_.setDotsPerMeterX(3780);
    image_.setDotsPerMeterY(3780);
    image_.setDevicePixelRatio(scale);
    font_.setHintingPreference(QFont::PreferNoHinting);
    updateMetrics();
    restoreBackground();
}

void ImageSurface::Clear()
{
    restoreBackground();
}

void ImageSurface::restoreBackground()
{
    if (!showBackground_ || background_.isNull()) {
        image_.fill(BackColor);
        return;
    }
    if (image_.size() == background_.size()) {
        // Row copies: the painter would hand a picture this small to worker threads, and waking
        // them costs more than the copy.
        const qsizetype bytes = qsizetype(background_.width()) * 4;
        for (int y = 0; y < image_.height(); ++y)
            std::memcpy(image_.scanLine(y), background_.constScanLine(y), size_t(bytes));
        return;
    }
    QPainter p(&image_);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx), background_);
}

bool ImageSurface::SetBackground(const QString& path)
{
    const bool ok = loadBackground(path);
    restoreBackground();
    return ok;
}

bool ImageSurface::loadBackground(const QString& path)
{
    const QFileInfo info(path);
    if (reuse_ && path == backgroundPath_ && info.size() == backgroundSize_ &&
        info.lastModified() == backgroundModified_)
        return backgroundError_.isEmpty();

    backgroundPath_ = path;
    backgroundSize_ = info.size();
    backgroundModified_ = info.lastModified();
    background_ = QImage();
    backgroundError_.clear();

    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!info.isFile()) {
        backgroundError_ = QStringLiteral("文件不存在或不能访问");
    } else if (size.isValid() && qint64(size.width()) * size.height() > MaxBackgroundPixels) {
        backgroundError_ =
            QStringLiteral("图片太大（%1 × %2 像素）").arg(size.width()).arg(size.height());
    } else {
        // Only the part that shows is kept: the picture is drawn unscaled from the top-left.
        if (size.isValid())
            reader.setClipRect(QRect(0, 0, std::min(size.width(), SurfaceWidthPx),
                                     std::min(size.height(), SurfaceHeightPx)));
        const QImage image = reader.read();
        if (image.isNull())
            backgroundError_ = reader.errorString();
        else
            background_ = composedOnBackColor(image);
    }
    return backgroundError_.isEmpty();
}

void ImageSurface::SetFontName(const QString& face)
{
    font_.setFamilies({face});
    updateMetrics();
}

void ImageSurface::SetFontSize(double points)
{
    points_ = points;
    updateMetrics();
}

void ImageSurface::updateMetrics()
{
    font_.setPointSizeF(points_);
    const QFontMetricsF fm(font_, referenceDevice());
    ascentPx_ = fm.ascent();
    heightPx_ = fm.height();
}

double ImageSurface::TextWidth(const QString& s)
{
    return QFontMetricsF(font_, referenceDevice()).horizontalAdvance(s) * TwipsPerPixel;
}

double ImageSurface::TextHeight(const QString&)
{
    return heightPx_ * TwipsPerPixel;
}

void ImageSurface::DrawText(const QString& s)
{
    if (s.isEmpty())
        return;
    const double x = CursorX / TwipsPerPixel;
    const double y = CursorY / TwipsPerPixel;
    if (std::abs(x) > 1.0e6 || std::abs(y) > 1.0e6)
        return; // far outside the picture; nothing would show
    if (!transparentText_) {
        QPainter p(&image_);
        p.fillRect(QRectF(x, y, TextWidth(s) / TwipsPerPixel, heightPx_), QColor(BackColor));
    }
    // The baseline in output pixels, snapped to the 1/64 pixel that glyph outlines are placed
    // on anyway, so that a reused rendering lands exactly where a fresh one would.
    // The baseline in output pixels, snapped to the 1/64 pixel that glyph outlines are placed
    // on anyway. The text's coverage is rendered apart at that fraction of a pixel and blended
    // in at the whole pixel, so a coverage kept from an earlier drawing gives the same pixels.
    const qreal k = scale();
    const double bx = std::round(x * k * 64) / 64;
    const double by = std::round((y + ascentPx_) * k * 64) / 64;
    const int ix = int(std::floor(bx));
    const int iy = int(std::floor(by));
    const double fx = bx - ix;
    const double fy = by - iy;
    if (!reuse_) {
        const TextLayer layer = renderTextLayer(s, fx, fy);
        blendCoverage(layer, ix - layer.origin.x(), iy - layer.origin.y());
        return;
    }
    const QString key = QStringLiteral("%1|%2|%3|%4|")
                            .arg(font_.families().join(u','))
                            .arg(points_, 0, 'g', 17)
                            .arg(qRound(fx * 64))
                            .arg(qRound(fy * 64)) +
                        s;
    auto it = layers_.constFind(key);
    if (it == layers_.constEnd()) {
        it = layers_.insert(key, renderTextLayer(s, fx, fy));
        layerBytes_ += it->image.sizeInBytes();
        layerOrder_.push_back(key);
        while (layerBytes_ > MaxTextLayerBytes && layerOrder_.size() > 1) {
            layerBytes_ -= layers_.value(layerOrder_.front()).image.sizeInBytes();
            layers_.remove(layerOrder_.front());
            layerOrder_.pop_front();
        }
        it = layers_.constFind(key);
    }
    blendCoverage(*it, ix - it->origin.x(), iy - it->origin.y());
}

// Text in an opaque ink is blended into the picture as ink * c + dest * (255 - c), divided by
// 255 in one rounding step (as the painter does), c being the outline's coverage of the pixel.
void ImageSurface::blendCoverage(const TextLayer& layer, int left, int top)
{
    const QRect area =
        QRect(left, top, layer.image.width(), layer.image.height()).intersected(image_.rect());
    if (area.isEmpty())
        return;
    const uint ink = ink_;
    auto mix = [](uint x, uint a, uint y, uint b) {
        const uint t = x * a + y * b;
        return (t + (t >> 8) + 0x80) >> 8;
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* coverage = layer.image.constScanLine(y - top) + (area.left() - left);
        QRgb* dest = reinterpret_cast<QRgb*>(image_.scanLine(y)) + area.left();
        for (int i = 0; i < area.width(); ++i) {
            const uint c = coverage[i];
            if (c == 0)
                continue;
            if (c == 255) {
                dest[i] = ink | 0xFF000000;
                continue;
            }
            const uint d = dest[i];
            dest[i] = 0xFF000000 | mix((ink >> 16) & 0xFF, c, (d >> 16) & 0xFF, 255 - c) << 16 |
                      mix((ink >> 8) & 0xFF, c, (d >> 8) & 0xFF, 255 - c) << 8 |
                      mix(ink & 0xFF, c, d & 0xFF, 255 - c);
        }
    }
}

ImageSurface::TextLayer ImageSurface::renderTextLayer(const QString& s, double fx, double fy)
{
    const qreal k = scale();
    // Glyphs may reach past their advance and beyond the line (script faces do): the layer
    // covers their outline box with a margin.
    const QRectF box = QFontMetricsF(font_, referenceDevice()).boundingRect(s);
    const int margin = 2;
    TextLayer layer;
    layer.origin = QPoint(qCeil(-box.left() * k) + margin, qCeil(-box.top() * k) + margin);
    const QSize size(qCeil(box.right() * k) + layer.origin.x() + margin,
                     qCeil(box.bottom() * k) + layer.origin.y() + margin);
    layer.image = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    layer.image.fill(Qt::transparent);
    layer.image.setDotsPerMeterX(image_.dotsPerMeterX());
    layer.image.setDotsPerMeterY(image_.dotsPerMeterY());
    layer.image.setDevicePixelRatio(k);
    {
        QPainter p(&layer.image);
        p.setFont(font_);
        p.setPen(Qt::white);
        p.drawText(QPointF((layer.origin.x() + fx) / k, (layer.origin.y() + fy) / k), s);
    }
    // Only the coverage is kept: the alpha of white text drawn on nothing.
    layer.image = layer.image.convertToFormat(QImage::Format_Alpha8);
    layer.image.setDevicePixelRatio(1);
    return layer;
}

void ImageSurface::DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled)
{
    // Corners inclusive; an outline is one reference pixel wide. Filled by rows rather than
    // through a painter: the frames are opaque, so copy mode and blending give the same pixels.
    const int l = pixelOf(std::min(x1, x2));
    const int t = pixelOf(std::min(y1, y2));
    const int r = pixelOf(std::max(x1, x2));
    const int b = pixelOf(std::max(y1, y2));
    const qreal k = scale();
    auto fill = [this, k, color](int left, int top, int width, int height) {
        const QRect device =
            QRect(QPoint(qFloor(left * k), qFloor(top * k)),
                  QPoint(qCeil((left + width) * k) - 1, qCeil((top + height) * k) - 1))
                .intersected(image_.rect());
        for (int y = device.top(); y <= device.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)) + device.left(), device.width(),
                        color | 0xFF000000);
    };
    if (filled) {
        fill(l, t, r - l + 1, b - t + 1);
    } else {
        fill(l, t, r - l + 1, 1);
        fill(l, b, r - l + 1, 1);
        fill(l, t, 1, b - t + 1);
        fill(r, t, 1, b - t + 1);
    }
}
