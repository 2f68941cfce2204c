#include "layout.h"

#include "geometry.h"
#include "measuredsurface.h"
#include "names.h"
#include "stylelayouts.h"

namespace {

// Where a frame shows: the whole reference pixels it covers, in twips.
QRectF frameBox(const SealFrame& frame)
{
    const QRectF pixels = framePixels(frame.left, frame.top, frame.right, frame.bottom);
    return {pixels.topLeft() * TwipsPerPixel, pixels.size() * TwipsPerPixel};
}

} // namespace

void Layout::translate(QPointF by)
{
    for (PlacedRun& run : runs) {
        run.at += by;
        run.ink.translate(by);
    }
    if (frame) {
        frame->left += by.x(), frame->right += by.x();
        frame->top += by.y(), frame->bottom += by.y();
    }
    textBox.translate(by);
    inkBox.translate(by);
    drawnBox.translate(by);
}

Layout layOut(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames)
{
    // An explicit place is in whole twips, as every place the rules compute is.
    RulesPlace at;
    if (spec.position)
        at = {nearest(spec.position->x()), nearest(spec.position->y())};
    Layout layout = rulesLayout(spec, faces, surnames, at);
    layout.ink = spec.ink | 0xFF000000;
    for (const PlacedRun& run : layout.runs)
        layout.inkBox |= run.ink;
    if (layout.frame)
        layout.inkBox |= frameBox(*layout.frame);
    if (layout.drawn)
        layout.inkBox |= layout.drawnBox;
    // Centred means what shows is centred: the ink, or a seal's frame, whatever the size and
    // however a face places its outlines. Moved by whole twips, as every place is.
    if (!spec.position && !layout.inkBox.isEmpty()) {
        // A frame's edges are drawn in whole pixels from the pixel each falls in: taken here as
        // if they fell on their pixels' edges, so that where it lands is within a pixel.
        const QRectF shown =
            layout.frame ? QRectF(QPointF(layout.frame->left, layout.frame->top),
                                  QPointF(layout.frame->right, layout.frame->bottom) +
                                      QPointF(TwipsPerPixel, TwipsPerPixel))
                         : layout.inkBox;
        const QPointF middle(SurfaceWidthPx * TwipsPerPixel / 2.0,
                             SurfaceHeightPx * TwipsPerPixel / 2.0);
        const QPointF by = middle - shown.center();
        layout.translate(QPointF(nearest(by.x()), nearest(by.y())));
    }
    return layout;
}

void paint(const Layout& layout, Painter& painter)
{
    if (layout.frame)
        painter.drawFrame(*layout.frame);
    for (const PlacedRun& run : layout.runs)
        painter.drawRun(run, layout.ink);
    if (layout.drawn)
        painter.drawDrawn(*layout.drawn, layout.drawnBox, layout.ink);
    if (layout.frame && layout.frame->wear)
        painter.wear(*layout.frame);
}

namespace {

template <typename Shows>
QStringList charactersWhere(const Layout& layout, Shows shows)
{
    QStringList found;
    for (const PlacedRun& run : layout.runs) {
        if (run.text.isEmpty() || !shows(run, run.text))
            continue;
        for (const QString& c : characters(run.text))
            if (!isBlankCharacter(c) && !found.contains(c) && shows(run, c))
                found << c;
    }
    return found;
}

} // namespace

QStringList charactersNoFaceDraws(const Layout& layout, Faces& faces)
{
    return charactersWhere(layout, [&](const PlacedRun& run, const QString& text) {
        return faces.lacksGlyphs(run.face, run.points, text);
    });
}

QStringList charactersFallbackDraws(const Layout& layout, Faces& faces)
{
    // A dot or a dash has no hand to speak of: letters and ideographs are what a person reads.
    return charactersWhere(layout, [&](const PlacedRun& run, const QString& text) {
        if (text != characters(text).value(0))
            return faces.fallsBack(run.face, run.points, text);
        return QChar::isLetterOrNumber(text.toUcs4().value(0)) &&
               faces.fallsBack(run.face, run.points, text) &&
               !faces.lacksGlyphs(run.face, run.points, text);
    });
}
