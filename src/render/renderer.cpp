#include "renderer.h"

#include "base/programvalues.h"
#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "geometry.h"

#include <QTextBoundaryFinder>

#include <algorithm>

// Registers a font file and selects its face, with what draws the characters of `text` it
// lacks; the caller removes the file after using it.
static void selectFontFile(RenderContext& ctx, const QString& path, const QString& face,
                           const QString& text)
{
    ctx.fonts.addFont(path);
    ctx.surface.setFallbackFaces(ctx.fonts.fallbackFamilies(text, face));
    ctx.surface.setFontName(ctx.fonts.familyFor(path, face));
    ctx.surface.setFontSource(ctx.fonts.sourceOf(path));
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

bool isBlankCharacter(const QString& character)
{
    for (const char32_t c : character.toUcs4()) {
        const bool invisible =
            c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 ||
            c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) ||
            (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) ||
            c == 0xFEFF || c == 0xFFA0 || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
            (c >= 0xE0000 && c <= 0xE0FFF);
        const QChar::Category kind = QChar::category(c);
        const bool mark = kind == QChar::Mark_NonSpacing || kind == QChar::Mark_SpacingCombining ||
                          kind == QChar::Mark_Enclosing;
        if (!invisible && !mark && !QChar::isSpace(c))
            return false;
    }
    return true;
}

QString visibleName(const QString& name)
{
    QStringList shown = characters(name);
    shown.removeIf([](const QString& c) { return isBlankCharacter(c); });
    return shown.join(QString());
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
    return points >= 72 ? Layout::Tightening : Layout::Tightening * points / 72;
}

