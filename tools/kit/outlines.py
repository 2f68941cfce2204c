"""Changes to a face's outlines and metrics that the kit builder makes: every glyph grown,
moved or shrunk within its cell, the line's height set, the face scaled."""

import math

PX_PER_EM = 96  # 72 points at 96 dpi


def embolden(font, amount):
    """Grows every outline by `amount` font units across each stroke (half on each side), by
    moving each point of a contour outward along the bisector of its two edges, as a font
    engine's synthetic bold does. Advances stay; side bearings follow the ink."""
    glyf, hmtx = font["glyf"], font["hmtx"]
    half = amount / 2
    for name in font.getGlyphOrder():
        glyph = glyf[name]
        if glyph.numberOfContours <= 0:
            continue
        coordinates, ends = glyph.coordinates, glyph.endPtsOfContours
        # Ink lies on the right of a contour's direction in a TrueType face; a face drawn the
        # other way round is grown the other way.
        area, start = 0.0, 0
        for end in ends:
            points = coordinates[start:end + 1]
            area += sum(points[i - 1][0] * points[i][1] - points[i][0] * points[i - 1][1]
                        for i in range(len(points)))
            start = end + 1
        side = 1 if area <= 0 else -1
        moved, start = [], 0
        for end in ends:
            points = coordinates[start:end + 1]
            n = len(points)
            for i in range(n):
                (px, py), (x, y), (nx, ny) = points[i - 1], points[i], points[(i + 1) % n]
                ax, ay, bx, by = x - px, y - py, nx - x, ny - y
                la, lb = math.hypot(ax, ay), math.hypot(bx, by)
                if not la or not lb:
                    moved.append((x, y))
                    continue
                ax, ay, bx, by = ax / la, ay / la, bx / lb, by / lb
                cosine = ax * bx + ay * by
                if cosine <= -0.9:  # a spike turning back on itself: left where it is
                    moved.append((x, y))
                    continue
                k = side * half / (1 + cosine)
                moved.append((x - (ay + by) * k, y + (ax + bx) * k))
            start = end + 1
        glyph.coordinates = type(coordinates)([(round(x), round(y)) for x, y in moved])
    font.__dict__.pop("ink_boxes", None)
    for name in font.getGlyphOrder():
        glyph = glyf[name]
        if glyph.numberOfContours != 0:
            glyph.recalcBounds(glyf)
            hmtx[name] = (hmtx[name][0], glyph.xMin)


def vertical_metrics(font):
    """Ascent and descent in ems."""
    em = font["head"].unitsPerEm
    return font["hhea"].ascent / em, -font["hhea"].descent / em


def set_vertical_metrics(font, ascent, descent):
    """Every table that tells a line's height says the same, so that any engine measures it
    alike."""
    em = font["head"].unitsPerEm
    up, down = round(ascent * em), round(descent * em)
    font["hhea"].ascent, font["hhea"].descent, font["hhea"].lineGap = up, -down, 0
    os2 = font["OS/2"]
    os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap = up, -down, 0
    os2.usWinAscent, os2.usWinDescent = max(up, 0), max(down, 0)


def scale_face(font, factor):
    """Makes every glyph and metric `factor` times its size: the em grows instead."""
    if factor != 1:
        font["head"].unitsPerEm = round(font["head"].unitsPerEm / factor)


def move_outlines(font, right_px, down_px):
    """Moves every outline within its cell, `right_px` and `down_px` pixels at 72 points:
    advances, line height and every measured width stay as they are. Down moves ascent into
    descent, which lowers the baseline under the line's top."""
    em = font["head"].unitsPerEm
    dx = round(right_px / PX_PER_EM * em)
    font.__dict__.pop("ink_boxes", None)  # the outlines move: their boxes with them
    if dx:
        glyf, hmtx = font["glyf"], font["hmtx"]
        for name in font.getGlyphOrder():
            glyph = glyf[name]
            if glyph.numberOfContours > 0:
                glyph.coordinates.translate((dx, 0))
        for name in font.getGlyphOrder():
            glyph = glyf[name]
            if glyph.numberOfContours != 0:
                glyph.recalcBounds(glyf)
                hmtx[name] = (hmtx[name][0], glyph.xMin)
    if down_px:
        ascent, descent = vertical_metrics(font)
        set_vertical_metrics(font, ascent + down_px / PX_PER_EM, descent - down_px / PX_PER_EM)
    return dx


# A script face's word space is often a sliver that its swashes close up: "Anna Lee" would read
# "AnnaLee". A space is at least this wide.
LEAST_SPACE = 0.25


def widen_spaces(font):
    em = font["head"].unitsPerEm
    cmap, hmtx = font.getBestCmap(), font["hmtx"]
    for cp in (0x20, 0xA0):
        if cp in cmap:
            advance, lsb = hmtx[cmap[cp]]
            hmtx[cmap[cp]] = (max(advance, round(LEAST_SPACE * em)), lsb)
