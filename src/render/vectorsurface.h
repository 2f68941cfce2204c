#pragma once

#include "background.h"
#include "facestate.h"
#include "surface.h"

class QPainter;

// A surface that paints through a painter in reference pixels (96 dpi): text as filled
// outlines, so that a vector device such as an SVG generator keeps it as shapes.
class VectorSurface : public Surface
{
public:
    VectorSurface(QPainter& painter, bool transparent);

    void Clear() override;
    bool SetBackground(const QString& path) override;
    void SetFontName(const QString& face) override { face_.setFace(face); }
    void SetFontSize(double points) override { face_.setPoints(points); }
    void SetInkColor(QRgb ink) override { ink_ = ink | 0xFF000000; }
    void SetTransparentText(bool transparent) override { transparentText_ = transparent; }
    double TextWidth(const QString& s) override { return face_.advancePx(s) * TwipsPerPixel; }
    double TextHeight(const QString&) override { return face_.heightPx() * TwipsPerPixel; }
    double InnerWidth() const override { return SurfaceWidthPx * TwipsPerPixel; }
    double InnerHeight() const override { return SurfaceHeightPx * TwipsPerPixel; }
    void DrawText(const QString& s) override;
    void SetCopyMode() override {}
    void DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled) override;

private:
    QPainter& painter_;
    bool transparent_;
    BackgroundPicture background_;
    FaceState face_;
    QRgb ink_ = 0xFF000000;
    bool transparentText_ = false;
};
