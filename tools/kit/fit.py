"""Sizes the kit's faces so that ordinary names fit the picture, and makes the three faces of a
folder style look like one hand.

The program places a name by fixed rules (centred, moved left and up, tightened a little a
character: the numbers are the program's own, printed by its renderer with --layout-json); the
faces are ours to size. Here those rules are worked out from a face's own numbers at 72 points,
where an em is 96 pixels, and a face is made smaller, all its glyphs and metrics at once, until
the ink of every name of a table stays inside the picture with the program's margin.
"""

import json
import math
import os
import statistics

from fontTools.pens.areaPen import AreaPen
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.perimeterPen import PerimeterPen

from outlines import PX_PER_EM, embolden, scale_face, set_vertical_metrics, vertical_metrics


def placement_rules():
    """The program's placement rules and picture, as the renderer prints them
    (`sorvex-sign-render --layout-json`): written once, in the program."""
    path = os.environ.get("SORVEX_LAYOUT_RULES")
    if not path:
        return None
    with open(path, encoding="utf-8") as f:
        return json.load(f)["rules"]


RULES = placement_rules()
if RULES:
    TWIPS = RULES["twipsPerPixel"]
    PICTURE = (RULES["pictureWidthPx"], RULES["pictureHeightPx"])
    INNER = (PICTURE[0] * TWIPS, PICTURE[1] * TWIPS)
    OFFSET = (RULES["centreShiftLeft"], RULES["centreShiftUp"])  # every centred position moves
    TIGHTENING = RULES["tightening"]
    SEAL_SHIFT = (RULES["sealShiftLeft"], RULES["sealShiftUp"])
    FRAME_MARGIN = (RULES["frameMarginLeft"], RULES["frameMarginTop"])  # out of a seal's grid
    MARGIN = RULES["fitMarginPx"]  # pixels of the picture kept free around the ink

CHINESE_NAMES = ["王晓明", "张三丰", "欧阳娜娜", "司马相如"]
# Three-character names, the most common kind: their ink is centred in the picture.
CENTRED_CHINESE = ["王晓明", "张三丰", "李小龙", "刘德华", "陈家明", "赵丽颖"]
LATIN_NAMES = ["Anna Lee", "Zhang Wei", "José Müller", "Xiaoming Wang", "Mary Ann Smith"]

# Characters of common surnames and given names: what the faces of a folder style are matched on.
MATCHED = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何林高罗伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚"


def nearest(v):
    """Halves to even, as the program rounds."""
    return round(v)


class Face:
    """A face as the program measures it at 72 points, made `scale` times smaller or larger."""

    def __init__(self, font, scale=1.0):
        self.font, self.scale = font, scale
        self.cmap = font.getBestCmap()
        self.glyphset = font.getGlyphSet()
        self.px = PX_PER_EM * scale / font["head"].unitsPerEm
        # Ink boxes do not change with the scale: kept with the font for every scale tried.
        if not hasattr(font, "ink_boxes"):
            font.ink_boxes = {}
        self._ink = font.ink_boxes

    def glyph(self, ch):
        return self.cmap.get(ord(ch), ".notdef")

    def advance(self, text):
        """Twips."""
        return sum(self.font["hmtx"][self.glyph(ch)][0] for ch in text) * self.px * TWIPS

    def ascent(self):
        """Pixels, rounded up to whole pixels as the font engine does."""
        return math.ceil(self.font["hhea"].ascent * self.px)

    def height(self):
        """Twips: ascent and descent, each to whole pixels."""
        return (self.ascent() + math.ceil(-self.font["hhea"].descent * self.px)) * TWIPS

    def ink(self, ch):
        """Font units, y up; None for a blank."""
        name = self.glyph(ch)
        if name not in self._ink:
            pen = BoundsPen(self.glyphset)
            self.glyphset[name].draw(pen)
            self._ink[name] = pen.bounds
        return self._ink[name]

    def ink_of(self, text, left, top):
        """Pixel box of `text` drawn with its top-left at (left, top) twips."""
        boxes, x = [], left / TWIPS
        baseline = top / TWIPS + self.ascent()
        for ch in text:
            box = self.ink(ch)
            if box:
                boxes.append((x + box[0] * self.px, baseline - box[3] * self.px,
                              x + box[2] * self.px, baseline - box[1] * self.px))
            x += self.font["hmtx"][self.glyph(ch)][0] * self.px
        return boxes


def ordinary_ink(face, name):
    x = nearest((INNER[0] - face.advance(name)) / 2 - OFFSET[0])
    y = nearest((INNER[1] - face.height()) / 2 - OFFSET[1])
    boxes = []
    for i, ch in enumerate(name):
        if i:
            x = nearest(face.advance(name[i - 1]) + x - TIGHTENING)
        boxes += face.ink_of(ch, x, y)
    return boxes


