#pragma once

#include "facestate.h"
#include "geometry.h"
#include "shapedtext.h"
#include "surface.h"

#include <algorithm>
#include <cmath>

// The whole reference pixels a frame between two corners in twips covers, corners inclusive,
// as the raster picture draws it.
inline QRectF framePixels(double x1, double y1, double x2, double y2)
{
    return QRectF(QPointF(std::floor(std::min(x1, x2) / TwipsPerPixel),
                          std::floor(std::min(y1, y2) / TwipsPerPixel)),
                  QPointF(std::floor(std::max(x1, x2) / TwipsPerPixel) + 1,
                          std::floor(std::max(y1, y2) / TwipsPerPixel) + 1));
}

// What every real surface shares: the selected face and size, measured at the reference, the
// ink and the size of the drawable area.
class MeasuredSurface : public Surface
{
public:
    // With keepShapes, shaped texts are kept for the next drawing.
    explicit MeasuredSurface(bool keepShapes) : shaper_(keepShapes) {}

    void setFontName(const QString& face) override { face_.setFace(face); }
    void setFontSource(const QString& source) override { face_.setSource(source); }
    void setFallbackFaces(const QStringList& faces) override { face_.setFallback(faces); }
    void setFontSize(double points) override { face_.setPoints(points); }
    void setInkColor(QRgb ink) override { ink_ = ink | 0xFF000000; }
    double textWidth(const QString& s) override { return face_.advancePx(s) * TwipsPerPixel; }
    double textHeight(const QString&) override { return face_.heightPx() * TwipsPerPixel; }
    QRectF textInk(const QString& s) override
    {
        const QRectF ink = shaper_.shaped(face_, s).ink.translated(0, face_.ascentPx());
        return {ink.x() * TwipsPerPixel, ink.y() * TwipsPerPixel, ink.width() * TwipsPerPixel,
                ink.height() * TwipsPerPixel};
    }
    double innerWidth() const override { return SurfaceWidthPx * TwipsPerPixel; }
    double innerHeight() const override { return SurfaceHeightPx * TwipsPerPixel; }
    // Frames are opaque: copying and blending give the same pixels.

protected:
    FaceState face_;
    TextShaper shaper_;
    QRgb ink_ = 0xFF000000;
};
