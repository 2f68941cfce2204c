"""Glyph-level work of the kit builder: the character sets a face must draw, and cutting,
filling, joining and naming faces' glyphs with fontTools."""

import bz2
import io
import struct
import unicodedata

from fontTools import subset
from fontTools.misc.roundTools import otRound
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib.tables import _g_l_y_f
from fontTools.ttLib import TTCollection, TTFont
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable

from outlines import set_vertical_metrics, vertical_metrics


def _bounds(coordinates, round=otRound, slow=_g_l_y_f.calcIntBounds):
    """A glyph's bounds as fontTools finds them, from the coordinates' array at once: point by
    point in Python they took a third of the kit's time, as every glyph is bounded when it is
    moved and again when it is saved."""
    if not isinstance(coordinates, _g_l_y_f.GlyphCoordinates):
        return slow(coordinates, round)
    values = coordinates.array
    if not values:
        return 0, 0, 0, 0
    xs, ys = values[0::2], values[1::2]
    return round(min(xs)), round(min(ys)), round(max(xs)), round(max(ys))


_g_l_y_f.calcIntBounds = _bounds


COMMON_USE = "/usr/share/unicode/Unihan_OtherMappings.txt.bz2"


PUA_START = 0xE000


LAYOUT_TABLES = ("GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern")
PER_GLYPH_TABLES = ("hdmx", "LTSH", "VDMX", "DSIG", "vhea", "vmtx", "VORG", "fpgm", "prep",
                    "cvt ", "gasp")


class KitError(Exception):
    pass


# Characters beyond GB2312 that modern given names hold: every face and fallback draws them.
RARE_NAME_CHARACTERS = "堃昇䶮龑𠮷喆琇玥赟犇珺祎瑄镕"


def gb2312_hanzi():
    chars = []
    for hi in range(0xB0, 0xF8):
        for lo in range(0xA1, 0xFF):
            try:
                chars.append(bytes([hi, lo]).decode("gb2312"))
            except UnicodeDecodeError:
                pass
    return chars


GB2312 = gb2312_hanzi()
LATIN = [chr(c) for c in range(0x21, 0x7F)] + [
    chr(c) for c in range(0xC0, 0x100) if c not in (0xD7, 0xF7)]


IDEOGRAPHS = "国中永明王田"


def is_han(cp):
    return (0x3400 <= cp <= 0x4DBF or 0x4E00 <= cp <= 0x9FFF or 0xF900 <= cp <= 0xFAFF
            or 0x20000 <= cp <= 0x3FFFF)


def is_companion(cp):
    """What a Chinese face keeps beside its ideographs: Latin letters and punctuation."""
    return (cp <= 0x24F or 0x2000 <= cp <= 0x206F or 0x3000 <= cp <= 0x303F
            or 0xFF00 <= cp <= 0xFFEF)


def is_name_character(cp):
    """What the fallback keeps: anything a Chinese name may hold beyond GB2312."""
    return (is_han(cp) or is_companion(cp) or 0x2E80 <= cp <= 0x2FDF or 0x3040 <= cp <= 0x312F
            or 0x3200 <= cp <= 0x33FF)


def common_use_characters():
    with bz2.open(COMMON_USE, "rt", encoding="utf-8") as f:
        return {int(line.split("\t")[0][2:], 16) for line in f if "\tkTGH\t" in line}


def is_blank(cp):
    return unicodedata.category(chr(cp)) in ("Zs", "Zl", "Zp", "Cc", "Cf")


# --- packages ---------------------------------------------------------------------------


def outline(glyf, name):
    g = glyf[name]
    if g.isComposite():
        return ("composite", tuple((c.glyphName, c.x, c.y) for c in g.components))
    if g.numberOfContours <= 0:
        return ()
    return (tuple(g.endPtsOfContours), tuple(map(tuple, g.coordinates)),
            tuple(f & 1 for f in g.flags))


def raw_glyph(glyf, name):
    g = glyf.glyphs[name]
    return g.data if hasattr(g, "data") else None


def set_cmap(font, mapping):
    t4 = CmapSubtable.newSubtable(4)
    t4.platformID, t4.platEncID, t4.language = 3, 1, 0
    t4.cmap = {c: g for c, g in mapping.items() if c <= 0xFFFF}
    tables = [t4]
    if any(c > 0xFFFF for c in mapping):
        t12 = CmapSubtable.newSubtable(12)
        t12.platformID, t12.platEncID, t12.language = 3, 10, 0
        t12.cmap = dict(mapping)
        tables.append(t12)
    font["cmap"].tables = tables


