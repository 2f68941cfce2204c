#include "fitting.h"

#include "catalogue/stylerules.h"
#include "measuredsurface.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// Draws nothing: notes where the ink of every text and frame would fall, from the glyphs' own
// ink boxes, so that finding a size costs shaping alone.
class InkSurface : public MeasuredSurface
{
public:
    explicit InkSurface(bool findMissing = false)
        : MeasuredSurface(true), findMissing_(findMissing)
    {
    }
    QRectF ink() const { return ink_; }
    const QStringList& missing() const { return missing_; }

    void clear() override { ink_ = QRectF(); }
    bool setBackground(const QString&) override { return true; }
    void drawText(QPointF where, const QString& s) override
    {
        if (s.isEmpty())
            return;
        if (findMissing_ && lacksAGlyph(s))
            for (const QString& c : characters(s))
                if (!isBlankCharacter(c) && !missing_.contains(c) && lacksAGlyph(c))
                    missing_ << c;
        const QRectF box = textInk(s).translated(where);
        if (!box.isEmpty())
            ink_ |= QRectF(box.topLeft() / TwipsPerPixel, box.size() / TwipsPerPixel);
    }
    void drawFrame(double x1, double y1, double x2, double y2, QRgb, bool, int) override
    {
        ink_ |= framePixels(x1, y1, x2, y2);
    }

private:
    // A glyph numbered 0 is the empty box a face draws for what it does not have.
    bool lacksAGlyph(const QString& s)
    {
        for (const ShapedText::Run& run : shaper_.shaped(face_, s).runs)
            if (run.glyphs.contains(0))
                return true;
        return false;
    }

    bool findMissing_;
    QRectF ink_;
    QStringList missing_;
};

struct Placed
{
    QRectF ink; // reference pixels
    TextHandleRect handle;
};

Placed placedAsUsual(const ProgramValues& values, FontTable& fonts, const DrawInputs& in)
{
    InkSurface surface;
    Placed placed;
    RenderContext ctx{values, fonts, surface, placed.handle};
    drawSignature(ctx, in, NoPosition, NoPosition);
    placed.ink = surface.ink();
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

    // Half points. Ink grows about in proportion to the size, so the size that would just fit
    // in proportion is tried first, then its neighbour; a bisection of what is left finds the
    // answer where the guess was off. Never below 8 points, nor below a smaller size asked.
    const auto text = [](int halves) { return QString::number(halves / 2.0); };
    const auto smallEnough = [&](const QRectF& ink) {
        return ink.width() <= inside.width() && ink.height() <= inside.height();
    };
    QString size = in.sizeText;
    Placed best = usual;
    const int smallest = int(SmallestFittedSize * 2);
    int lo = smallest;
    int hi = int(std::ceil(*asked * 2)) - 1;
    if (!smallEnough(usual.ink) && lo <= hi) {
        std::optional<Placed> atLo;
        const auto probe = [&](int halves) {
            Placed at = placedAt(text(halves));
            if (smallEnough(at.ink)) {
                lo = halves;
                atLo = at;
            } else {
                hi = halves - 1;
            }
        };
        const double k = std::min(inside.width() / usual.ink.width(),
                                  inside.height() / usual.ink.height());
        const int guess = std::clamp(int(std::floor(*asked * 2 * k)), lo, hi);
        probe(guess);
        if (lo == guess && guess < hi)
            probe(guess + 1);
        else if (hi == guess - 1 && guess - 1 >= lo)
            probe(guess - 1);
        while (lo < hi)
            probe(lo + (hi - lo + 1) / 2);
        if (!atLo)
            atLo = placedAt(text(lo));
        best = *atLo;
        size = text(lo);
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
    return {size, place(best.handle.left + move.x() * TwipsPerPixel),
            place(best.handle.top + move.y() * TwipsPerPixel)};
}

QStringList charactersNoFaceDraws(const ProgramValues& values, FontTable& fonts,
                                  const DrawInputs& in)
{
    if (!in.style || !fontSizeFromText(in.sizeText))
        return {};
    InkSurface surface(true);
    TextHandleRect handle;
    RenderContext ctx{values, fonts, surface, handle};
    drawSignature(ctx, in, NoPosition, NoPosition);
    return surface.missing();
}
