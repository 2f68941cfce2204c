"""The seal faces: a heavy sans, each character reshaped to fill its square cell with its
corners softened, as a carver cuts a name seal.

The program puts a seal's characters in cells as wide as the first character's advance and as
tall as the line, and draws the frame a fixed number of twips out of the grid on the left and
at the top (the rules printed by the renderer). The face is made so that, at the seal styles'
largest size, the frame is square, the ink lies as far from it on all four sides and the gaps
between characters are narrow."""

import math

from fontTools.pens.cu2quPen import Cu2QuPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import newTable
from fontTools.ttLib.tables._g_l_y_f import GlyphCoordinates

from outlines import set_vertical_metrics

# Each character's ink in a white seal takes this share of its cell's height (its width follows
# from even margins); the rest is the red around it and between the characters.
SEAL_FILL = 0.88
# A character is stretched at most this much either way; one much thinner than its cell one
# way (一, 丨) keeps its strokes as they are and is centred that way.
MOST_STRETCH = 1.7
THIN = 0.4
# Corners sharper than this (the cosine of the angle between their edges) are rounded, by this
# share of the advance.
CORNER = -0.5
CORNER_RADIUS = 0.018


def truetype(font):
    """A CFF font's outlines as TrueType quadratic outlines, within one font unit."""
    glyphset, order = font.getGlyphSet(), font.getGlyphOrder()
    glyphs = {}
    for name in order:
        pen = TTGlyphPen(None)
        glyphset[name].draw(Cu2QuPen(pen, 1.0, reverse_direction=True))
        glyphs[name] = pen.glyph()
    font["loca"] = newTable("loca")
    glyf = font["glyf"] = newTable("glyf")
    glyf.glyphOrder, glyf.glyphs = order, glyphs
    for tag in ("CFF ", "VORG"):
        if tag in font:
            del font[tag]
    maxp = font["maxp"]
    maxp.tableVersion = 0x00010000
    for field in ("maxZones", "maxTwilightPoints", "maxStorage", "maxFunctionDefs",
                  "maxInstructionDefs", "maxStackElements", "maxSizeOfInstructions",
                  "maxComponentElements", "maxPoints", "maxContours", "maxCompositePoints",
                  "maxCompositeContours", "maxComponentDepth"):
        setattr(maxp, field, 0)
    maxp.maxZones = 1
    font["head"].glyphDataFormat = 0
    font["post"].formatType = 3.0
    font.sfntVersion = "\x00\x01\x00\x00"
    for name in order:
        glyphs[name].recalcBounds(glyf)


def seal_cell(font, advance, points, frame_margin, filled, bar):
    """The cell's line height, the box every character's ink fills, in font units: (left,
    bottom, right, top) above the baseline, the ascent that puts it there, and the frame's
    line width. The frame is `frame_margin` twips (left, top) out of the grid at `points` and
    its line as heavy as 一, whose ink box is `bar` (width, height); a `filled` frame has no
    line, the red around the characters is their margin."""
    twips = points * 20 / font["head"].unitsPerEm
    left, top = frame_margin[0] / twips, frame_margin[1] / twips
    # Two cells and the left margin as wide as two cells and the top margin are tall.
    height = advance + (left - top) / 2

    # The frame reaches further out on the left than at the top: the sides' margins are a
    # little wider than the top's and the bottom's, so that one character alone, drawn twice
    # as large in the middle, keeps its margins within a pixel of each other too.
    def box_for(margin):
        side = margin + (left - top) / 6
        box_height = height - 2 * margin + top
        below = round(0.12 * advance)
        return (side - left, -below, advance - side, box_height - below)

    # The frame's line is as heavy as 一, whose stroke is kept, in whole pixels as it is drawn.
    # The rows stand no further apart than one and a half lines: the ink keeps what that leaves
    # inside the line, up to a pixel, less half a pixel for the rounding of where it falls.
    pixel = 15 / twips
    line = max(1, round(bar[1] / pixel)) * pixel
    if filled:
        margin = ((1 - SEAL_FILL) * height + top) / 2
    else:
        margin = line + max(0, min(pixel, (top + 1.5 * line) / 2 - line - pixel / 2))
    box = box_for(margin)
    ascent = box[3] + (margin - top)
    return height, box, ascent, bar[1]