std::optional<QString> compoundSurnameGlyph(const CompoundSurnames& surnames, const QString& name)
{
    const auto entry = surnames.constFind(characters(name, 2).join(QString()));
    if (entry == surnames.constEnd())
        return std::nullopt;
    return *entry;
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

Pieces splitChinese(const QString& n, const CompoundSurnames& surnames)
{
    const QStringList c = characters(n);
    if (const std::optional<QString> glyph = compoundSurnameGlyph(surnames, n)) {
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
        x = nearest((s.innerWidth() - s.textWidth(name)) / 2 - Layout::CentreShiftLeft);
    if (y == NoPosition)
        y = nearest((s.innerHeight() - s.textHeight(name)) / 2 - Layout::CentreShiftUp);
    const QStringList chars = characters(name);
    const double tightening = tighteningAt(points);
    ctx.handle.place(x, y, s.textWidth(name) - double(chars.size() - 1) * tightening,
                     s.textHeight(name));
    s.drawText(QPointF(x, y), chars.value(0));
    // Each character starts a little before the end of the previous one's own advance.
    for (qsizetype i = 1; i < chars.size(); ++i) {
        x = nearest(s.textWidth(chars[i - 1]) + x - tightening);
        s.drawText(QPointF(x, y), chars[i]);
    }
    ctx.fonts.removeFont(fontPath);
}

// Draws a character with its ink inside a cell: as it comes when its ink lies in the cell, else
// centred in it, and scaled down where it is larger, so that no character crosses the frame or
// its neighbours (a character from another face sits where that face puts it).
void drawInCell(Surface& s, const QString& text, double points, double x, double y, double width,
                double height)
{
    const QRectF ink = s.textInk(text);
    if (QRectF(0, 0, width, height).contains(ink)) {
        s.drawText(QPointF(x, y), text);
        return;
    }
    s.setFontSize(points * std::min({1.0, width / ink.width(), height / ink.height()}));
    s.drawText(QPointF(x + width / 2, y + height / 2) - s.textInk(text).center(), text);
    s.setFontSize(points);
}

void drawSeal(RenderContext& ctx, const DrawInputs& in, const QString& fontPath, bool intaglio,
              double points, int x, int y)
{
    Surface& s = ctx.surface;
    // Blanks take no cell, and the first cell, which sizes them all, is a character's.
    const QString name = completedSealName(visibleName(in.chineseName));
    const QStringList chars = characters(name, MaxSealCharacters);
    const SealGrid grid = sealGridFor(chars.size());
    const QString first = chars.value(0);
    const double tw1 = s.textWidth(first);
    const double th1 = s.textHeight(first);
    if (x == NoPosition)
        x = nearest((s.innerWidth() - grid.columns * tw1) / 2 - Layout::CentreShiftLeft -
                    Layout::SealShiftLeft);
    // A third row lifts the seal by half a cell, so that it stays centred as two rows are.
    if (y == NoPosition)
        y = nearest((s.innerHeight() - s.textHeight(name) - (grid.rows - 2) * th1) / 2 -
                    Layout::CentreShiftUp - Layout::SealShiftUp);
    const auto cellX = [&](int column) { return nearest(column * tw1 + x); };
    const auto cellY = [&](int row) { return nearest(row * th1 + y); };
    const int right = cellX(grid.columns - 1);
    const int bottom = cellY(grid.rows - 1);

    ctx.handle.place(x, y, grid.columns * tw1, grid.rows * th1);
    // The frame reaches out of the grid on the left and at the top. Its edges, not a QRectF,
    // which keeps a width and would move the right edge by a rounding.
    const double frameLeft = double(x) - Layout::FrameMarginLeft;
    const double frameTop = double(y) - Layout::FrameMarginTop;
    const double frameRight = right + tw1;
    const double frameBottom = bottom + th1;
    // A carved frame is as heavy as the strokes inside it: the ink of 一 is one stroke.
    const double stroke = s.textInk(QStringLiteral("一")).height() / TwipsPerPixel;
    const int linePx = std::clamp(int(std::lround(stroke)), 1,
                                  std::max(1, int(tw1 / TwipsPerPixel / 8)));
    s.drawFrame(frameLeft, frameTop, frameRight, frameBottom, SealFrameColor, intaglio, linePx);
    if (chars.size() == 1) {
        // One character fills the square of four cells, its ink in the middle of the frame.
        s.setFontSize(points * 2);
        const QRectF ink = s.textInk(first);
        if (ink.width() <= 2 * tw1 && ink.height() <= 2 * th1) {
            s.drawText(QPointF((frameLeft + frameRight) / 2, (frameTop + frameBottom) / 2) -
                           ink.center(),
                       first);
        } else {
            drawInCell(s, first, points * 2, x, y, 2 * tw1, 2 * th1);
        }
        s.setFontSize(points);
    } else if (chars.size() > 1) {
        // Row by row on the surface; the name reads down the right column first.
        for (int row = 0; row < grid.rows; ++row)
            for (int column = 0; column < grid.columns; ++column) {
                const qsizetype at = (grid.columns - 1 - column) * grid.rows + row;
                if (at < chars.size())
                    drawInCell(s, chars[at], points, cellX(column), cellY(row), tw1, th1);
            }
    }
    if (in.worn && !chars.isEmpty())
        s.wear(frameLeft, frameTop, frameRight, frameBottom,
               SealWear{wearSeed(name), linePx, intaglio, SealFrameColor, in.ink});
    ctx.fonts.removeFont(fontPath);
}

void drawFolderStyle(RenderContext& ctx, const Style& style, const DrawInputs& in, int x, int y)
{
    Surface& s = ctx.surface;
    if (style.files.size() != 3)
        return;
    Pieces pieces;
    if (style.kind == Style::Kind::LatinFolder) {
        pieces = splitLatin(in.latinName);
    } else {
        if (in.chineseName.isEmpty())
            return;
        pieces = splitChinese(in.chineseName, ctx.values.compoundSurnames);
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
        selectFontFile(ctx, files[k], faces[k], in.latinName + in.chineseName);
        w[k] = nearestWhole(s.textWidth(*piece[k]));
        ctx.fonts.removeFont(files[k]);
    }
    const double W = w[0] + w[1] + w[2];

    // Each piece's height is asked for before its own face is selected, so it is measured in
    // the face selected last.
    auto drawPiece = [&](int k, double cx, bool placeHandle) {
        const QPointF at(cx, y != NoPosition ? y
                                             : (s.innerHeight() - s.textHeight(*piece[k])) / 2 -
                                                   Layout::CentreShiftUp);
        if (placeHandle)
            ctx.handle.place(at.x(), at.y(), W, s.textHeight(*piece[k]));
        selectFontFile(ctx, files[k], faces[k], in.latinName + in.chineseName);
        s.drawText(at, *piece[k]);
        ctx.fonts.removeFont(files[k]);
    };
    const double centredLeft = (s.innerWidth() - W) / 2 - Layout::CentreShiftLeft;
    if (!pieces.head.isEmpty())
        drawPiece(0, x != NoPosition ? x : centredLeft, true);
    if (!pieces.middle.isEmpty())
        drawPiece(1, x != NoPosition ? x + w[0] : centredLeft + w[0], false);
    if (!pieces.tail.isEmpty())
        drawPiece(2, x != NoPosition ? x + w[0] + w[1] : centredLeft + w[0] + w[1], false);
}

} // namespace

DrawOutcome drawSignature(RenderContext& ctx, const DrawInputs& in, int x, int y)
{
    const std::optional<double> points = fontSizeFromText(in.sizeText);
    if (!points)
        return DrawOutcome::BadSize;

    Surface& s = ctx.surface;
    s.clear();
    s.setBackground(in.backgroundPath);
    s.setFontName(QStringLiteral("Courier New"));
    s.setFontSize(*points);
    s.setInkColor(in.ink);

    // No style chosen: the background alone.
    if (!in.style)
        return DrawOutcome::Drawn;
    const Style& style = *in.style;
    switch (style.kind) {
    case Style::Kind::FontFile:
    case Style::Kind::Seal:
    case Style::Kind::IntaglioSeal: {
        const QString& file = style.files.first();
        selectFontFile(ctx, file, style.faces.first(), in.chineseName);
        if (style.isSeal())
            drawSeal(ctx, in, file, style.kind == Style::Kind::IntaglioSeal, *points, x, y);
        else
            drawOrdinaryStyle(ctx, in.chineseName, file, *points, x, y);
        break;
    }
    case Style::Kind::Folder:
    case Style::Kind::LatinFolder:
        drawFolderStyle(ctx, style, in, x, y);
        break;
    }
    return DrawOutcome::Drawn;
}
