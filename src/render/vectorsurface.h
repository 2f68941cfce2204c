#pragma once

#include "background.h"
#include "measuredsurface.h"
#include "shapedtext.h"

class QPainter;

// A surface that paints through a painter in reference pixels (96 dpi): text as filled
// outlines, so that a vector device such as an SVG generator keeps it as shapes.
class VectorSurface : public MeasuredSurface
{
public:
    VectorSurface(QPainter& painter, bool transparent);
    // With a background kept by the caller across pictures, and drawn as a one-pixel stand-in
    // that the caller replaces by the background's data, encoded once: a batch of SVG files
    // over one background does not encode it again for every file.
    VectorSurface(QPainter& painter, bool transparent, BackgroundPicture& kept);

    // The picture the stand-in stands for; null when none was drawn.
    QImage standIn() const { return standIn_; }

    // Draws every glyph, also those outside the picture: a signature put on a document is
    // drawn whole at its own size.
    void drawWholeText() { wholeText_ = true; }
    // What text and frames covered, in reference pixels.
    QRectF inkRect() const { return inked_; }

    void clear() override;
    bool setBackground(const QString& path) override;
    void drawRun(const PlacedRun& run, QRgb ink) override;
    void drawFrame(const SealFrame& frame) override;
    void drawDrawn(const DrawnSignature& drawn, const QRectF& box, QRgb ink) override;

    // Why the last setBackground failed, in words for the user.
    const QString& backgroundError() const { return background_.error(); }

private:
    QPainter& painter_;
    bool transparent_;
    BackgroundPicture own_;
    BackgroundPicture& background_;
    bool standInMode_ = false;
    bool wholeText_ = false;
    QRectF inked_;
    QImage standIn_;
};
