#include "fitting.h"

#include "catalogue/stylerules.h"
#include "vectorsurface.h"

#include <QPainter>
#include <QPicture>

#include <cmath>

namespace {

struct Placed
{
    QRectF ink; // reference pixels
    Mover mover;
};

// The drawing placed as usual, drawn as outlines into a recording, every glyph included, so
// that ink past the edge counts.
Placed placedAsUsual(const ProgramValues& values, FontTable& fonts, const DrawInputs& in)
{
    QPicture recording;
    QPainter painter(&recording);
    VectorSurface surface(painter, true);
    surface.drawWholeText();
    Placed placed;
    RenderContext ctx{values, fonts, surface, placed.mover};
    drawSignature(ctx, in, NoPosition, NoPosition);
    painter.end();
    placed.ink = surface.inkRect();
    return placed;
}

} // namespace

FittedName fitName(const ProgramValues& values, FontTable& fonts, const DrawInputs& in)
{
    const std::optional<double> asked = fontSizeFromText(in.sizeText);
    if (!asked || !in.style)
        return {in.sizeText};
    const QRectF inside(FitMarginPx, FitMarginPx, SurfaceWidthPx - 2 * FitMarginPx,
                        SurfaceHeightPx - 2 * FitMarginPx);
    DrawInputs trial = in;
    const auto placedAt = [&](const QString& size) {
        trial.sizeText = size;
        return placedAsUsual(values, fonts, trial);
    };
    const Placed usual = placedAt(in.sizeText);
    if (usual.ink.isEmpty() || inside.contains(usual.ink))
        return {in.sizeText};

    // Half points, by bisection: ink grows with the size, so a dozen drawings find the largest
    // whose ink is small enough among the four thousand there are. Never below 8 points, nor
    // below a smaller size asked.
    const auto text = [](int halves) { return QString::number(halves / 2.0); };
    const auto smallEnough = [&](const QRectF& ink) {
        return ink.width() <= inside.width() && ink.height() <= inside.height();
    };
    QString size = in.sizeText;
    Placed best = usual;
    int lo = int(SmallestFittedSize * 2);
    int hi = int(std::ceil(*asked * 2)) - 1;
    if (!smallEnough(usual.ink) && lo <= hi) {
        best = placedAt(text(lo));
        size = text(lo);
        while (lo < hi && smallEnough(best.ink)) {
            const int mid = lo + (hi - lo + 1) / 2;
            Placed at = placedAt(text(mid));
            if (smallEnough(at.ink)) {
                lo = mid;
                best = at;
                size = text(mid);
            } else {
                hi = mid - 1;
            }
        }
    }
    // Drawn where its ink is centred: the usual place's fixed offsets would push a name that
    // fills the picture against one edge.
    const QPointF move =
        QRectF(0, 0, SurfaceWidthPx, SurfaceHeightPx).center() - best.ink.center();
    // -1 asks for the usual place: a centred place that falls on it is a twip further on.
    const auto place = [](double twips) {
        const int at = nearest(twips);
        return at == NoPosition ? NoPosition - 1 : at;
    };
    return {size, place(best.mover.left + move.x() * TwipsPerPixel),
            place(best.mover.top + move.y() * TwipsPerPixel)};
}
