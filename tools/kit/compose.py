"""Letters of European and pinyin names composed in a script face that lacks them.

A missing accented letter is built as a composite of its base letter and its accent, both from
the face itself where it has them. The accent comes from the face's spacing accent, its
combining mark, or is cut from another letter of the face that carries it (the breve of ă for
ğ); only when the face has none of these is it taken from a related script face, scaled to this
one. Where the accent sits is learnt from the face's own é and É (and ç for marks below), so a
slanted script puts its accents where its own designer put them.
"""

import unicodedata

from fontTools.pens.basePen import BasePen
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib.tables._g_l_y_f import Glyph, GlyphComponent

# Letters of European and pinyin names: Latin Extended-A, the pinyin vowels with tone marks, and
# the Romanian comma-below letters.
NAME_LETTERS = ([chr(c) for c in range(0x100, 0x180)] + list("ǍǎǏǐǑǒǓǔǕǖǗǘǙǚǛǜ")
                + list("ȘșȚț") + list("ƠơƯư") + [chr(c) for c in range(0x1EA0, 0x1EFA)]
                + list("ƏəǦǧǴǵẞ"))

ABOVE = {
    "\u0300": "\u0060\u02cb", "\u0301": "\u00b4\u02ca", "\u0302": "\u02c6\u005e",
    "\u0303": "\u02dc", "\u0304": "\u00af\u02c9", "\u0306": "\u02d8", "\u0307": "\u02d9",
    "\u0308": "\u00a8", "\u030a": "\u02da\u00b0", "\u030b": "\u02dd", "\u030c": "\u02c7",
    # Vietnamese: the hook above is written as a small apostrophe where a face has no hook,
    # and so is the horn, at the letter's shoulder.
    "\u0309": "\u02c0\u2019\u0027", "\u031b": "\u2019\u0027",
}
BELOW = {"\u0327": "\u00b8", "\u0328": "\u02db", "\u0326": "\u002c", "\u0323": "\u002e"}
# Marks drawn smaller than the face's own spacing glyph for them.
MARK_SCALE = {"\u0309": 0.75, "\u031b": 0.8}

# Letters that are no base plus accent: made from other glyphs of the face where they can be.
SAME_AS = {"Đ": "Ð", "ẞ": "ß"}
# A schwa is an e turned over.
TURNED = {"ə": "e", "Ə": "e"}
PAIRS = {"Ĳ": "IJ", "ĳ": "ij", "ŉ": "\u2019n"}
WITH_MIDDLE_DOT = {"Ŀ": "L", "ŀ": "l"}
DOTLESS = {"ı": "i"}
# A caron over a letter with an ascender is written as an apostrophe beside it.
CARON_AS_APOSTROPHE = set("dltL")
# The least room, in ems, between a composed mark and its letter: a script's comma or apostrophe
# placed as its é and ç are may otherwise run into a loop or a swash.
MARK_CLEARANCE = 0.03
# A cedilla hangs from its letter: no further below it than this, in ems, whatever the face's
# own ç does, and no taller than this share of the face's x-height; a letter the face draws
# with one further off or larger is made again.
CEDILLA_MOST_GAP = 0.03
CEDILLA_MOST_HEIGHT = 0.45
# Letters crossed by a stroke, written as their base letter and a slash of the face's weight
# (a face's own may read as t, or as £).
STROKED = {"ł": "l", "Ł": "L"}


class PointsPen(BasePen):
    """The points along a glyph's outline, its curves walked in short steps."""

    STEPS = 8

    def __init__(self, glyphset):
        super().__init__(glyphset)
        self.points = []

    def _moveTo(self, p):
        self.points.append(p)

    def _lineTo(self, p):
        start = self._getCurrentPoint()
        self.points += [(start[0] + (p[0] - start[0]) * t / self.STEPS,
                         start[1] + (p[1] - start[1]) * t / self.STEPS)
                        for t in range(1, self.STEPS + 1)]

    def _curveToOne(self, p1, p2, p3):
        p0 = self._getCurrentPoint()
        for i in range(1, self.STEPS + 1):
            t = i / self.STEPS
            u = 1 - t
            self.points.append(tuple(u ** 3 * a + 3 * u * u * t * b + 3 * u * t * t * c + t ** 3 * d
                                     for a, b, c, d in zip(p0, p1, p2, p3)))

    def _qCurveToOne(self, p1, p2):
        p0 = self._getCurrentPoint()
        for i in range(1, self.STEPS + 1):
            t = i / self.STEPS
            u = 1 - t
            self.points.append(tuple(u * u * a + 2 * u * t * b + t * t * c
                                     for a, b, c in zip(p0, p1, p2)))


