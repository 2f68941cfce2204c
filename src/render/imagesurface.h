#pragma once

#include "background.h"
#include "measuredsurface.h"

#include <QHash>
#include <QImage>

#include <list>

// A surface over a QImage. Text is always measured at the 96-dpi reference, so the layout in
// twips never depends on `scale`, which only sets how many output pixels a reference pixel gets.
class ImageSurface : public MeasuredSurface
{
public:
    // With `reuse`, the decoded background is kept while its file is unchanged and the
    // coverage of rendered text is kept for whole-pixel moves; reuse = false decodes and
    // renders afresh on every drawing, with the same pixels. A `transparent` surface shows no
    // background: only what is drawn, on nothing.
    explicit ImageSurface(qreal scale = 1.0, bool reuse = true, bool transparent = false);

    void Clear() override;
    bool SetBackground(const QString& path) override;
    void DrawText(const QString& s) override;
    void DrawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled) override;

    // Background plus everything drawn, at the surface's scale.
    const QImage& PersistentImage() const { return image_; }
    qreal scale() const { return image_.devicePixelRatio(); }
    static constexpr int OuterWidth() { return OuterWidthTwips; }
    static constexpr int OuterHeight() { return OuterHeightTwips; }

    // Why the last SetBackground failed, in words for the user.
    const QString& backgroundError() const { return background_.error(); }

private:
    struct TextLayer
    {
        QImage image;  // coverage of the text's outline (Alpha8), at output pixels
        QPoint origin; // where the baseline's whole-pixel origin falls in the image
    };

    void restoreBackground();
    QRect textExtent(const QString& s) const;
    // Renders the part `extent` (around the baseline's whole-pixel origin) of the text.
    TextLayer renderTextLayer(const QString& s, double fractionX, double fractionY,
                              const QRect& extent) const;
    void keepTextLayer(const QString& key, TextLayer layer);
    void blendCoverage(const TextLayer& layer, int left, int top);
    void fillPixels(int left, int top, int width, int height, QRgb color);

    QImage image_;
    BackgroundPicture background_;
    bool reuse_;
    bool transparent_;

    static constexpr qsizetype MaxTextLayerBytes = 8 * 1024 * 1024;
    static constexpr qsizetype MaxKeptTextLength = 64; // longer texts are not kept
    static constexpr qint64 MaxTextLayerPixels = 16'000'000;
    QHash<QString, TextLayer> layers_;
    std::list<QString> layerOrder_; // oldest first
    qsizetype layerBytes_ = 0;
};