def strip_instructions(font):
    for name in font.getGlyphOrder():
        g = font["glyf"][name]
        if hasattr(g, "program"):
            g.program.fromBytecode(b"")


def drop_tables(font, tags):
    for tag in tags:
        if tag in font:
            del font[tag]


def drawn(glyf, name, depth=0):
    """Whether a glyph has ink: contours of its own or a component that has. A glyph not yet
    decompiled is judged by its header, which is what keeps the checks of a whole face fast."""
    g = glyf.glyphs[name]
    if hasattr(g, "data"):
        contours = struct.unpack(">h", g.data[:2])[0] if len(g.data) >= 2 else 0
        if contours >= 0:
            return contours > 0
        g = glyf[name]
    if g.isComposite():
        return depth < 8 and any(drawn(glyf, c.glyphName, depth + 1) for c in g.components)
    return g.numberOfContours > 0


def drop_empty_mappings(font):
    """A character whose glyph has no outline is unmapped, so that it falls back to another
    face instead of drawing as a gap. Blanks keep their empty glyphs."""
    glyf, mapping = font["glyf"], font.getBestCmap()
    kept = {cp: g for cp, g in mapping.items() if is_blank(cp) or drawn(glyf, g)}
    set_cmap(font, kept)
    return len(mapping) - len(kept)


def subset_to(font, unicodes):
    options = subset.Options()
    options.hinting = False
    options.layout_features = []
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.glyph_names = False
    options.drop_tables += list(PER_GLYPH_TABLES + LAYOUT_TABLES)
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=sorted(unicodes))
    subsetter.subset(font)


def add_glyph(font, name, glyph, advance):
    glyph.recalcBounds(font["glyf"])
    order = font.getGlyphOrder() + [name]
    font["glyf"].glyphs[name] = glyph
    font["hmtx"].metrics[name] = (advance, glyph.xMin if glyph.numberOfContours else 0)
    font.setGlyphOrder(order)
    font["glyf"].glyphOrder = order


def outline_of(glyphset, name, transform):
    """A glyph's outline, components resolved, through an affine transform."""
    recording = DecomposingRecordingPen(glyphset)
    glyphset[name].draw(recording)
    pen = TTGlyphPen(None)
    recording.replay(TransformPen(pen, transform))
    return pen.glyph()


def reference_box(font, reference):
    """The mean box and advance of a few plain characters, in font units: where this face puts
    a character and how large."""
    glyf, cmap = font["glyf"], font.getBestCmap()
    boxes = []
    for ch in reference:
        g = glyf[cmap[ord(ch)]] if ord(ch) in cmap else None
        if g is not None and g.numberOfContours > 0:
            boxes.append((g.xMin, g.yMin, g.xMax, g.yMax, font["hmtx"][cmap[ord(ch)]][0]))
    if not boxes:
        raise KitError(f"a face without any of {reference} to measure")
    return [sum(b[i] for b in boxes) / len(boxes) for i in range(5)]


def fill_transform(donor, font, reference):
    """The affine transform that puts the donor's glyphs at this face's size and place: the
    reference characters of both take the same box."""
    dx0, dy0, dx1, dy1, _ = reference_box(donor, reference)
    tx0, ty0, tx1, ty1, _ = reference_box(font, reference)
    scale = (ty1 - ty0) / (dy1 - dy0)
    return (scale, 0, 0, scale, (tx0 + tx1) / 2 - scale * (dx0 + dx1) / 2,
            (ty0 + ty1) / 2 - scale * (dy0 + dy1) / 2)


def fill_missing(font, donors, required, reference):
    """Draws each required character the face lacks from the first donor that has it, scaled
    and moved so that the reference characters of both faces take the same place and size.
    Ideographs keep the face's own advance; other characters the donor's, scaled."""
    mapping = dict(font.getBestCmap())
    missing = [ch for ch in required if ord(ch) not in mapping]
    if not missing:
        return 0
    advance = reference_box(font, reference)[4]
    transforms = {}
    for ch in missing:
        donor = next((d for d in donors if d is not None and ord(ch) in d.getBestCmap()), None)
        if donor is None:
            raise KitError(f"no face to fill {ch} (U+{ord(ch):04X}) from")
        if id(donor) not in transforms:
            transforms[id(donor)] = fill_transform(donor, font, reference)
        transform = transforms[id(donor)]
        source = donor.getBestCmap()[ord(ch)]
        name = f"fill.u{ord(ch):04X}"
        glyph = outline_of(donor.getGlyphSet(), source, transform)
        width = advance if is_han(ord(ch)) else donor["hmtx"][source][0] * transform[0]
        add_glyph(font, name, glyph, round(width))
        mapping[ord(ch)] = name
    set_cmap(font, mapping)
    return len(missing)