class Contours:
    """A glyph's outline, components resolved, as separate contours with their boxes."""

    def __init__(self, glyphset, name):
        recording = DecomposingRecordingPen(glyphset)
        glyphset[name].draw(recording)
        self.contours, current = [], []
        for op, args in recording.value:
            current.append((op, args))
            if op in ("closePath", "endPath"):
                self.contours.append(current)
                current = []

    @staticmethod
    def box(contour):
        pen = BoundsPen(None)
        for op, args in contour:
            getattr(pen, op)(*args)
        return pen.bounds

    def pick(self, keep):
        return [c for c in self.contours if (b := self.box(c)) and keep(b)]


def union(boxes):
    boxes = [b for b in boxes if b]
    if not boxes:
        return None
    return (min(b[0] for b in boxes), min(b[1] for b in boxes), max(b[2] for b in boxes),
            max(b[3] for b in boxes))


def glyph_from(contours, transform=(1, 0, 0, 1, 0, 0)):
    pen = TTGlyphPen(None)
    target = TransformPen(pen, transform)
    for contour in contours:
        for op, args in contour:
            getattr(target, op)(*args)
    return pen.glyph()


class Composer:
    def __init__(self, font, donors, fill_transform):
        """`donors`: related faces to take what this one lacks from, in order;
        `fill_transform(donor)`: the affine transform that puts a donor's glyph at this face's
        size and place."""
        self.font = font
        self.donors = donors
        self.fill_transform = fill_transform
        self.em = font["head"].unitsPerEm
        self.composed = []
        self._refresh()
        dx, gap = self._learn("ç", "c", "\u0327", -0.02)
        self.placing = {"lower": self._learn("é", "e", "\u0301", 0.05),
                        "upper": self._learn("É", "E", "\u0301", 0.04),
                        "below": (dx, min(gap, CEDILLA_MOST_GAP * self.em))}

    def _refresh(self):
        self.glyphset = self.font.getGlyphSet()
        self.cmap = dict(self.font.getBestCmap())

    def has(self, ch):
        return ord(ch) in self.cmap

    def ink(self, name):
        pen = BoundsPen(self.glyphset)
        self.glyphset[name].draw(pen)
        return pen.bounds

    def _learn(self, letter, base, mark, default_gap):
        """(horizontal offset of the accent's centre from the base's, gap between them) in
        font units, as the face draws `letter`."""
        fallback = (0.0, default_gap * self.em)
        if not (self.has(letter) and self.has(base)):
            return fallback
        base_box = self.ink(self.cmap[ord(base)])
        if not base_box:
            return fallback
        parts = Contours(self.glyphset, self.cmap[ord(letter)])
        if mark in BELOW:
            accent = union(map(Contours.box, parts.pick(lambda b: b[3] < base_box[1] + 0.05 * self.em)))
            rest = union(map(Contours.box, parts.pick(lambda b: b[3] >= base_box[1] + 0.05 * self.em)))
            if not accent or not rest:
                return fallback
            return ((accent[0] + accent[2]) / 2 - (rest[0] + rest[2]) / 2, rest[1] - accent[3])
        accent = union(map(Contours.box, parts.pick(lambda b: b[1] > base_box[3] - 0.02 * self.em)))
        rest = union(map(Contours.box, parts.pick(lambda b: b[1] <= base_box[3] - 0.02 * self.em)))
        if not accent or not rest:
            return fallback
        return ((accent[0] + accent[2]) / 2 - (rest[0] + rest[2]) / 2, accent[1] - rest[3])

    def add(self, name, glyph, advance):
        glyf = self.font["glyf"]
        order = self.font.getGlyphOrder() + [name]
        glyf.glyphs[name] = glyph
        glyph.recalcBounds(glyf)
        self.font["hmtx"].metrics[name] = (round(advance), glyph.xMin if glyph.numberOfContours else 0)
        self.font.setGlyphOrder(order)
        glyf.glyphOrder = order
        self.glyphset = self.font.getGlyphSet()

    def map(self, ch, name):
        self.cmap[ord(ch)] = name
        self.composed.append(ch)

    def points(self, name):
        pen = PointsPen(self.glyphset)
        self.glyphset[name].draw(pen)
        return pen.points

    def clear_of(self, base, accent, x, y, side):
        """Moves a mark placed at (x, y) away from its letter, to the `side` ("above", "below"
        or "right") where it belongs, until the letter's outline stays MARK_CLEARANCE from the
        mark's ink box."""
        a, room = self.ink(accent), MARK_CLEARANCE * self.em
        points = self.points(base)
        if side == "right":
            beside = [px for px, py in points if y + a[1] - room <= py <= y + a[3] + room]
            return (max(x, max(beside) + room - a[0]) if beside else x), y
        under = [py for px, py in points if x + a[0] - room <= px <= x + a[2] + room]
        if not under:
            return x, y
        if side == "above":
            return x, max(y, max(under) + room - a[1])
        return x, min(y, min(under) - room - a[3])

    def accent_glyph(self, mark):
        """The name of a glyph holding this face's accent alone, made if need be."""
        name = f"accent.u{ord(mark):04X}"
        if name in self.font["glyf"].glyphs:
            return name
        table = ABOVE if mark in ABOVE else BELOW
        for spacing in table[mark] + mark:
            if self.has(spacing) and self.ink(self.cmap[ord(spacing)]):
                return self.cmap[ord(spacing)]
        # Cut from a letter of the face that carries it.
        for c in range(0xC0, 0x250):
            decomposed = unicodedata.decomposition(chr(c)).split()
            if (len(decomposed) == 2 and chr(int(decomposed[1], 16)) == mark and self.has(chr(c))
                    and self.has(chr(int(decomposed[0], 16)))):
                base_box = self.ink(self.cmap[int(decomposed[0], 16)])
                parts = Contours(self.glyphset, self.cmap[c])
                if mark in ABOVE:
                    cut = parts.pick(lambda b: b[1] > base_box[3] - 0.02 * self.em)
                else:
                    cut = parts.pick(lambda b: b[3] < base_box[1] + 0.05 * self.em)
                if cut and len(cut) < len(parts.contours):
                    self.add(name, glyph_from(cut), 0)
                    return name
        for donor in self.donors:
            donor_cmap = donor.getBestCmap()
            for spacing in table[mark] + mark:
                if ord(spacing) in donor_cmap:
                    contours = Contours(donor.getGlyphSet(), donor_cmap[ord(spacing)]).contours
                    if contours:
                        self.add(name, glyph_from(contours, self.fill_transform(donor)), 0)
                        return name
        return None

    def scaled(self, name, k):
        """A copy of a glyph `k` times its size, about its ink's lower left corner."""
        scaled = f"{name}.scaled{round(k * 100)}"
        if scaled not in self.font["glyf"].glyphs:
            box = self.ink(name)
            contours = Contours(self.glyphset, name).contours
            self.add(scaled, glyph_from(contours, (k, 0, 0, k, box[0] * (1 - k), box[1] * (1 - k))),
                     0)
        return scaled

    def composite(self, ch, parts, advance):
        """A composite glyph of (glyph name, x, y) parts."""
        glyph = Glyph()
        glyph.numberOfContours = -1
        glyph.components = []
        for name, x, y in parts:
            component = GlyphComponent()
            component.glyphName, component.x, component.y = name, round(x), round(y)
            component.flags = 0
            glyph.components.append(component)
        name = f"name.u{ord(ch):04X}"
        self.add(name, glyph, advance)
        self.map(ch, name)
        return True

    def compose(self, ch):
        if self.has(ch):
            return True
        if ch in SAME_AS and self.has(SAME_AS[ch]):
            self.map(ch, self.cmap[ord(SAME_AS[ch])])
            return True
        if ch in PAIRS and all(self.compose(c) for c in PAIRS[ch]):
            first, second = (self.cmap[ord(c)] for c in PAIRS[ch])
            advance = self.font["hmtx"][first][0]
            return self.composite(ch, [(first, 0, 0), (second, advance, 0)],
                                  advance + self.font["hmtx"][second][0])
        if ch in WITH_MIDDLE_DOT and self.compose(WITH_MIDDLE_DOT[ch]) and self.has("·"):
            base = self.cmap[ord(WITH_MIDDLE_DOT[ch])]
            dot, box = self.cmap[ord("·")], self.ink(self.cmap[ord(WITH_MIDDLE_DOT[ch])])
            dot_box = self.ink(dot)
            advance = self.font["hmtx"][base][0]
            return self.composite(ch, [(base, 0, 0), (dot, box[2] - dot_box[0], 0)],
                                  advance + (dot_box[2] - dot_box[0]))
        if ch in TURNED and self.has(TURNED[ch]):
            base = self.cmap[ord(TURNED[ch])]
            box = self.ink(base)
            contours = Contours(self.glyphset, base).contours
            # Turned about its middle; a capital one is as tall as the face's E.
            k = 1.0
            if ch.isupper() and self.has("E") and self.has("e"):
                k = ((self.ink(self.cmap[ord("E")])[3] - self.ink(self.cmap[ord("E")])[1])
                     / (box[3] - box[1]))
            cx = (box[0] + box[2]) / 2
            glyph = glyph_from(contours, (-k, 0, 0, -k, cx * (1 + k), box[1] + k * box[3]))
            name = f"name.u{ord(ch):04X}"
            self.add(name, glyph, self.font["hmtx"][base][0] * k)
            self.map(ch, name)
            return True
        if ch in STROKED and self.compose(STROKED[ch]):
            return self.stroked(ch, self.cmap[ord(STROKED[ch])])
        if ch in DOTLESS and self.has(DOTLESS[ch]):
            base = self.cmap[ord(DOTLESS[ch])]
            parts = Contours(self.glyphset, base)
            stem = union(map(Contours.box, parts.contours))
            kept = parts.pick(lambda b: b[1] < stem[1] + 0.3 * (stem[3] - stem[1]))
            if kept and len(kept) < len(parts.contours):
                name = f"name.u{ord(ch):04X}"
                self.add(name, glyph_from(kept), self.font["hmtx"][base][0])
                self.map(ch, name)
                return True
        decomposed = unicodedata.decomposition(ch).split()
        if len(decomposed) != 2 or decomposed[0].startswith("<"):
            return False
        base_ch, mark = chr(int(decomposed[0], 16)), chr(int(decomposed[1], 16))
        if mark not in ABOVE and mark not in BELOW:
            return False
        if not self.compose(base_ch):
            return False
        base = self.cmap[ord(base_ch)]
        box = self.ink(base)
        if not box:
            return False
        advance = self.font["hmtx"][base][0]
        if mark == "\u030c" and base_ch in CARON_AS_APOSTROPHE and self.has("\u2019"):
            apostrophe = self.cmap[ord("\u2019")]
            a = self.ink(apostrophe)
            x, y = self.clear_of(base, apostrophe, box[2] - a[0] - 0.03 * self.em, box[3] - a[3],
                                 "right")
            return self.composite(ch, [(base, 0, 0), (apostrophe, x, y)], advance)
        accent = self.accent_glyph(mark)
        if not accent:
            return False
        if mark in MARK_SCALE:
            accent = self.scaled(accent, MARK_SCALE[mark])
        if mark == "\u0327":
            height = self.ink(accent)[3] - self.ink(accent)[1]
            if height > CEDILLA_MOST_HEIGHT * self.x_height():
                accent = self.scaled(accent, CEDILLA_MOST_HEIGHT * self.x_height() / height)
        a = self.ink(accent)
        centre = (box[0] + box[2]) / 2
        if mark == "\u031b":  # a horn grows from the letter's right shoulder
            return self.composite(ch, [(base, 0, 0), (accent, box[2] - a[0] - 0.04 * self.em,
                                                      box[3] - a[3])], advance)
        if mark in ABOVE:
            upper = base_ch.isupper() or base_ch in "bdfhklt"
            dx, gap = self.placing["upper" if upper else "lower"]
            x = centre + dx - (a[0] + a[2]) / 2
            y = box[3] + gap - a[1]
        else:
            dx, gap = self.placing["below"]
            if mark == "\u0328":  # an ogonek hangs at the letter's right foot
                x, y = box[2] - a[2], box[1] + 0.02 * self.em - a[3]
            else:
                x = centre + dx - (a[0] + a[2]) / 2
                y = box[1] - gap - a[3]
                x, y = self.clear_of(base, accent, x, y, "below")
        if mark in ABOVE:
            x, y = self.clear_of(base, accent, x, y, "above")
        return self.composite(ch, [(base, 0, 0), (accent, x, y)], advance)

    def stroked(self, ch, base):
        """`base` crossed by a slash rising steeply to the right, a little below the middle of
        its stem, as heavy as the stem and tapering to points like a pen's stroke."""
        box = self.ink(base)
        if not box:
            return False
        y = box[1] + 0.45 * (box[3] - box[1])
        band = 0.03 * self.em
        across = [px for px, py in self.points(base) if abs(py - y) < band]
        left, right = (min(across), max(across)) if across else (box[0], box[2])
        stem = right - left if right - left < 0.15 * self.em else 0.06 * self.em
        weight = min(max(0.8 * stem, 0.025 * self.em), 0.07 * self.em)
        half = max(0.16 * self.em, (right - left) / 2 + 0.1 * self.em)
        # Steeper than a t's bar or a pound sign's, which it must not read as.
        rise = 0.75 * half
        cx = (left + right) / 2
        pen = TTGlyphPen(None)
        pen.moveTo((round(cx - half), round(y - rise)))
        pen.qCurveTo((round(cx), round(y + weight)), (round(cx + half), round(y + rise)))
        pen.qCurveTo((round(cx), round(y - weight)), (round(cx - half), round(y - rise)))
        pen.closePath()
        slash = f"slash.u{ord(ch):04X}"
        self.add(slash, pen.glyph(), 0)
        return self.composite(ch, [(base, 0, 0), (slash, 0, 0)], self.font["hmtx"][base][0])

    def x_height(self):
        box = self.ink(self.cmap[ord("x")]) if self.has("x") else None
        return box[3] - box[1] if box else 0.5 * self.em

    def cedilla_misfits(self, ch):
        """Whether the face draws `ch` with its cedilla further below it, or larger, than a
        cedilla is."""
        parts = unicodedata.decomposition(ch).split()
        if len(parts) != 2 or chr(int(parts[1], 16)) != "\u0327" or not self.has(ch):
            return False
        base = chr(int(parts[0], 16))
        gap = self._learn(ch, base, "\u0327", 0)[1]
        base_box = self.ink(self.cmap[ord(base)]) if self.has(base) else None
        if not base_box:
            return False
        # How far below its letter it reaches, joined to it or not.
        depth = base_box[1] - self.ink(self.cmap[ord(ch)])[1]
        most = CEDILLA_MOST_GAP * self.em + CEDILLA_MOST_HEIGHT * self.x_height()
        return gap > CEDILLA_MOST_GAP * self.em or depth > most

    def take_from_donor(self, ch):
        for donor in self.donors:
            donor_cmap = donor.getBestCmap()
            if ord(ch) in donor_cmap:
                contours = Contours(donor.getGlyphSet(), donor_cmap[ord(ch)]).contours
                transform = self.fill_transform(donor)
                name = f"name.u{ord(ch):04X}"
                self.add(name, glyph_from(contours, transform),
                         donor["hmtx"][donor_cmap[ord(ch)]][0] * transform[0])
                self.map(ch, name)
                return True
        return False


