#include "imagesurface.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cmath>

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

} // namespace

ImageSurface::ImageSurface(qreal scale, bool cacheBackground)
    : image_(qRound(SurfaceWidthPx * scale), qRound(SurfaceHeightPx * scale), QImage::Format_RGB32),
      cacheBackground_(cacheBackground)
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
    image_.fill(BackColor);
    if (showBackground_ && !background_.isNull()) {
        QPainter p(&image_);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QPointF(0, 0), background_);
    }
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
    if (cacheBackground_ && path == backgroundPath_ && info.size() == backgroundSize_ &&
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
            background_ = image
                              .copy(0, 0, std::min(image.width(), SurfaceWidthPx),
                                    std::min(image.height(), SurfaceHeightPx))
                              .convertToFormat(QImage::Format_ARGB32_Premultiplied);
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
    QPainter p(&image_);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (!transparentText_)
        p.fillRect(QRectF(x, y, TextWidth(s) / TwipsPerPixel, heightPx_), QColor(BackColor));
    p.setFont(font_);
    p.setPen(QColor(ink_));
    p.drawText(QPointF(x, y + ascentPx_), s);
}

void ImageSurface::DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled)
{
    const int l = pixelOf(std::min(x1, x2));
    const int t = pixelOf(std::min(y1, y2));
    const int r = pixelOf(std::max(x1, x2));
    const int b = pixelOf(std::max(y1, y2));
    QPainter p(&image_);
    if (copyMode_)
        p.setCompositionMode(QPainter::CompositionMode_Source);
    const QColor c(color);
    // Corners inclusive; an outline is one reference pixel wide.
    if (filled) {
        p.fillRect(QRect(l, t, r - l + 1, b - t + 1), c);
    } else {
        p.fillRect(QRect(l, t, r - l + 1, 1), c);
        p.fillRect(QRect(l, b, r - l + 1, 1), c);
        p.fillRect(QRect(l, t, 1, b - t + 1), c);
        p.fillRect(QRect(r, t, 1, b - t + 1), c);
    }
}
