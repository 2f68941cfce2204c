#include "vectorsurface.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

VectorSurface::VectorSurface(QPainter& painter, bool transparent)
    : MeasuredSurface(true), painter_(painter), transparent_(transparent), background_(own_)
{
    painter_.setRenderHint(QPainter::Antialiasing);
}

VectorSurface::VectorSurface(QPainter& painter, bool transparent, BackgroundPicture& kept)
    : MeasuredSurface(true), painter_(painter), transparent_(transparent), background_(kept),
      standInMode_(true)
{
    painter_.setRenderHint(QPainter::Antialiasing);
}

void VectorSurface::clear()
{
    // Drawings only add to a vector picture: clearing starts the box over with its background.
    if (!transparent_)
        painter_.fillRect(QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx), QColor(BackColor));
}

bool VectorSurface::setBackground(const QString& path)
{
    if (path.isEmpty())
        return true;
    const bool ok = background_.load(path, standInMode_);
    if (transparent_ || !ok)
        return ok;
    if (standInMode_) {
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::white);
        painter_.drawImage(QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx), pixel);
        standIn_ = background_.image();
    } else {
        painter_.drawImage(QPointF(0, 0), background_.image());
    }
    return ok;
}

void VectorSurface::drawDrawn(const DrawnSignature& drawn, const QRectF& box, QRgb ink)
{
    const QRectF pixels(box.topLeft() / TwipsPerPixel, box.size() / TwipsPerPixel);
    inked_ |= pixels;
    paintDrawn(painter_, drawn, pixels, ink);
}

void VectorSurface::drawRun(const PlacedRun& run, QRgb ink)
{
    const QString& s = run.text;
    use(run, ink);
    const double x = run.at.x() / TwipsPerPixel;
    const double y = run.at.y() / TwipsPerPixel;
    if (s.isEmpty() || std::abs(x) > 1.0e6 || std::abs(y) > 1.0e6)
        return;
    // Only the outlines of glyphs that can show: a long name would otherwise fill the file with
    // shapes no one sees.
    const QPointF origin(x, y + face_.ascentPx());
    const QRectF picture(-2, -2, SurfaceWidthPx + 4, SurfaceHeightPx + 4);
    const ShapedText& text = shaper_.shaped(face_, s);
    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    for (const ShapedText::Run& run : text.runs)
        for (qsizetype i = 0; i < run.glyphs.size(); ++i)
            if (wholeText_ || run.ink[size_t(i)].translated(origin).intersects(picture))
                outline.addPath(
                    run.font.pathForGlyph(run.glyphs[i]).translated(origin + run.positions[i]));
    if (!outline.isEmpty()) {
        painter_.fillPath(outline, QColor(ink_));
        inked_ |= outline.boundingRect();
    }
}

void VectorSurface::drawFrame(const SealFrame& seal)
{
    const QRectF frame = framePixels(seal.left, seal.top, seal.right, seal.bottom);
    const double l = frame.left(), t = frame.top(), r = frame.right(), b = frame.bottom();
    const QColor c(seal.color | 0xFF000000);
    inked_ |= frame;
    if (seal.filled) {
        painter_.fillRect(frame, c);
        return;
    }
    const double w =
        std::clamp(double(seal.linePx), 1.0, std::max(1.0, std::min(r - l, b - t) / 2));
    painter_.fillRect(QRectF(QPointF(l, t), QPointF(r, t + w)), c);
    painter_.fillRect(QRectF(QPointF(l, b - w), QPointF(r, b)), c);
    painter_.fillRect(QRectF(QPointF(l, t), QPointF(l + w, b)), c);
    painter_.fillRect(QRectF(QPointF(r - w, t), QPointF(r, b)), c);
}