def _fill(glyph, box):
    """Stretches the glyph's ink into `box`."""
    x0, y0, x1, y1 = glyph.xMin, glyph.yMin, glyph.xMax, glyph.yMax
    width, height = max(1, x1 - x0), max(1, y1 - y0)
    sx = min(MOST_STRETCH, (box[2] - box[0]) / width)
    sy = min(MOST_STRETCH, (box[3] - box[1]) / height)
    if width < THIN * (box[2] - box[0]):
        sx = 1
    if height < THIN * (box[3] - box[1]):
        sy = 1
    cx, cy = (box[0] + box[2]) / 2, (box[1] + box[3]) / 2
    mx, my = (x0 + x1) / 2, (y0 + y1) / 2
    coordinates = glyph.coordinates
    for i, (x, y) in enumerate(coordinates):
        coordinates[i] = (round(cx + (x - mx) * sx), round(cy + (y - my) * sy))


def _soften(glyph, radius):
    """Rounds the glyph's sharp corners between straight edges."""
    coordinates, flags = list(glyph.coordinates), list(glyph.flags)
    points, on, ends, start = [], [], [], 0
    for end in glyph.endPtsOfContours:
        contour = list(zip(coordinates[start:end + 1], flags[start:end + 1]))
        n = len(contour)
        for i, (p, flag) in enumerate(contour):
            before, after = contour[i - 1], contour[(i + 1) % n]
            rounded = False
            if flag & 1 and before[1] & 1 and after[1] & 1:
                ax, ay = before[0][0] - p[0], before[0][1] - p[1]
                bx, by = after[0][0] - p[0], after[0][1] - p[1]
                la, lb = math.hypot(ax, ay), math.hypot(bx, by)
                if la and lb and (ax * bx + ay * by) / (la * lb) > CORNER:
                    ra, rb = min(radius, 0.4 * la), min(radius, 0.4 * lb)
                    points += [(round(p[0] + ax / la * ra), round(p[1] + ay / la * ra)), p,
                               (round(p[0] + bx / lb * rb), round(p[1] + by / lb * rb))]
                    on += [1, 0, 1]
                    rounded = True
            if not rounded:
                points.append(p)
                on.append(flag & 1)
        ends.append(len(points) - 1)
        start = end + 1
    glyph.coordinates = GlyphCoordinates(points)
    glyph.flags = bytearray(on)
    glyph.endPtsOfContours = ends


def carve(font, advance, points, frame_margin, filled, soften=True):
    """Every character as wide as `advance`, its ink filling the cell's box, corners softened;
    the line as tall as the cell. Returns the box and the frame's line width, in font units."""
    glyf, hmtx, cmap = font["glyf"], font["hmtx"], font.getBestCmap()
    one = glyf[cmap[ord("一")]]
    height, box, ascent, line = seal_cell(font, advance, points, frame_margin, filled,
                                          (one.xMax - one.xMin, one.yMax - one.yMin))
    em = font["head"].unitsPerEm
    for name in font.getGlyphOrder():
        glyph = glyf[name]
        if glyph.numberOfContours > 0 and hmtx[name][0] >= 0.8 * advance:
            _fill(glyph, box)
            if soften:
                _soften(glyph, CORNER_RADIUS * advance)
            glyph.recalcBounds(glyf)
            hmtx[name] = (advance, glyph.xMin)
    set_vertical_metrics(font, ascent / em, (height - ascent) / em)
    return box, line


def fill_cells(font, box):
    """A fallback's characters filling the seal's box, as the seal's own do."""
    glyf, hmtx = font["glyf"], font["hmtx"]
    for name in font.getGlyphOrder():
        glyph = glyf[name]
        if glyph.numberOfContours > 0:
            _fill(glyph, box)
            glyph.recalcBounds(glyf)
            hmtx[name] = (hmtx[name][0], glyph.xMin)
