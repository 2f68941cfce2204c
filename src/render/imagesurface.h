#pragma once

#include "background.h"
#include "measuredsurface.h"
#include "shapedtext.h"

#include <QHash>
#include <QImage>

#include <list>
#include <utility>
#include <vector>

// Blends `width` pixels of an opaque ink into `dest` by their coverage, each channel rounded once.
void blendCoverageRow(quint32* dest, const uchar* coverage, int width, quint32 ink);

// A surface over a QImage. Text is always measured at the 96-dpi reference, so the layout in
// twips never depends on `scale`, which only sets how many output pixels a reference pixel gets.
//
// Text is shaped once per face and text, and only the glyphs that can show are rasterised, as
// coverage in an 8-bit buffer that is then blended in the ink. With `reuse`, a text's whole
// coverage is kept while it is not too large, and the decoded background while its file is
// unchanged; reuse = false does all of it afresh on every drawing, with the same pixels.
class ImageSurface : public MeasuredSurface
{
public:
    // A `transparent` surface shows no background: only what is drawn, on nothing.
    explicit ImageSurface(qreal scale = 1.0, bool reuse = true, bool transparent = false);

    // Puts the background back where the last drawing drew; the rest never changed.
    void clear() override;
    // An empty path shows no picture.
    bool setBackground(const QString& path) override;
    void drawRun(const PlacedRun& run, QRgb ink) override;
    void drawFrame(const SealFrame& frame) override;
    void drawDrawn(const DrawnSignature& drawn, const QRectF& box, QRgb ink) override;
    void wear(const SealFrame& frame) override;

    // Background plus everything drawn, at the surface's scale.
    const QImage& image() const { return image_; }
    qreal scale() const { return image_.devicePixelRatio(); }
    static constexpr int outerWidth() { return OuterWidthTwips; }
    static constexpr int outerHeight() { return OuterHeightTwips; }

    // From a drag's press to its release, kept files are not checked again.
    void setDragging(bool dragging) { background_.setTrusted(dragging); }

    // The picture with nothing drawn on it, at this scale.
    QImage blankPicture() const;

    // Output pixels drawn on since the last clear.
    QRect drawnRect() const { return drawn_; }
    // Output pixels changed in any way since the last call: what a view must show again.
    QRect takeChanged() { return std::exchange(changed_, QRect()); }
    // Glyphs rasterised since the last clear: only those that can show are.
    qsizetype glyphsRasterised() const { return rasterised_; }

    // Why the last setBackground failed, in words for the user.
    const QString& backgroundError() const { return background_.error(); }

private:
    struct TextLayer
    {
        QImage image;  // coverage of the text's outline (Alpha8), at output pixels
        QPoint origin; // where the baseline's whole-pixel origin falls in the image
    };

    void restore(const QRect& area);
    void setPicture(const QImage& picture);
    QRect outputExtent(const QRectF& ink) const;
    TextLayer renderLayer(const ShapedText& text, double fractionX, double fractionY,
                          const QRect& reach);
    void keepLayer(const QString& key, TextLayer layer);
    void blendCoverage(const TextLayer& layer, int left, int top);
    void fillPixels(int left, int top, int width, int height, QRgb color);

    QImage image_;
    QImage composed_; // the background as it shows at this scale; null: the plain colour
    BackgroundPicture background_;
    bool reuse_;
    bool transparent_;
    QRect drawn_;
    QRect changed_;
    qsizetype rasterised_ = 0;


    // Whole coverage of texts no larger than MaxKeptLayerPixels, bounded by bytes.
    static constexpr qint64 MaxKeptLayerPixels = 4'000'000;
    static constexpr qsizetype MaxTextLayerBytes = 16 * 1024 * 1024;
    QHash<QString, TextLayer> layers_;
    // Parts of texts too large to keep whole: what showed, with a margin; a few at a time.
    struct TextPart
    {
        TextLayer layer;
        QRect reach; // output pixels around the baseline's whole-pixel origin it serves
    };
    QHash<QString, TextPart> parts_;
    static constexpr qsizetype MaxKeptParts = 4;
    std::list<QString> layerOrder_; // oldest first
    qsizetype layerBytes_ = 0;
};
