#include "renderer.h"

#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"

#include <QTextBoundaryFinder>

#include <algorithm>

// Registers a font file and selects its face, with what draws the characters of `text` it
// lacks; the caller removes the file after using it.
static void selectFontFile(RenderContext& ctx, const QString& path, const QString& face,
                           const QString& text)
{
    ctx.fonts.AddFont(path);
    ctx.surface.SetFallbackFaces(ctx.fonts.fallbackFamilies(text, face));
    ctx.surface.SetFontName(ctx.fonts.familyFor(path, face));
    ctx.surface.SetFontSource(ctx.fonts.sourceOf(path));
}

QStringList characters(const QString& text, qsizetype atMost)
{
    QStringList out;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = 0; at < text.size() && out.size() != atMost;) {
        qsizetype next = graphemes.toNextBoundary();
        if (next <= at)
            next = text.size();
        out << text.mid(at, next - at);
        at = next;
    }
    return out;
}

QString completedSealName(const QString& name)
{
    switch (characters(name, 9).size()) {
    case 2:
    case 7:
        return name + QStringLiteral("之印");
    case 3:
    case 5:
    case 8:
        return name + QStringLiteral("印");
    default:
        return name;
    }
}

double tighteningAt(double points)
{
    return points >= 72 ? Tightening : Tightening * points / 72;
}

std::optional<QString> compoundSurnameGlyph(const QString& compoundSurnames, const QString& name)
{
    const QString surname = characters(name, 2).join(QString());
    if (!compoundSurnames.contains(u' ' + surname + u'-'))
        return std::nullopt;
    // Four characters on from where the surname first occurs: the surname, "-", and the
    // character the entry names it by. Only those few characters are split, not the whole list.
    const QString from = compoundSurnames.mid(compoundSurnames.indexOf(surname), 64);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, from);
    for (int i = 0; i < 4 && graphemes.toNextBoundary() >= 0;)
        ++i;
    const qsizetype start = graphemes.position();
    const qsizetype end = graphemes.toNextBoundary();
    return end > start ? from.mid(start, end - start) : QString();
}

namespace {

QString joined(const QStringList& parts, qsizetype from, qsizetype count)
{
    return parts.mid(from, count).join(QString());
}

// Head, middle and tail of a name of L characters from `first` on: the first, the ones between
// and the last.
Pieces headMiddleTail(const QStringList& c, qsizetype first)
{
    const qsizetype L = c.size() - first;
    if (L <= 0)
        return {};
    if (L == 1)
        return {c[first], {}, {}};
    if (L == 2)
        return {c[first], {}, c[first + 1]};
    return {c[first], joined(c, first + 1, L - 2), c.last()};
}

} // namespace

Pieces splitChinese(const QString& n, const QString& compoundSurnames)
{
    const QStringList c = characters(n);
    if (const std::optional<QString> glyph = compoundSurnameGlyph(compoundSurnames, n)) {
        if (c.size() <= 2)
            return {*glyph, {}, {}};
        if (c.size() == 3)
            return {*glyph, {}, c[2]};
        return {*glyph, joined(c, 2, c.size() - 3), c.last()};
    }
    return headMiddleTail(c, 0);
}

Pieces splitLatin(const QString& n)
{
    return headMiddleTail(characters(n), 0);
}

