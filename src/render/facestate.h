#pragma once

#include "background.h"
#include "surface.h"

#include <QFont>
#include <QRectF>
#include <QString>

class QPaintDevice;

// The selected face and size, measured at the 96-dpi reference whatever the output, so that
// the layout in twips never depends on the output's resolution.
class FaceState
{
public:
    FaceState();

    void setFace(const QString& face);
    void setFallback(const QStringList& faces);
    void setPoints(double points);

    const QFont& font() const { return font_; }
    double points() const { return points_; }
    // In reference pixels. Held from the moment the face is selected: a face's registration
    // may be dropped before its height is asked for, and it must stay that of the selected face.
    double ascentPx() const { return ascentPx_; }
    double heightPx() const { return heightPx_; }
    double advancePx(const QString& s) const;
    QRectF boundingRectPx(const QString& s) const;

    // Text is measured on this device: 3780 dots per metre is 96 dpi.
    static const QPaintDevice* referenceDevice();

private:
    void update();

    QFont font_;
    QString face_;
    QStringList fallback_;
    double points_ = 9;
    double ascentPx_ = 0;
    double heightPx_ = 0;
};

// What every real surface shares: the selected face and size, measured at the reference, the
// ink and the size of the drawable area.
class MeasuredSurface : public Surface
{
public:
    void SetFontName(const QString& face) override { face_.setFace(face); }
    void SetFallbackFaces(const QStringList& faces) override { face_.setFallback(faces); }
    void SetFontSize(double points) override { face_.setPoints(points); }
    void SetInkColor(QRgb ink) override { ink_ = ink | 0xFF000000; }
    void SetTransparentText(bool transparent) override { transparentText_ = transparent; }
    double TextWidth(const QString& s) override { return face_.advancePx(s) * TwipsPerPixel; }
    double TextHeight(const QString&) override { return face_.heightPx() * TwipsPerPixel; }
    double InnerWidth() const override { return SurfaceWidthPx * TwipsPerPixel; }
    double InnerHeight() const override { return SurfaceHeightPx * TwipsPerPixel; }
    // Frames are opaque: copying and blending give the same pixels.
    void SetCopyMode() override {}

protected:
    FaceState face_;
    QRgb ink_ = 0xFF000000;
    bool transparentText_ = false;
};
