#pragma once

#include "base/compoundsurnames.h"
#include "faces.h"
#include "signatureinput.h"
#include "wear.h"

#include <QRectF>
#include <QRgb>
#include <QString>

#include <optional>
#include <vector>

// One text of a signature, placed: drawn in `face` at `points`, its top-left corner at `at`,
// its ink where `ink` is. Twips.
struct PlacedRun
{
    QString text;
    RunFace face;
    double points = 0;
    QPointF at;
    QRectF ink; // empty: none
};

// A seal's frame: its edges in twips (as the picture draws them, whole reference pixels from
// the pixel each edge falls in), filled or a line `linePx` reference pixels wide inside them.
struct SealFrame
{
    double left = 0, top = 0, right = 0, bottom = 0;
    QRgb color = 0;
    bool filled = false;
    int linePx = 1;
    std::optional<SealWear> wear;
};

// A signature laid out: where each of its texts and its frame go, the text's box as the
// placement rules define it (what an explicit position places), and the box of all its ink,
// which is what a person sees, moves and puts on a document. The faces it draws with stay
// registered for as long as it lives.
struct Layout
{
    std::vector<PlacedRun> runs;
    std::optional<SealFrame> frame;
    QRectF textBox;
    QRectF inkBox; // empty: no ink
    // A signature written by hand, drawn scaled into `drawnBox` (twips).
    std::shared_ptr<const DrawnSignature> drawn;
    QRectF drawnBox;
    QRgb ink = 0xFF000000;
    QString leftOut; // what a seal's nine cells cannot hold, which it does not draw
    std::vector<FontHold> holds;

    // Everything moved by whole twips.
    void translate(QPointF by);
};

// The signature `spec` describes, measured in `faces`: centred, or at its position.
Layout layOut(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames);

// What draws a layout: a picture's pixels, an SVG's or PDF's shapes.
class Painter
{
public:
    virtual ~Painter() = default;
    virtual void drawRun(const PlacedRun& run, QRgb ink) = 0;
    virtual void drawFrame(const SealFrame& frame) = 0;
    virtual void drawDrawn(const DrawnSignature& drawn, const QRectF& box, QRgb ink) = 0;
    // Wears what was drawn inside the frame as a seal wears: a picture's pixels do, a vector
    // drawing keeps its clean outlines.
    virtual void wear(const SealFrame&) {}
};

void paint(const Layout& layout, Painter& painter);

// The characters of the layout that no face draws, neither the style's nor a fallback: they
// would show as empty boxes. Each once, in the order drawn.
QStringList charactersNoFaceDraws(const Layout& layout, Faces& faces);
// The letters of the layout that a fallback face draws, not the style's own: they are in
// another hand. Each once, in the order drawn.
QStringList charactersFallbackDraws(const Layout& layout, Faces& faces);
