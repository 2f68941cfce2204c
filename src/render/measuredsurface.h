#pragma once

#include "facestate.h"
#include "geometry.h"
#include "shapedtext.h"
#include "surface.h"

#include <algorithm>
#include <optional>
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

// What every real surface shares: the face a run is drawn in, shaped at the reference, and the
// ink. Frames are opaque: copying and blending give the same pixels.
class MeasuredSurface : public Surface
{
public:
    // With keepShapes, shaped texts are kept for the next drawing.
    explicit MeasuredSurface(bool keepShapes) : shaper_(keepShapes) {}

protected:
    // Makes `run`'s face and size, and `ink`, the ones drawn with.
    void use(const PlacedRun& run, QRgb ink)
    {
        ink_ = ink | 0xFF000000;
        if (used_ && run.face == *used_ && face_.points() == run.points)
            return;
        face_.setPoints(run.points);
        face_.setFallback(run.face.fallbacks);
        face_.setFace(run.face.family);
        face_.setSource(run.face.source);
        used_ = run.face;
    }

    FaceState face_;
    TextShaper shaper_;
    QRgb ink_ = 0xFF000000;

private:
    std::optional<RunFace> used_;
};
