#pragma once

#include "surface.h"

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QImage>

#include <list>

// The drawable area of picMain: 388 x 261 pixels at 96 dpi.
inline constexpr int SurfaceWidthPx = 388;
inline constexpr int SurfaceHeightPx = 261;
inline constexpr int TwipsPerPixel = 15;
// picMain's outer box in the window, which printing uses.
inline constexpr int OuterWidthTwips = 5820;
inline constexpr int OuterHeightTwips = 3920;
// A background larger than this is refused rather than decoded (a few bytes of PNG can claim
// gigabytes of pixels).
inline constexpr qint64 MaxBackgroundPixels = 40'000'000;

// A surface over a QImage. Text is always measured at the 96-dpi reference, so the layout in
// twips never depends on `scale`, which only sets how many output pixels a reference pixel gets.
class ImageSurface : public Surface
{
public:
    // With `reuse`, the decoded background is kept while its file is unchanged and the
    // coverage of rendered text is kept for whole-pixel moves; reuse = false decodes and
    // renders afresh on every drawing, with the same pixels.
    explicit ImageSurface(qreal scale = 1.0, bool reuse = true);

    void Clear() override;
    bool SetBackground(const QString& path) override;
    void SetFontName(const QString& face) override;
    void SetFontSize(double points) override;
    void SetInkColor(QRgb ink) override { ink_ = ink; }
    void SetTransparentText(bool transparent) override { transparentText_ = transparent; }

    double TextWidth(const QString& s) override;
    double TextHeight(const QString& s) override;
    double InnerWidth() const override { return SurfaceWidthPx * TwipsPerPixel; }
    double InnerHeight() const override { return SurfaceHeightPx * TwipsPerPixel; }

    void DrawText(const QString& s) override;
    // Frames are opaque: copying and blending give the same pixels.
    void SetCopyMode() override {}
    void DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled) override;

    // Background plus everything drawn, at the surface's scale.
    const QImage& PersistentImage() const { return image_; }
    qreal scale() const { return image_.devicePixelRatio(); }
    static constexpr int OuterWidth() { return OuterWidthTwips; }
    static constexpr int OuterHeight() { return OuterHeightTwips; }

    // Draw nothing of the background picture (transparent output).
    void setShowBackground(bool show) { showBackground_ = show; }
    // Why the last SetBackground failed, in words for the user.
    const QString& backgroundError() const { return backgroundError_; }

private:
    void restoreBackground();
    void updateMetrics();
    bool loadBackground(const QString& path);

    QImage image_;
    QImage background_;
    QString backgroundPath_;
    qint64 backgroundSize_ = -1;
    QDateTime backgroundModified_;
    QString backgroundError_;
    bool reuse_;
    bool showBackground_ = true;

    struct TextLayer
    {
        QImage image;  // coverage of the text's outline (Alpha8), at output pixels
        QPoint origin; // where the baseline's whole-pixel origin falls in the image
    };
    TextLayer renderTextLayer(const QString& s, double fractionX, double fractionY);
    void blendCoverage(const TextLayer& layer, int left, int top);
    static constexpr qsizetype MaxTextLayerBytes = 8 * 1024 * 1024;
    QHash<QString, TextLayer> layers_;
    std::list<QString> layerOrder_; // oldest first
    qsizetype layerBytes_ = 0;

    QFont font_;
    double points_ = 9;
    // Held from the moment the face is selected: a face's registration may be dropped before
    // its height is asked for, and the height must stay that of the selected face.
    double ascentPx_ = 0;
    double heightPx_ = 0;
    QRgb ink_ = 0xFF000000;
    bool transparentText_ = false;
};