def base_letter(ch):
    """The letter at the bottom of a character's decomposition: o for ǚ's u, u for ǜ."""
    while True:
        parts = unicodedata.decomposition(ch).split()
        if len(parts) < 2 or parts[0].startswith("<"):
            return ch
        ch = chr(int(parts[0], 16))


def in_wrong_case(composer, ch):
    """Whether the face draws an accented letter in the other case: a lowercase ǒ whose body
    stands as tall as O, or a capital as short as o. Its body is what starts near the baseline;
    an accent starts above it."""
    base = base_letter(ch)
    if base == ch or base.lower() == base.upper():
        return False
    lower, upper = base.lower(), base.upper()
    if not (composer.has(lower) and composer.has(upper)):
        return False

    def body_top(letter, baseline_box):
        reach = baseline_box[1] + 0.3 * (baseline_box[3] - baseline_box[1])
        body = union(map(Contours.box, Contours(composer.glyphset, composer.cmap[ord(letter)])
                         .pick(lambda b: b[1] < reach)))
        return body[3] if body else None

    low_box = composer.ink(composer.cmap[ord(lower)])
    up_box = composer.ink(composer.cmap[ord(upper)])
    if not low_box or not up_box or up_box[3] - low_box[3] < 0.15 * composer.em:
        return False
    top = body_top(ch, low_box)
    if top is None:
        return False
    own, other = (low_box[3], up_box[3]) if ch.islower() else (up_box[3], low_box[3])
    # An accent joined to its letter lifts a lowercase body: only a capital's height counts.
    if ch.islower():
        return top > other - 0.05 * composer.em
    return top < other + 0.05 * composer.em


def compose_letters(font, letters, donors, fill_transform, restroke=False):
    """Gives the face every letter of `letters`: composed from its own glyphs where it can, else
    from a related face. An accented letter the face draws in the wrong case, or with its
    cedilla far below it, is made again the same way, and with `restroke` its ł and Ł. Returns
    the letters added, those still missing and the new mapping of characters to glyphs, for the
    caller to write into the face."""
    composer = Composer(font, donors, fill_transform)
    missing = []
    latin1 = [chr(c) for c in range(0xC0, 0x100) if chr(c).isalpha()]
    remade = [ch for ch in latin1 + letters
              if composer.has(ch) and (in_wrong_case(composer, ch) or composer.cedilla_misfits(ch)
                                       or (restroke and ch in STROKED))]
    for ch in remade:
        del composer.cmap[ord(ch)]
    for ch in dict.fromkeys(remade + letters):
        if not composer.compose(ch) and not composer.take_from_donor(ch):
            missing.append(ch)
    return composer.composed, missing, composer.cmap