namespace {

void drawOrdinaryStyle(RenderContext& ctx, const QString& name, const QString& fontPath,
                       double points, int x, int y)
{
    Surface& s = ctx.surface;
    if (x == NoPosition)
        x = nearest((s.InnerWidth() - s.TextWidth(name)) / 2 - ctx.values.TextOffsetX);
    if (y == NoPosition)
        y = nearest((s.InnerHeight() - s.TextHeight(name)) / 2 - ctx.values.TextOffsetY);
    s.CursorX = x;
    s.CursorY = y;
    const QStringList chars = characters(name);
    const double tightening = tighteningAt(points);
    ctx.mover.Place(s.CursorX, s.CursorY, s.TextWidth(name) - double(chars.size() - 1) * tightening,
                    s.TextHeight(name));
    s.DrawText(chars.value(0));
    // Each character starts a little before the end of the previous one's own advance.
    for (qsizetype i = 1; i < chars.size(); ++i) {
        x = nearest(s.TextWidth(chars[i - 1]) + x - tightening);
        s.CursorX = x;
        s.CursorY = y;
        s.DrawText(chars[i]);
    }
    ctx.fonts.RemoveFont(fontPath);
}

// Draws a character with its ink inside a cell: as it comes when it fits, else scaled down
// and centred in it, so that a large character neither crosses the frame nor its neighbours.
void drawInCell(Surface& s, const QString& text, double points, double x, double y, double width,
                double height)
{
    const QRectF ink = s.TextInk(text);
    if (ink.width() <= width && ink.height() <= height) {
        s.CursorX = x;
        s.CursorY = y;
        s.DrawText(text);
        return;
    }
    s.SetFontSize(points * std::min(width / ink.width(), height / ink.height()));
    const QPointF centre = s.TextInk(text).center();
    s.CursorX = x + width / 2 - centre.x();
    s.CursorY = y + height / 2 - centre.y();
    s.DrawText(text);
    s.SetFontSize(points);
}

void drawSeal(RenderContext& ctx, const QString& typed, const QString& fontPath, bool intaglio,
              double points, int x, int y)
{
    Surface& s = ctx.surface;
    const QString name = completedSealName(typed);
    const QStringList chars = characters(name, MaxSealCharacters);
    const SealGrid grid = sealGridFor(chars.size());
    const QString first = chars.value(0);
    const double tw1 = s.TextWidth(first);
    const double th1 = s.TextHeight(first);
    if (x == NoPosition)
        x = nearest((s.InnerWidth() - grid.columns * tw1) / 2 - ctx.values.TextOffsetX - 500);
    // A third row lifts the seal by half a cell, so that it stays centred as two rows are.
    if (y == NoPosition)
        y = nearest((s.InnerHeight() - s.TextHeight(name) - (grid.rows - 2) * th1) / 2 -
                    ctx.values.TextOffsetY - 400);
    const auto cellX = [&](int column) { return nearest(column * tw1 + x); };
    const auto cellY = [&](int row) { return nearest(row * th1 + y); };
    const int right = cellX(grid.columns - 1);
    const int bottom = cellY(grid.rows - 1);

    ctx.mover.Place(x, y, grid.columns * tw1, grid.rows * th1);
    s.DrawFrame(double(x) - 100, double(y) - 60, right + tw1, bottom + th1, SealFrameColor,
                intaglio);
    if (chars.size() == 1) {
        // One character fills the square of four cells.
        s.SetFontSize(points * 2);
        drawInCell(s, first, points * 2, x, y, 2 * tw1, 2 * th1);
        s.SetFontSize(points);
    } else if (chars.size() > 1) {
        // Row by row on the surface; the name reads down the right column first.
        for (int row = 0; row < grid.rows; ++row)
            for (int column = 0; column < grid.columns; ++column) {
                const qsizetype at = (grid.columns - 1 - column) * grid.rows + row;
                if (at < chars.size())
                    drawInCell(s, chars[at], points, cellX(column), cellY(row), tw1, th1);
            }
    }
    ctx.fonts.RemoveFont(fontPath);
}

void drawFolderStyle(RenderContext& ctx, const Style& style, const DrawInputs& in, int x, int y)
{
    Surface& s = ctx.surface;
    if (style.files.size() != 3)
        return;
    Pieces pieces;
    if (style.kind == Style::Kind::LatinFolder) {
        pieces = splitLatin(in.txtEN);
    } else {
        if (in.txtCN.isEmpty())
            return;
        pieces = splitChinese(in.txtCN, ctx.values.CompoundSurnames);
    }

    const QString* piece[3] = {&pieces.head, &pieces.middle, &pieces.tail};
    const QStringList& files = style.files;
    const QStringList& faces = style.faces;
    // Whole numbers held in doubles: three widths of a long name at a large size add up past
    // the 32-bit range.
    double w[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        if (piece[k]->isEmpty())
            continue;
        selectFontFile(ctx, files[k], faces[k], in.txtEN + in.txtCN);
        w[k] = nearestWhole(s.TextWidth(*piece[k]));
        ctx.fonts.RemoveFont(files[k]);
    }
    const double W = w[0] + w[1] + w[2];
    const double tox = ctx.values.TextOffsetX;
    const double toy = ctx.values.TextOffsetY;

    // Each piece's height is asked for before its own face is selected, so it is measured in
    // the face selected last.
    auto drawPiece = [&](int k, double cx, bool placeMover) {
        s.CursorX = cx;
        s.CursorY = y != NoPosition ? y : (s.InnerHeight() - s.TextHeight(*piece[k])) / 2 - toy;
        if (placeMover)
            ctx.mover.Place(s.CursorX, s.CursorY, W, s.TextHeight(*piece[k]));
        selectFontFile(ctx, files[k], faces[k], in.txtEN + in.txtCN);
        s.DrawText(*piece[k]);
        ctx.fonts.RemoveFont(files[k]);
    };
    const double centredLeft = (s.InnerWidth() - W) / 2 - tox;
    if (!pieces.head.isEmpty())
        drawPiece(0, x != NoPosition ? x : centredLeft, true);
    if (!pieces.middle.isEmpty())
        drawPiece(1, x != NoPosition ? x + w[0] : centredLeft + w[0], false);
    if (!pieces.tail.isEmpty())
        drawPiece(2, x != NoPosition ? x + w[0] + w[1] : centredLeft + w[0] + w[1], false);
}

} // namespace

DrawOutcome DrawSignature(RenderContext& ctx, const DrawInputs& in, int x, int y)
{
    const std::optional<double> points = fontSizeFromText(in.sizeText);
    if (!points)
        return DrawOutcome::BadSize;

    Surface& s = ctx.surface;
    s.Clear();
    s.SetBackground(in.backgroundPath);
    s.SetFontName(QStringLiteral("Courier New"));
    s.SetFontSize(*points);
    s.SetInkColor(in.ink);

    // No style chosen: the background alone.
    if (!in.style)
        return DrawOutcome::Drawn;
    const Style& style = *in.style;
    switch (style.kind) {
    case Style::Kind::FontFile:
    case Style::Kind::Seal:
    case Style::Kind::IntaglioSeal: {
        const QString& file = style.files.first();
        selectFontFile(ctx, file, style.faces.first(), in.txtCN);
        if (style.isSeal())
            drawSeal(ctx, in.txtCN, file, style.kind == Style::Kind::IntaglioSeal, *points, x, y);
        else
            drawOrdinaryStyle(ctx, in.txtCN, file, *points, x, y);
        break;
    }
    case Style::Kind::Folder:
    case Style::Kind::LatinFolder:
        drawFolderStyle(ctx, style, in, x, y);
        break;
    }
    return DrawOutcome::Drawn;
}