def seal_ink(face, name):
    """The frame of a seal of two to four characters: it holds the characters."""
    name += {2: "之印", 3: "印"}.get(len(name), "")
    tw1, th1 = face.advance(name[0]), face.height()
    x = nearest((INNER[0] - 2 * tw1) / 2 - OFFSET[0] - SEAL_SHIFT[0])
    y = nearest((INNER[1] - th1) / 2 - OFFSET[1] - SEAL_SHIFT[1])
    return [((x - FRAME_MARGIN[0]) / TWIPS, (y - FRAME_MARGIN[1]) / TWIPS, (x + 2 * tw1) / TWIPS,
             (y + 2 * th1) / TWIPS)]


def folder_ink(faces, pieces):
    widths = [nearest(f.advance(p)) if p else 0 for f, p in zip(faces, pieces)]
    left = (INNER[0] - sum(widths)) / 2 - OFFSET[0]
    # Each piece's top comes from the height of the face selected before it.
    last = max((k for k in range(3) if pieces[k]), default=0)
    boxes = []
    for k in range(3):
        if pieces[k]:
            y = (INNER[1] - faces[last].height()) / 2 - OFFSET[1]
            boxes += faces[k].ink_of(pieces[k], left + sum(widths[:k]), y)
            last = k
    return boxes


def chinese_pieces(name, compounds):
    if name[:2] in compounds:
        rest = name[2:]
        return [compounds[name[:2]], rest[:-1], rest[-1:]] if len(rest) > 1 else [
            compounds[name[:2]], "", rest]
    if len(name) == 2:
        return [name[0], "", name[1]]
    return [name[0], name[1:-1], name[-1]]


def latin_pieces(name):
    return [name[0], name[1:-1], name[-1]] if len(name) > 2 else [name[0], "", name[1:]]


def margin(boxes):
    """The least room, in pixels, between the ink and the picture's edges."""
    return min(min(b[0], b[1], PICTURE[0] - b[2], PICTURE[1] - b[3]) for b in boxes)


def fitting_scale(layouts):
    """The largest scale, no more than 1, at which every layout keeps its margin, and that
    margin. `layouts(scale)` gives the ink boxes of every name at a scale."""
    scale = 1.0
    while scale > 0.3 and margin(layouts(scale)) < MARGIN:
        scale = round(scale - 0.005, 3)
    return scale, margin(layouts(scale))


def translated(boxes, move):
    return [(b[0] + move[0], b[1] + move[1], b[2] + move[0], b[3] + move[1]) for b in boxes]


def fit_file_style(font, seal):
    """The scale, the tightest margin and the move that centres ordinary names (none for a
    seal, whose frame the rules place: its characters are centred in it afterwards)."""
    def centred(face):
        return centring([ordinary_ink(face, name) for name in CENTRED_CHINESE])

    def layouts(scale):
        face = Face(font, scale)
        if seal:
            return [b for name in CHINESE_NAMES for b in seal_ink(face, name)]
        move = centred(face)
        return [b for name in CHINESE_NAMES for b in translated(ordinary_ink(face, name), move)]
    scale, room = fitting_scale(layouts)
    return scale, room, (0, 0) if seal else centred(Face(font, scale))


def fit_folder_style(fonts, latin, compounds):
    """As fit_file_style. Latin faces are not scaled here (they have their x-height): only
    centred, and the margin is what the names get."""
    names = LATIN_NAMES if latin else CHINESE_NAMES + [c + "晓明" for c in compounds]
    centred_names = LATIN_NAMES if latin else CENTRED_CHINESE
    split = latin_pieces if latin else lambda n: chinese_pieces(n, compounds)

    def centred(faces):
        return centring([folder_ink(faces, split(name)) for name in centred_names])

    def layouts(scale):
        faces = [Face(f, scale) for f in fonts]
        move = centred(faces)
        return [b for name in names for b in translated(folder_ink(faces, split(name)), move)]
    scale, room = (1.0, margin(layouts(1.0))) if latin else fitting_scale(layouts)
    return scale, room, centred([Face(f, scale) for f in fonts])


def ink_shape(font, from_top=False, characters=MATCHED):
    """Median ink height and centre of the characters, in ems: the centre above the baseline,
    or, `from_top`, below the line's top, where a face whose baseline was moved draws it."""
    face, em = Face(font), font["head"].unitsPerEm
    boxes = [face.ink(ch) for ch in characters if ord(ch) in face.cmap]
    boxes = [b for b in boxes if b]
    centre = statistics.median((b[3] + b[1]) / 2 / em for b in boxes)
    return (statistics.median((b[3] - b[1]) / em for b in boxes),
            vertical_metrics(font)[0] - centre if from_top else centre)


def stroke_weight(font):
    """How heavy a face's strokes are beside its characters' height: the median of twice a
    character's ink area over its outline's length (a stroke's width, for strokes much longer
    than wide), over its ink height."""
    face = Face(font)
    weights = []
    for ch in MATCHED:
        box = face.ink(ch) if ord(ch) in face.cmap else None
        if not box:
            continue
        area, length = AreaPen(face.glyphset), PerimeterPen(face.glyphset)
        face.glyphset[face.glyph(ch)].draw(area)
        face.glyphset[face.glyph(ch)].draw(length)
        weights.append(2 * abs(area.value) / length.value / (box[3] - box[1]))
    return statistics.median(weights)