# A compound surname is written as one stroke of the brush: its two characters at the face's
# height, each narrowed to this share of an em, side by side in one glyph with this share of an
# em between their inks, less than lies between a surname and the name after it.
COMPOUND_SHARE = 0.85
COMPOUND_GAP = 0.02


def add_compound_glyphs(font, pairs):
    """A Private Use Area glyph per compound surname: its two characters side by side,
    outlines resolved, so its bounds and side bearing are those of the ink."""
    mapping = dict(font.getBestCmap())
    glyphset = font.getGlyphSet()
    em = font["head"].unitsPerEm
    for i, pair in enumerate(pairs):
        pen = TTGlyphPen(None)
        at, right = 0, None
        for ch in pair:
            if ord(ch) not in mapping:
                raise KitError(f"head face lacks {ch} for {pair}")
            advance = font["hmtx"][mapping[ord(ch)]][0]
            narrowed = COMPOUND_SHARE * em / advance
            recording = DecomposingRecordingPen(glyphset)
            glyphset[mapping[ord(ch)]].draw(recording)
            bounds = BoundsPen(glyphset)
            recording.replay(bounds)
            if bounds.bounds and right is not None:
                # The second's ink a little after the first's.
                at = right + COMPOUND_GAP * em - narrowed * bounds.bounds[0]
            recording.replay(TransformPen(pen, (narrowed, 0, 0, 1, at, 0)))
            if bounds.bounds:
                right = at + narrowed * bounds.bounds[2]
            width = at + COMPOUND_SHARE * em
            at += COMPOUND_SHARE * em
        name = f"compound{i}"
        add_glyph(font, name, pen.glyph(), round(width))
        mapping[PUA_START + i] = name
    set_cmap(font, mapping)


def rename(font, family):
    name = font["name"]
    name.names = [n for n in name.names if n.nameID not in (1, 2, 3, 4, 6, 16, 17, 21, 22)]
    for platform in ((3, 1, 0x409), (1, 0, 0)):
        name.setName(family, 1, *platform)
        name.setName("Regular", 2, *platform)
        name.setName(family + ";sorvex", 3, *platform)
        name.setName(family, 4, *platform)
        name.setName(family.replace(" ", ""), 6, *platform)


def uncovered(font, required):
    """The required characters the face does not draw."""
    glyf, cmap = font["glyf"], font.getBestCmap()
    return [ch for ch in required if ord(ch) not in cmap or not drawn(glyf, cmap[ord(ch)])]


def normalize_metrics(font):
    """One line height in every table that tells it, so that any engine measures the face
    alike; the face's own hhea numbers are the ones kept."""
    set_vertical_metrics(font, *vertical_metrics(font))


def check_face(font, family, path, required):
    rename(font, family)
    font["post"].formatType = 3.0
    lacking = uncovered(font, required)
    if lacking:
        shown = "".join(lacking[:20])
        raise KitError(f"{path} does not draw {len(lacking)} required characters: {shown}")


def save_job(job):
    """Writes one face file as plain TrueType, which the program registers without unpacking
    it. Several faces of one source go into one collection, where they share their glyphs and
    differ only in size, line and name; a face is written as it was made, its bounds already
    found."""
    path, faces = job
    if len(faces) == 1:
        with open(path, "wb") as f:
            f.write(faces[0])
        return len(TTFont(io.BytesIO(faces[0])).getBestCmap())
    collection = TTCollection()
    collection.fonts = [TTFont(io.BytesIO(data), recalcBBoxes=False) for data in faces]
    collection.save(path, shareTables=True)
    return len(collection.fonts[0].getBestCmap())


def fuxing_text(pairs):
    """GBK text, one entry per surname: space, surname, "-", its first character, its glyph."""
    text = "".join(f" {p}-{p[0]}{chr(PUA_START + i)}" for i, p in enumerate(pairs))
    for i, p in enumerate(pairs):
        first = text.find(p)
        if text[first - 1] != " " or text[first + 2] != "-" or text[first + 4] != chr(PUA_START + i):
            raise KitError(f"{p} occurs before its own entry")
    # The user-defined area of GBK sits at the GB18030 codes; everything else must be
    # plain GBK.
    for ch in text:
        if not PUA_START <= ord(ch) < PUA_START + 0x765:
            ch.encode("gbk")
    return text.encode("gb18030") + b"\r\n"


# The time every face is stamped with: a kit built twice from the same inputs is the same,
# byte for byte (fontTools stamps the time of saving otherwise). A packager's own wins.
