#include "stylelayouts.h"

#include "catalogue/stylerules.h"
#include "geometry.h"
#include "names.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double InnerWidth = SurfaceWidthPx * TwipsPerPixel;
constexpr double InnerHeight = SurfaceHeightPx * TwipsPerPixel;

// A run of `text` at `at`, its ink measured there.
PlacedRun run(Faces& faces, const RunFace& face, double points, const QString& text, QPointF at)
{
    return PlacedRun{text, face, points, at, faces.ink(face, points, text).translated(at)};
}

// Whether a character is drawn close to a neighbour of its kind: a Han character, or the
// glyph of a compound surname, which stands for two. Letters, digits, spaces and marks keep
// the face's own spacing on both sides.
bool isIdeograph(const QString& character)
{
    const char32_t c = character.isEmpty() ? 0 : character.toUcs4().value(0);
    return QChar::script(c) == QChar::Script_Han || QChar::category(c) == QChar::Other_PrivateUse;
}

// Whether a piece is the one glyph the kit draws for a compound surname.
bool isCompoundGlyph(const QString& piece)
{
    return piece.size() == 1 && QChar::category(piece.at(0).unicode()) == QChar::Other_PrivateUse;
}

// How much closer `after`, its left edge `advance` right of `before`'s and `dy` lower, may
// come to `before` with a hair left between their inks; negative where their inks are closer
// than that already. Unlimited where no band holds ink of both.
double roomBetween(const InkProfile& before, const InkProfile& after, double advance, double dy)
{
    double room = std::numeric_limits<double>::infinity();
    const double band = std::max(before.band, after.band);
    if (band <= 0)
        return room;
    const auto bands = qsizetype(before.left.size());
    for (size_t j = 0; j < after.left.size(); ++j) {
        if (after.left[j] > after.right[j])
            continue;
        // The bands of `before` beside this one, and those a band above and below it: what
        // comes within a hair diagonally is as close as what is level.
        const double y = after.top + double(j) * after.band + dy;
        const auto first = qsizetype(std::floor((y - before.top) / band)) - 1;
        for (qsizetype k = std::max<qsizetype>(first, 0); k < std::min(first + 3, bands); ++k)
            if (before.left[k] <= before.right[k])
                room = std::min(room, after.left[j] + advance - before.right[k]);
    }
    return room - band;
}

// How far each character but the first of a line starts before the end of the previous one's
// advance. Two ideographs close up by the tightening, less where their inks would come closer
// than a hair; beside an ideograph, anything keeps at least a hair from its ink (a middle dot
// under the overhang of the character before it would vanish). Letters beside letters keep the
// face's spacing: a script face joins them by design.
double tighteningBetween(Faces& faces, const RunFace& face, double points, const QString& before,
                         const QString& after, double dy = 0)
{
    const int ideographs = int(isIdeograph(before)) + int(isIdeograph(after));
    if (ideographs == 0)
        return 0;
    const double room = roomBetween(faces.profile(face, points, before),
                                    faces.profile(face, points, after),
                                    faces.width(face, points, before), dy);
    return std::min(ideographs == 2 ? tighteningAt(points) : 0.0, room);
}

} // namespace