def set_weight(font, wanted, tolerance=0.1):
    """Grows or thins every stroke until the face's weight (`stroke_weight`) is within half of
    `tolerance` of `wanted`; its weight after, beside `wanted`."""
    weight = stroke_weight(font)
    for _ in range(3):
        if abs(weight / wanted - 1) <= tolerance / 2:
            break
        height = statistics.median(
            b[3] - b[1] for b in (Face(font).ink(ch) for ch in MATCHED) if b)
        # Growing a stroke by `a` grows the character's height by `a` as well.
        embolden(font, (wanted * height - weight * height) / (1 - wanted))
        weight = stroke_weight(font)
    return weight / wanted


def match_weight(head, other, tolerance=0.1):
    """Makes `other`'s strokes as heavy beside its characters as the head face's, where they
    are lighter by more than `tolerance`: a name in three faces reads as one hand. Returns the
    weights before and after, beside the head's."""
    wanted = stroke_weight(head)
    before = stroke_weight(other) / wanted
    if before >= 1 - tolerance:
        return before, before
    return before, set_weight(other, wanted, tolerance)


def piece_shape(font):
    """Where a face puts its characters, in ems: median ink height, ink centre above the
    baseline, ink centre from the left of the cell, and the cell's advance."""
    face, em = Face(font), font["head"].unitsPerEm
    boxes = [b for b in (face.ink(ch) for ch in MATCHED if ord(ch) in face.cmap) if b]
    return (statistics.median((b[3] - b[1]) / em for b in boxes),
            statistics.median((b[3] + b[1]) / 2 / em for b in boxes),
            statistics.median((b[2] + b[0]) / 2 / em for b in boxes),
            font["hmtx"][face.glyph("王")][0] / em)


def piece_transform(source, target, em):
    """The affine transform, in font units of an `em`, that gives a face of shape `source` the
    height, baseline and cell of a face of shape `target` (both `piece_shape`s), and the
    advance its characters then take."""
    factor = target[0] / source[0]
    return ((factor, 0, 0, factor, (target[2] - source[2] * factor) * em,
             (target[1] - source[1] * factor) * em), round(target[3] * em))


def match_to_head(head, other):
    """Scales and moves `other` so that its characters are as tall as the head face's and sit
    as high: the three pieces of a name then read as one. Returns the scale and the shift up,
    in ems.

    Every piece is placed by its top, the line's height taken from the face before it, and
    its baseline lies its own ascent below that top. So `other` gets the head face's line
    height, and the shift moves its baseline by moving ascent into descent: no outline
    changes."""
    head_height, head_centre = ink_shape(head)
    height, centre = ink_shape(other)
    factor = head_height / height
    scale_face(other, factor)
    shift = head_centre - centre * factor
    ascent, descent = vertical_metrics(head)
    set_vertical_metrics(other, ascent - shift, descent + shift)
    return factor, shift


# Latin faces are drawn at one visual size: the x-height that makes "Anna Lee" fill about two
# thirds of the picture's width in a typical face. Long names are made smaller by the program,
# name by name, instead of every name by the kit.
LATIN_WIDTH_SHARE = 2 / 3


def x_height(font):
    """The median ink height of the letters without ascenders or descenders, in ems: a script
    face's "x" alone may carry a lead-in stroke above the others."""
    face = Face(font)
    heights = [b[3] - b[1] for b in (face.ink(ch) for ch in "acemnorsuvwxz") if b]
    return statistics.median(heights) / font["head"].unitsPerEm


def latin_x_height(heads):
    """Pixels at 72 points: the median over the head faces of the x-height at which "Anna Lee"
    fills its share of the picture."""
    wanted = []
    for font in heads:
        face = Face(font)
        boxes = folder_ink([face] * 3, latin_pieces("Anna Lee"))
        width = max(b[2] for b in boxes) - min(b[0] for b in boxes)
        wanted.append(PICTURE[0] * LATIN_WIDTH_SHARE / width * x_height(font) * PX_PER_EM)
    return statistics.median(wanted)


def ink_centre(boxes):
    return ((min(b[0] for b in boxes) + max(b[2] for b in boxes)) / 2,
            (min(b[1] for b in boxes) + max(b[3] for b in boxes)) / 2)


def centring(layouts):
    """Pixels at 72 points to move the ink of ordinary names right and down so that it is
    centred in the picture: halfway between the moves the names would each need, so that
    none is further off than the others. `layouts` holds each name's boxes."""
    centres = [ink_centre(boxes) for boxes in layouts if boxes]
    xs = [PICTURE[0] / 2 - c[0] for c in centres]
    ys = [PICTURE[1] / 2 - c[1] for c in centres]
    return (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2


def match_latin_line(head, other):
    """The head face's ascent and descent, in ems: every piece of a name then sits on one
    baseline, whatever size each face was scaled to."""
    set_vertical_metrics(other, *vertical_metrics(head))