namespace {

Layout ordinaryLayout(const SignatureSpec& spec, Faces& faces, RulesPlace at)
{
    Layout layout;
    const QString& name = spec.chineseName;
    FontHold hold;
    const RunFace face = faces.select(spec.style->files.first(), spec.style->faces.first(), name, hold);
    layout.holds.push_back(hold);
    const double points = spec.points;
    const double width = faces.width(face, points, name);
    const double height = faces.height(face, points);
    int x = at.x ? *at.x : nearest((InnerWidth - width) / 2 - Rules::CentreShiftLeft);
    const int y = at.y ? *at.y : nearest((InnerHeight - height) / 2 - Rules::CentreShiftUp);
    const QStringList chars = characters(name);
    double tightened = 0;
    // Each character starts a little before the end of the previous one's own advance.
    for (qsizetype i = 0; i < chars.size(); ++i) {
        if (i > 0) {
            const double by = tighteningBetween(faces, face, points, chars[i - 1], chars[i]);
            x = nearest(faces.width(face, points, chars[i - 1]) + x - by);
            tightened += by;
        }
        layout.runs.push_back(run(faces, face, points, chars[i], QPointF(x, y)));
    }
    // A mark between two ideographs, such as the dot between the parts of a name, sits in the
    // middle of the gap between their inks.
    for (qsizetype i = 1; i + 1 < chars.size(); ++i) {
        if (!isIdeograph(chars[i - 1]) || !isIdeograph(chars[i + 1]) ||
            !QChar::isPunct(chars[i].toUcs4().value(0)))
            continue;
        PlacedRun& mark = layout.runs[size_t(i)];
        const InkProfile shape = faces.profile(face, points, chars[i]);
        const PlacedRun& left = layout.runs[size_t(i - 1)];
        const PlacedRun& right = layout.runs[size_t(i + 1)];
        const double before = roomBetween(faces.profile(face, points, left.text), shape,
                                          mark.at.x() - left.at.x(), 0);
        const double after = roomBetween(shape, faces.profile(face, points, right.text),
                                         right.at.x() - mark.at.x(), 0);
        if (std::isfinite(before) && std::isfinite(after)) {
            const double by = nearest((after - before) / 2);
            mark.at.rx() += by;
            mark.ink.translate(by, 0);
        }
    }
    // An empty name leaves a box one tightening wide to take hold of.
    if (chars.isEmpty())
        tightened = -tighteningAt(points);
    layout.textBox = QRectF(layout.runs.empty() ? x : layout.runs.front().at.x(), y,
                            width - tightened, height);
    return layout;
}

// A character with its ink inside a cell: as it comes when its ink lies in the cell or in the
// frame's reach out of it on the left and at the top, else centred in the cell, and scaled
// down where it is larger, so that no character crosses the frame or its neighbours (a
// character from another face sits where that face puts it).
PlacedRun inCell(Faces& faces, const RunFace& face, const QString& text, double points, double x,
                 double y, double width, double height)
{
    const QRectF ink = faces.ink(face, points, text);
    if (QRectF(-Rules::FrameMarginLeft, -Rules::FrameMarginTop, width + Rules::FrameMarginLeft,
               height + Rules::FrameMarginTop)
            .contains(ink))
        return run(faces, face, points, text, QPointF(x, y));
    const double scaled = points * std::min({1.0, width / ink.width(), height / ink.height()});
    return run(faces, face, scaled, text,
               QPointF(x + width / 2, y + height / 2) - faces.ink(face, scaled, text).center());
}

Layout sealLayout(const SignatureSpec& spec, Faces& faces, RulesPlace at)
{
    Layout layout;
    FontHold hold;
    const RunFace face = faces.select(spec.style->files.first(), spec.style->faces.first(),
                                      spec.chineseName, hold);
    layout.holds.push_back(hold);
    const double points = spec.points;
    // Blanks take no cell, and the first cell, which sizes them all, is a character's.
    const QString name = completedSealName(visibleName(spec.chineseName));
    const QStringList chars = characters(name, MaxSealCharacters);
    if (chars.size() == MaxSealCharacters)
        layout.leftOut = name.mid(chars.join(QString()).size());
    const SealGrid grid = sealGridFor(chars.size());
    const QString first = chars.value(0);
    const double tw1 = faces.width(face, points, first);
    const double th1 = faces.height(face, points);
    const int x = at.x ? *at.x
                       : nearest((InnerWidth - grid.columns * tw1) / 2 - Rules::CentreShiftLeft -
                                 Rules::SealShiftLeft);
    // A third row lifts the seal by half a cell, so that it stays centred as two rows are.
    const int y = at.y ? *at.y
                       : nearest((InnerHeight - th1 - (grid.rows - 2) * th1) / 2 -
                                 Rules::CentreShiftUp - Rules::SealShiftUp);
    const auto cellX = [&](int column) { return nearest(column * tw1 + x); };
    const auto cellY = [&](int row) { return nearest(row * th1 + y); };
    layout.textBox = QRectF(x, y, grid.columns * tw1, grid.rows * th1);

    // The frame reaches out of the grid on the left and at the top. A carved frame is as heavy
    // as the strokes inside it: the ink of 一 is one stroke.
    SealFrame frame;
    frame.left = double(x) - Rules::FrameMarginLeft;
    frame.top = double(y) - Rules::FrameMarginTop;
    frame.right = cellX(grid.columns - 1) + tw1;
    frame.bottom = cellY(grid.rows - 1) + th1;
    frame.color = SealFrameColor;
    frame.filled = spec.style->kind == Style::Kind::IntaglioSeal;
    const double stroke = faces.ink(face, points, QStringLiteral("一")).height() / TwipsPerPixel;
    frame.linePx = std::clamp(int(std::lround(stroke)), 1, std::max(1, int(tw1 / TwipsPerPixel / 8)));
    if (spec.worn && !chars.isEmpty())
        frame.wear = SealWear{wearSeed(name), frame.linePx, frame.filled, SealFrameColor, spec.ink};
    layout.frame = frame;

    if (chars.size() == 1) {
        // One character fills the square of four cells, its ink in the middle of the frame.
        const QRectF ink = faces.ink(face, points * 2, first);
        if (ink.width() <= 2 * tw1 && ink.height() <= 2 * th1)
            layout.runs.push_back(run(faces, face, points * 2, first,
                                      QPointF((frame.left + frame.right) / 2,
                                              (frame.top + frame.bottom) / 2) -
                                          ink.center()));
        else
            layout.runs.push_back(inCell(faces, face, first, points * 2, x, y, 2 * tw1, 2 * th1));
    } else if (chars.size() > 1) {
        // Row by row; the name reads down the right column first.
        for (int row = 0; row < grid.rows; ++row)
            for (int column = 0; column < grid.columns; ++column) {
                const qsizetype i = (grid.columns - 1 - column) * grid.rows + row;
                if (i < chars.size())
                    layout.runs.push_back(inCell(faces, face, chars[i], points, cellX(column),
                                                 cellY(row), tw1, th1));
            }
    }
    return layout;
}

Layout pieceLayout(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames,
                   RulesPlace at)
{
    Layout layout;
    const Style& style = *spec.style;
    if (style.files.size() != 3)
        return layout;
    Pieces pieces;
    if (style.kind == Style::Kind::LatinFolder)
        pieces = splitLatin(spec.latinName);
    else if (!spec.chineseName.isEmpty())
        pieces = splitChinese(spec.chineseName, surnames);
    const QString piece[3] = {pieces.head, pieces.middle, pieces.tail};
    // Whole numbers held in doubles: three widths of a long name at a large size add up past
    // the 32-bit range.
    RunFace face[3];
    double width[3] = {0, 0, 0}, height[3] = {0, 0, 0};
    int last = -1;
    for (int k = 0; k < 3; ++k) {
        if (piece[k].isEmpty())
            continue;
        FontHold hold;
        face[k] = faces.select(style.files[k], style.faces[k],
                               spec.latinName + spec.chineseName, hold);
        layout.holds.push_back(hold);
        width[k] = nearestWhole(faces.width(face[k], spec.points, piece[k]));
        height[k] = faces.height(face[k], spec.points);
        last = k;
    }
    if (last < 0)
        return layout;
    const bool latin = style.kind == Style::Kind::LatinFolder;
    const double whole = width[0] + width[1] + width[2];
    const double left = at.x ? *at.x : (InnerWidth - whole) / 2 - Rules::CentreShiftLeft;
    // The rules centre each piece by a height measured before its own face is selected: in the
    // face of the piece drawn before it, the first in the face measured last. A named step, as
    // the rules have it: the pieces sit on the lines it gives them.
    int before = last;
    double x = left;
    for (int k = 0; k < 3; ++k) {
        if (piece[k].isEmpty())
            continue;
        const double y = at.y ? *at.y : (InnerHeight - height[before]) / 2 - Rules::CentreShiftUp;
        if (layout.runs.empty()) {
            layout.textBox = QRectF(x, y, whole, height[before]);
        } else if (!latin) {
            // Pieces stand side by side, each in its own face: one that reaches into the next
            // is moved apart until a hair lies between their inks, and a compound surname,
            // written as one, stands three hairs from the name after it.
            const PlacedRun& previous = layout.runs.back();
            const double room = roomBetween(
                faces.profile(previous.face, spec.points, previous.text),
                faces.profile(face[k], spec.points, piece[k]), x - previous.at.x(),
                y - previous.at.y());
            const double wanted = isCompoundGlyph(previous.text) ? 2 * hairAt(spec.points) : 0;
            if (room < wanted) {
                x += nearestWhole(wanted - room);
                layout.textBox.setWidth(layout.textBox.width() + nearestWhole(wanted - room));
            }
        }
        layout.runs.push_back(run(faces, face[k], spec.points, piece[k], QPointF(x, y)));
        x += width[k];
        before = k;
    }
    return layout;
}

} // namespace

namespace {

// What the pad holds, scaled with the size: at 72 points its width is the picture's.
Layout drawnLayout(const SignatureSpec& spec, RulesPlace at)
{
    Layout layout;
    if (!spec.drawn || spec.drawn->size.isEmpty())
        return layout;
    const double twips = spec.points / 72 * SurfaceWidthPx / PadSize.width() * TwipsPerPixel;
    layout.drawn = spec.drawn;
    layout.drawnBox = QRectF(at.x.value_or(0), at.y.value_or(0), spec.drawn->size.width() * twips,
                             spec.drawn->size.height() * twips);
    layout.textBox = layout.drawnBox;
    return layout;
}

} // namespace

Layout rulesLayout(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames,
                   RulesPlace place)
{
    if (!spec.style)
        return {};
    switch (spec.style->kind) {
    case Style::Kind::FontFile:
        return ordinaryLayout(spec, faces, place);
    case Style::Kind::Seal:
    case Style::Kind::IntaglioSeal:
        return sealLayout(spec, faces, place);
    case Style::Kind::Folder:
    case Style::Kind::LatinFolder:
        return pieceLayout(spec, faces, surnames, place);
    case Style::Kind::Handwriting:
        return drawnLayout(spec, place);
    }
    return {};
}
