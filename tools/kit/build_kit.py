#!/usr/bin/python3
"""Builds the data kit beside the program.

    build_kit.py OUTPUT_DIR CACHE_DIR        fonts/, data/ and licenses/ in OUTPUT_DIR
    build_kit.py --fetch CACHE_DIR NAME...   fetch and verify the named packages only

LXGW WenKai comes from Debian's fonts-lxgw-wenkai; every other face from the npm registry's
@fontsource packages, pinned below by version and integrity hash. A package is fetched once
into CACHE_DIR and checked against its hash every time it is used; a tarball that does not
match is refused. Backgrounds are drawn by make-backgrounds.

Each face gets a family name no installed font has, so a face that draws in the program draws
because the program registered its file. Every Chinese face draws a non-empty outline for all
6,763 GB2312 characters (and a head face for every compound surname), every Latin face for
ASCII and the Latin-1 letters; the builder fails when that does not hold.
"""

import base64
import bz2
import hashlib
import io
import logging
import multiprocessing
import os
import re
import struct
import subprocess
import sys
import tarfile
import tempfile
import statistics
import unicodedata

from fontTools import subset
from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.transformPen import TransformPen
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTCollection, TTFont
from fontTools.misc.roundTools import otRound
from fontTools.ttLib.tables import _g_l_y_f
from fontTools.ttLib.tables._c_m_a_p import CmapSubtable

from compose import NAME_LETTERS, compose_letters
from fit import (PX_PER_EM, RULES, Face, fit_file_style, fit_folder_style,
                 ink_shape, match_weight, piece_shape, piece_transform, latin_x_height, match_latin_line, match_to_head, move_outlines,
                 scale_face, seal_centring, seal_glyph_factor, set_vertical_metrics,
                 shrink_outlines,
                 square_seal_cells, vertical_metrics, widen_spaces, x_height)


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

WENKAI = "/usr/share/fonts/truetype/lxgw-wenkai"
DEBIAN = {
    "wenkai": ("fonts-lxgw-wenkai", f"{WENKAI}/LXGWWenKai-Regular.ttf"),
    "wenkai-bold": ("fonts-lxgw-wenkai", f"{WENKAI}/LXGWWenKai-Bold.ttf"),
}

# @fontsource packages: version and the registry's integrity hash of its tarball.
NPM = {
    "liu-jian-mao-cao": ("5.3.0", "sha512-OaFm4okm77XoGA9jp1J89tDjdWlzb68yJCUL7LV75QxUWF/qOBRVqmhP7XFFsgcn/PL+nc2dPvRGT/8yit5LZg=="),
    "zhi-mang-xing": ("5.3.0", "sha512-V21yCCm5o2PHdXF2P9KKh7uiqL8QFFuII4DRQkpG24tfyDzJPchXKsxkcvKM43xEPvQKdbhHCBbXEFjcm/TUCQ=="),
    "ma-shan-zheng": ("5.3.1", "sha512-cGGn7Yje2RSduXVxEk+rCfNZyD/T/7FMGj03LNPiK8TRL9Sing0tq1zJF3n+W29szPqgb2RNs5oIvmm+ikeI+Q=="),
    "long-cang": ("5.3.0", "sha512-lCcBJb+LWZpYCVtGvQRiZPy5/EaGPuYLycpJXUIOz28EYGGqhTVWBRqY6ucaW8l1F8gvfjutY1PoAPUrFiP0wg=="),
    "zcool-qingke-huangyou": ("5.3.0", "sha512-6/ld8x/knq1NjDQxLSyg9pDnBPOmtWDb30ZTFk+n8OxfkBoUvPAxh3aV/6+UFGmA5CekJfcgpUwd2/x/weLvSQ=="),
    "zcool-kuaile": ("5.3.0", "sha512-jn4vpQ6QSVEckUn7uk5a9XcZMxEksTRqljmeE1VKRGMjGd6VoXdMyLGSdnTXSVwZLCCEHaIcm/2cdQuwvasJ9w=="),
    "great-vibes": ("5.3.0", "sha512-1w60cXzXnC9V4y943po8044O1mqRQBiTTK75h7OpZE+1VQtx+KlAAzoIyEE5KNzu05gUpxaCQg7cbL7ITSwegQ=="),
    "cedarville-cursive": ("5.3.0", "sha512-wHP/LV0JvHoZRpfNAnDa9p9dAjIqB0gaG44MLs4+MsuQhL3i6+zGDTmxvxMx4bRe6r/HkChxIaMxjWOfjfSdGg=="),
    "pinyon-script": ("5.3.0", "sha512-ilhy4l5apzyDkfuKb7PZBUT5Sf6nfxucdXT5TQ0wQDyWtDPlouLy1lQq3lMEPk1lPsHHVrd11EkPnEG8FqDgUA=="),
    "parisienne": ("5.3.0", "sha512-YbfjZDYy7FMTVE0HRgejkGX3T5iFfgagOYtAAAymq9GklviFAZ1GqIdlyviNe23TiR20f2K7zxsL4AECtWnkEQ=="),
    "sacramento": ("5.3.0", "sha512-KkqN52aTsJ0pSBva/NREqFljs0M1TwMIpNcqdSQc2EKR/mVU1CvM2dazf9eG19rHMTIssjbia83nGG705SlD1w=="),
    "herr-von-muellerhoff": ("5.3.0", "sha512-VOE/9IbMILLfTJwei5l73IFNHMI0t551/QvI+3/cxKOGj8EKjCBO48NlbAVOuRDGbZd/EGn7Dkl8Yv+Jh06IJA=="),
    "mr-de-haviland": ("5.3.0", "sha512-qpBK2wuVNnWNmtz4IWvNvJYNHShzmFkXwrZLYS2nauN2+Oy3Z6zXexq3lUj8QbO4Zz+D0IpL9cs8I/67lvp/iA=="),
    "alex-brush": ("5.3.0", "sha512-n3m2aZxsc8r748fBiYqfiVJ5l5iJe7ui5KPh2oBz07jsbr7zKynZ6F5MgXbR1iV8J0hPetmp6g5OwKYRZCDUcw=="),
    "allura": ("5.3.0", "sha512-UqloNNVxl03+psvtIXCYuo7/v2mD9XmX2HGiczhK6NmDDwbFJJDjrbHZ5tpNuVXKsMEQPc46tZu3hewYN82/YA=="),
    "ms-madi": ("5.3.0", "sha512-pDRXXsvH0PXLABV3w3gP1Pr+jQx9bLu6m8UEmSENvKMxEIn56eRv4itulkYA5fnXdg6ttfJvA5pjmYvJ7PLBwQ=="),
    "corinthia": ("5.3.0", "sha512-q9LxRjynQR5cNPrBzB6J9Ho+My1qObNYSdBxWzZCR72LuLnVeRIo+5wzUj2b5EJtvJU/AnXE/fagn8WDwPBDlQ=="),
    "italianno": ("5.3.0", "sha512-zbI5nY80P4BB1OppKFFnUs8vMKgrbQW1zI0LQ74KR5sD6lmczcJdimM9X7TDIo3auanCRqgYpNSMH341v+7C/Q=="),
    "birthstone": ("5.3.0", "sha512-cWuqsQXUc2kDNEG7IRZV3A+FDeD829pETTYkNYgcO7KyARjfSZuFmABvNjVv9J/7wYb51nQ6L4wZHGqCrH1vPg=="),
    "marck-script": ("5.3.0", "sha512-PLm3zCeXB7osgon3TC0bjBFPua3d5syocLWFpK5eZZGoaSsOw6bpHLdMoGB8PkAErf4RiRUEiszs+Y7JhDnB/w=="),
}

# A Chinese face: its source, and the face its missing characters are filled from (the
# closest in style of the kit's faces that has them).
KAI_FILL = "wenkai"
BOLD_FILL = "wenkai-bold"
CHINESE = {
    "gongwen": ("wenkai", None),
    "maoti": ("liu-jian-mao-cao", KAI_FILL),
    "kaishu": ("ma-shan-zheng", KAI_FILL),
    "xingshu": ("zhi-mang-xing", KAI_FILL),
    "xingcao": ("long-cang", KAI_FILL),
    "seal": ("zcool-qingke-huangyou", BOLD_FILL),
    "seal-intaglio": ("zcool-kuaile", BOLD_FILL),
}

# Font-file styles: fonts/电脑字/style(face).dat.
FILE_STYLES = [
    ("公文签", "SorvexGongwen", "gongwen"),  # the start-up default: a clean formal Kai
    ("毛体", "SorvexMaoti", "maoti"),  # grass script throughout
    ("篆印体", "SorvexZhuanyin", "seal"),  # square strokes read as a carved seal
    ("篆印体-阴文", "SorvexZhuanyinYin", "seal-intaglio"),  # heavy strokes survive white on red
    ("楷书签", "SorvexKaishu", "kaishu"),  # brush Kai
    ("行书签", "SorvexXingshu", "xingshu"),  # running hand
]

# Folder styles: fonts/style/prefix1.dat .. prefix3.dat for head, middle and tail.
FOLDER_STYLES = [
    ("艺术签", "sva", ["kaishu", "xingcao", "xingshu"]),
    ("潇洒签", "svb", ["xingshu", "xingcao", "maoti"]),
    ("英文签-流畅", "svc", ["great-vibes"] * 3),
    ("英文签-手写", "svd", ["cedarville-cursive"] * 3),
    ("英文签-花体", "sve", ["pinyon-script"] * 3),
    ("英文签-优雅", "svf", ["parisienne", "sacramento", "sacramento"]),
    ("英文签-商务", "svg", ["herr-von-muellerhoff", "mr-de-haviland", "mr-de-haviland"]),
    ("英文签-书法", "svh", ["alex-brush"] * 3),
    ("英文签-经典", "svi", ["allura"] * 3),
    ("英文签-随性", "svj", ["ms-madi"] * 3),
    ("英文签-古典", "svk", ["italianno"] * 3),
    ("英文签-秀丽", "svl", ["corinthia"] * 3),
    ("英文签-灵动", "svm", ["birthstone"] * 3),
    ("英文签-俊逸", "svn", ["marck-script"] * 3),
]

# A Latin face lacking a character takes it from its kindred face, and a letter it cannot
# compose from its own glyphs from the first of these script faces that has it.
LATIN_FILL = {"herr-von-muellerhoff": "mr-de-haviland"}
LATIN_DONORS = ["great-vibes", "allura", "corinthia", "birthstone"]

# Characters beyond GB2312 that a style's face lacks draw in a heavy Kai (data/fallback.dat),
# or in the face's own fallback where the kit has one (data/fallback(face).dat).
HEAVY_FALLBACK = "wenkai-bold"
RARE_NAME_CHARACTERS = "堃昇䶮龑𠮷喆琇玥赟"
# The characters of the common-use list (通用规范汉字表, Debian's unicode-data) beyond GB2312:
# each Chinese face of a folder style gets them in a fallback of its own size and baseline, so
# that a name's rare character keeps to the line of the piece it is drawn in.
COMMON_USE = "/usr/share/unicode/Unihan_OtherMappings.txt.bz2"

COMPOUND_SURNAMES = (
    "欧阳 司马 上官 诸葛 东方 皇甫 尉迟 公孙 慕容 长孙 宇文 司徒 夏侯 轩辕 令狐 端木 西门 南宫 "
    "独孤 司空 呼延 闻人 赫连 澹台 公冶 太叔 申屠 钟离 宗政 濮阳 淳于 单于 仲孙 万俟 东郭 百里 "
    "东门 公羊 羊舌 微生 梁丘 左丘 第五 谷梁 拓跋 夹谷 宰父 段干 乐正 巫马 公良 公西 漆雕 壤驷 "
    "颛孙 子车 亓官 司寇 鲜于 闾丘 公仪 北宫 东宫 叱干 尉缭 即墨 青阳 况后 有琴").split()
PUA_START = 0xE000

LAYOUT_TABLES = ("GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern")
PER_GLYPH_TABLES = ("hdmx", "LTSH", "VDMX", "DSIG", "vhea", "vmtx", "VORG", "fpgm", "prep",
                    "cvt ", "gasp")


class KitError(Exception):
    pass


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

def integrity_of(path):
    with open(path, "rb") as f:
        digest = hashlib.sha512(f.read()).digest()
    return "sha512-" + base64.b64encode(digest).decode()


def tarball(name, cache):
    """The verified tarball of a pinned package, fetched with npm unless the cache holds it."""
    if name not in NPM:
        raise KitError(f"no pinned package @fontsource/{name}")
    version, expected = NPM[name]
    path = os.path.join(cache, f"fontsource-{name}-{version}.tgz")
    if not os.path.exists(path):
        os.makedirs(cache, exist_ok=True)
        with tempfile.TemporaryDirectory(dir=cache) as scratch:
            print(f"build_kit: fetching @fontsource/{name}@{version}", flush=True)
            npm = subprocess.run(
                ["npm", "pack", "--silent", f"@fontsource/{name}@{version}",
                 "--pack-destination", scratch],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            fetched = os.path.join(scratch, os.path.basename(path))
            if npm.returncode != 0 or not os.path.exists(fetched):
                raise KitError(f"npm could not fetch @fontsource/{name}@{version}: "
                               f"{npm.stderr.strip()}")
            if integrity_of(fetched) != expected:
                raise KitError(f"@fontsource/{name}@{version} from the registry does not match "
                               f"its pinned integrity hash")
            os.replace(fetched, path)
    actual = integrity_of(path)
    if actual != expected:
        raise KitError(f"{path} does not match the pinned integrity hash of "
                       f"@fontsource/{name}@{version} (expected {expected}, found {actual}); "
                       f"delete it to fetch it again")
    return path


def package_members(path, pattern):
    """(name, bytes) of the tarball's members whose path matches `pattern`."""
    with tarfile.open(path, "r:gz") as tar:
        for member in tar.getmembers():
            if member.isfile() and re.fullmatch(pattern, member.name):
                yield member.name, tar.extractfile(member).read()


# --- fonts --------------------------------------------------------------------------------

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


def join_slices(name, slices, keep_layout):
    """One font from a package's unicode-range slices: the union of their glyphs and cmaps.
    The slices keep the font's own glyph names; a name that stands for two outlines fails."""
    fonts = [TTFont(io.BytesIO(data)) for _, data in slices]
    base = fonts[0]
    base.flavor = None
    glyf, hmtx = base["glyf"], base["hmtx"].metrics
    order = list(base.getGlyphOrder())
    known = {g: raw_glyph(glyf, g) for g in order}
    mapping = dict(base.getBestCmap())
    for font in fonts[1:]:
        for g in font.getGlyphOrder():
            if g in known:
                # Slices may differ in hinting only; the outline must be the same.
                if known[g] != raw_glyph(font["glyf"], g) and outline(glyf, g) != outline(
                        font["glyf"], g):
                    raise KitError(f"{name}: glyph {g} differs between slices")
                continue
            known[g] = raw_glyph(font["glyf"], g)
            order.append(g)
            glyf.glyphs[g] = font["glyf"][g]
            hmtx[g] = font["hmtx"].metrics[g]
        for cp, g in font.getBestCmap().items():
            if mapping.setdefault(cp, g) != g:
                raise KitError(f"{name}: U+{cp:04X} maps to two glyphs")
    base.setGlyphOrder(order)
    glyf.glyphOrder = order
    set_cmap(base, mapping)
    drop_tables(base, PER_GLYPH_TABLES + (() if keep_layout else LAYOUT_TABLES))
    strip_instructions(base)
    return base


def serialized(font):
    buffer = io.BytesIO()
    font.save(buffer)
    return buffer.getvalue()


class Sources:
    """Source fonts as bytes, each read or joined once, handed out as fresh copies."""

    def __init__(self, cache):
        self.cache = cache
        self.data = {}
        self.licenses = {}

    def add_license(self, key):
        package = DEBIAN[key][0]
        with open(f"/usr/share/doc/{package}/copyright", "rb") as f:
            self.licenses[package] = f.read()

    def add_npm_license(self, key):
        for _, text in package_members(tarball(key, self.cache), r"package/LICENSE"):
            self.licenses[f"fontsource-{key}"] = text

    def add_license_of(self, key):
        if key in DEBIAN:
            self.add_license(key)
        else:
            self.add_npm_license(key)

    def font(self, key):
        if key not in self.data:
            if key in DEBIAN:
                package, path = DEBIAN[key]
                font = TTFont(path)
                drop_tables(font, PER_GLYPH_TABLES + LAYOUT_TABLES)
                strip_instructions(font)
                self.data[key] = serialized(font)
                self.add_license(key)
            else:
                path = tarball(key, self.cache)
                # A Chinese face comes in numbered slices beside its Latin ones. Other scripts'
                # slices are left out; the plain Latin slice comes first, so that a Latin face
                # keeps its own kerning and ligatures.
                files = rf"package/files/{re.escape(key)}-"
                latin = sorted(package_members(path, files + r"latin(-ext)?-400-normal\.woff"))
                woff = latin + list(package_members(path, files + r"\d+-400-normal\.woff"))
                chinese = len(woff) > len(latin)
                if not woff:
                    raise KitError(f"@fontsource/{key} holds no WOFF files")
                self.data[key] = serialized(join_slices(key, woff, keep_layout=not chinese))
                self.add_npm_license(key)
        return TTFont(io.BytesIO(self.data[key]))


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
# height, each narrowed to this share of an em, side by side in one glyph.
COMPOUND_SHARE = 0.85


def add_compound_glyphs(font, pairs):
    """A Private Use Area glyph per compound surname: its two characters side by side,
    outlines resolved, so its bounds and side bearing are those of the ink."""
    mapping = dict(font.getBestCmap())
    glyphset = font.getGlyphSet()
    em = font["head"].unitsPerEm
    for i, pair in enumerate(pairs):
        pen = TTGlyphPen(None)
        for k, ch in enumerate(pair):
            if ord(ch) not in mapping:
                raise KitError(f"head face lacks {ch} for {pair}")
            advance = font["hmtx"][mapping[ord(ch)]][0]
            recording = DecomposingRecordingPen(glyphset)
            glyphset[mapping[ord(ch)]].draw(recording)
            recording.replay(TransformPen(pen, (COMPOUND_SHARE * em / advance, 0, 0, 1,
                                                k * COMPOUND_SHARE * em, 0)))
        name = f"compound{i}"
        add_glyph(font, name, pen.glyph(), round(2 * COMPOUND_SHARE * em))
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


# The kit the workers of `side_by_side` work on: each a forked copy of it.
_KIT = None


def _quiet():
    logging.getLogger("fontTools").setLevel(logging.ERROR)


def side_by_side(kit, work, items):
    """`work` over `items` on every core, each worker with its own copy of `kit`; the
    results in the items' order."""
    global _KIT
    _KIT = kit
    with multiprocessing.get_context("fork").Pool(os.cpu_count() or 1, _quiet) as pool:
        return pool.map(work, items, chunksize=1)


def _read_source(key):
    _KIT.sources.font(key)
    return _KIT.sources.data[key]


def _make_chinese(key):
    _KIT.chinese(key)
    return _KIT.raw[key]


# What a style adds to the report and to what follows it; each worker keeps its own.
STYLE_REPORT = ("fits", "heavy_shapes", "x_heights", "shapes", "weights", "moves", "pieces",
                "gongwen_shapes")


def _make_style(index):
    for name in STYLE_REPORT:
        setattr(_KIT, name, [])
    _KIT.variants = {}
    make, args = _KIT.style_jobs[index]
    make(*args)
    report = {name: getattr(_KIT, name) for name in STYLE_REPORT}
    report["variants"] = _KIT.variants
    return report


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


class Kit:
    def __init__(self, out, cache):
        self.sources = Sources(cache)
        self.pairs = list(dict.fromkeys(COMPOUND_SURNAMES))
        self.compounds = [chr(PUA_START + i) for i in range(len(self.pairs))]
        self.compound_glyphs = dict(zip(self.pairs, self.compounds))
        self.out = os.path.abspath(out)  # faces are matched to their files by full path
        self.raw = {}  # face key -> (TrueType bytes, source, fills, emptied, composed letters)
        self.donors = {}
        self.variants = {}  # face key -> [(TrueType bytes, path)]: the styles drawing with it
        self.files = []  # (path, face key, characters)
        self.fits = []  # (style, scale, tightest margin in pixels, move right and down)
        self.x_heights = []  # (style, file, x-height in pixels at 72 points, scale)
        self.shapes = []  # (style, file, ink height, ink centre, scale, shift)
        self.heavy_shapes = []
        self.weights = []  # (style, file, stroke weight beside the head's, before and after)
        self.moves = []  # (Chinese face key, its move)
        self.pieces = []  # (family, piece shape) of each Chinese folder face
        self.gongwen_shapes = []  # the default face's ink shape, for its fallback
        self.fallback_pieces = []  # (family, glyphs, scale, shift up in pixels at 72 points)

    def donor(self, key):
        if key and key not in self.donors:
            self.donors[key] = self.sources.font(key)
        return self.donors.get(key)

    def chinese(self, key):
        """A Chinese face as made from its source, before it is sized for a style. Every face
        has the compound surnames' glyphs, so that one file serves a face as head and as any
        other piece."""
        if key not in self.raw:
            source, donor = CHINESE[key]
            font = self.sources.font(source)
            emptied = drop_empty_mappings(font)
            # A face keeps the rare name characters it draws itself, so that they match the
            # rest of the name; the default face's own rare characters are its fallback.
            keep = is_name_character if donor else is_companion
            own = {cp for cp in font.getBestCmap() if keep(cp)}
            subset_to(font, own | {ord(ch) for ch in GB2312})
            fills = fill_missing(font, [self.donor(donor)], GB2312, IDEOGRAPHS)
            add_compound_glyphs(font, self.pairs)
            normalize_metrics(font)
            self.raw[key] = (serialized(font), source, fills, emptied, "")
        return TTFont(io.BytesIO(self.raw[key][0]))

    def latin(self, source):
        """A Latin face with every letter of European and pinyin names."""
        if source not in self.raw:
            font = self.sources.font(source)
            emptied = drop_empty_mappings(font)
            kindred = self.donor(LATIN_FILL.get(source))
            donors = [d for d in [kindred] + [self.donor(k) for k in LATIN_DONORS if k != source]
                      if d is not None]
            fills = fill_missing(font, donors, LATIN, "Hnox")
            composed, missing, cmap = compose_letters(
                font, NAME_LETTERS, donors, lambda d: fill_transform(d, font, "Hnox"))
            if missing:
                raise KitError(f"{source}: cannot compose {''.join(missing)}")
            set_cmap(font, cmap)
            normalize_metrics(font)
            self.raw[source] = (serialized(font), source, fills, emptied, "".join(composed))
        return TTFont(io.BytesIO(self.raw[source][0]))

    def save(self, font, family, path, required, key):
        check_face(font, family, path, required)
        self.variants.setdefault(key, []).append((serialized(font), path))

    def write_faces(self, shared):
        """Each face once: a style's file where one style draws with it, else a collection in
        `shared` that the styles' files link to."""
        jobs, links = [], []
        for key, variants in self.variants.items():
            if len(variants) == 1:
                jobs.append((variants[0][1], [variants[0][0]]))
                continue
            os.makedirs(shared, exist_ok=True)
            target = os.path.join(shared, f"{key}.dat")
            jobs.append((target, [data for data, _ in variants]))
            links += [(target, path) for _, path in variants]
        characters = [save_job(job) for job in jobs]
        for target, path in links:
            os.symlink(os.path.relpath(target, os.path.dirname(path)), path)
        written = dict(zip((path for path, _ in jobs), characters))
        for key, variants in self.variants.items():
            for _, path in variants:
                target = os.path.realpath(path)
                self.files.append((path, key, written[target]))

    def make_chinese_faces(self):
        """The Chinese faces, made side by side: each takes as long as all the Latin ones."""
        # The donors are read here, once, side by side, and shared with every worker.
        donors = sorted({d for _, d in CHINESE.values() if d} | {"wenkai"})
        for key, data in zip(donors, side_by_side(self, _read_source, donors)):
            self.sources.data[key] = data
            self.sources.add_license_of(key)
        for key, made in zip(CHINESE, side_by_side(self, _make_chinese, list(CHINESE))):
            self.raw[key] = made
        # What the workers read is gone with them, the licences among it.
        for source, _ in CHINESE.values():
            self.sources.add_license_of(source)

    def file_style(self, style, family, key, files):
        font = self.chinese(key)
        seal = key.startswith("seal")
        scale, room, move = fit_file_style(font, seal)
        scale_face(font, scale)
        if seal:
            square_seal_cells(font)
            shrink_outlines(font, seal_glyph_factor(font))
            move = seal_centring(Face(font), ["王晓明", "张三丰", "欧阳娜娜", "李白"])
        move_outlines(font, *move)
        self.fits.append((style, scale, room, move))
        self.moves.append((key, move))
        if key == "gongwen":
            self.gongwen_shapes.append(ink_shape(font))
        else:
            self.heavy_shapes.append(ink_shape(font))
        self.save(font, family, os.path.join(files, f"{style}({family}).dat"), GB2312, key)

    def folder_style(self, style, prefix, keys, fonts):
        folder = os.path.join(fonts, style)
        os.makedirs(folder, exist_ok=True)
        latin = "英文签" in style
        faces = [self.latin(k) if latin else self.chinese(k) for k in keys]
        if latin:
            # Every Latin face at one x-height, whatever size its source drew at.
            for k, font in enumerate(faces, start=1):
                factor = self.x_height / (x_height(font) * PX_PER_EM)
                scale_face(font, factor)
                widen_spaces(font)
                if k > 1:
                    match_latin_line(faces[0], font)
                self.x_heights.append((style, f"{prefix}{k}", self.x_height, factor))
        if not latin:
            for k, font in enumerate(faces[1:], start=2):
                self.weights.append((style, f"{prefix}{k}", *match_weight(faces[0], font)))
        matched = [(1.0, 0.0)] + ([] if latin else
                                  [match_to_head(faces[0], f) for f in faces[1:]])
        scale, room, move = fit_folder_style(faces, latin, self.compound_glyphs)
        self.fits.append((style, scale, room, move))
        for k, (font, key) in enumerate(zip(faces, keys), start=1):
            if not latin:
                self.shapes.append((style, f"{prefix}{k}", *ink_shape(font, from_top=True),
                                    *matched[k - 1]))
            scale_face(font, scale)
            move_outlines(font, *move)
            if not latin:
                self.heavy_shapes.append(ink_shape(font))
                self.pieces.append((f"{prefix}{k}", piece_shape(font)))
            required = (LATIN + NAME_LETTERS if latin
                        else GB2312 + (self.compounds if k == 1 else []))
            self.save(font, f"{prefix}{k}", os.path.join(folder, f"{prefix}{k}.dat"),
                      required, key)

    def build(self):
        self.make_chinese_faces()
        fonts = os.path.join(self.out, "fonts")
        files = os.path.join(fonts, "电脑字")
        data = os.path.join(self.out, "data")
        licenses = os.path.join(self.out, "licenses")
        for d in (files, data, licenses):
            os.makedirs(d, exist_ok=True)
        # Latin faces are made here, where their donors' licences are kept; every style is
        # then made side by side, each worker adding to its own copy of the report, and the
        # copies are joined in the styles' order.
        latin = [keys for style, _, keys in FOLDER_STYLES if "英文签" in style]
        self.x_height = latin_x_height([self.latin(keys[0]) for keys in latin])
        for keys in latin:
            for key in keys:
                self.latin(key)
        self.style_jobs = ([(self.file_style, (style, family, key, files))
                            for style, family, key in FILE_STYLES] +
                           [(self.folder_style, (style, prefix, keys, fonts))
                            for style, prefix, keys in FOLDER_STYLES])
        for report in side_by_side(self, _make_style, range(len(self.style_jobs))):
            for name, rows in report.items():
                if name == "variants":
                    for key, variants in rows.items():
                        self.variants.setdefault(key, []).extend(variants)
                else:
                    getattr(self, name).extend(rows)
        moves = dict(self.moves)  # Chinese face key -> the move it was given, for its fallback
        gongwen_shape = self.gongwen_shapes[0]
        # The fallbacks: a heavy Kai as tall as the brush faces' characters for every style, and
        # the default face's own source for the default style.
        heavy = tuple(statistics.median(s[i] for s in self.heavy_shapes) for i in (0, 1))
        for key, family, path, shape in (
                (HEAVY_FALLBACK, "SorvexFallback", os.path.join(data, "fallback.dat"), heavy),
                ("wenkai", "SorvexFallbackGongwen",
                 os.path.join(data, "fallback(SorvexGongwen).dat"), gongwen_shape)):
            font = self.sources.font(key)
            drop_empty_mappings(font)
            # As tall as the characters it stands beside; it draws on their baseline.
            height = ink_shape(font)[0]
            gb2312 = {ord(ch) for ch in GB2312}
            subset_to(font, {cp for cp in font.getBestCmap() if is_name_character(cp)} - gb2312)
            scale_face(font, shape[0] / height)
            # Moved as the faces it stands beside were, so that it keeps to their places.
            ordinary = [m for k, m in moves.items() if not k.startswith("seal")]
            move_outlines(font, *(moves["gongwen"] if key == "wenkai" else
                                  (statistics.median(m[0] for m in ordinary),
                                   statistics.median(m[1] for m in ordinary))))
            self.save(font, family, path, RARE_NAME_CHARACTERS, family)
            self.raw[family] = (b"", key, 0, 0, "")
            self.sources.add_license(key)
        self.make_piece_fallbacks(self.pieces, data)
        self.write_faces(os.path.join(data, "faces"))
        with open(os.path.join(data, "fuxing.dat"), "wb") as f:
            f.write(fuxing_text(self.pairs))
        for name, text in sorted(self.sources.licenses.items()):
            with open(os.path.join(licenses, f"{name}.txt"), "wb") as f:
                f.write(text)

    def make_piece_fallbacks(self, pieces, data):
        """data/fallback(family).dat for each piece: the heavy Kai's common-use characters at
        that face's height, baseline and cell, so that 堃 in a name stands on the line of the
        characters beside it. Characters beyond the list draw in the shared fallback."""
        gb2312 = {ord(ch) for ch in GB2312}
        wanted = (common_use_characters() - gb2312) | {ord(ch) for ch in RARE_NAME_CHARACTERS}
        for family, shape in pieces:
            font = self.sources.font(HEAVY_FALLBACK)
            drop_empty_mappings(font)
            source = piece_shape(font)
            subset_to(font, wanted & set(font.getBestCmap()))
            em = font["head"].unitsPerEm
            transform, advance = piece_transform(source, shape, em)
            glyphset, glyf, hmtx = font.getGlyphSet(), font["glyf"], font["hmtx"]
            outlines = {name: outline_of(glyphset, name, transform)
                        for name in font.getGlyphOrder()}
            for name, glyph in outlines.items():
                glyph.recalcBounds(glyf)
                glyf[name] = glyph
                hmtx[name] = (advance, getattr(glyph, "xMin", 0))
            self.fallback_pieces.append((family, len(outlines), transform[0],
                                         transform[5] / em * PX_PER_EM))
            key = f"fallback-{family}"
            self.save(font, f"SorvexFallback{family}", os.path.join(data, f"fallback({family}).dat"),
                      RARE_NAME_CHARACTERS, key)
            self.raw[key] = (b"", HEAVY_FALLBACK, 0, 0, "")

    def print_report(self):
        def size(path):
            return "link" if os.path.islink(path) else os.path.getsize(path) // 1024

        print(f"build_kit: {'face':<34} {'source':<22} {'characters':>10} {'filled':>7} "
              f"{'kB':>6}  composed")
        for path, key, chars in self.files:
            _, source, fills, emptied, composed = self.raw[key]
            note = f"  ({emptied} empty outlines unmapped)" if emptied else ""
            print(f"build_kit: {os.path.relpath(path, self.out):<34} {source:<22} {chars:>10} "
                  f"{fills:>7} {size(path):>6}  {composed}{note}")
        print(f"build_kit: {'style':<16} {'scale':>6} {'tightest margin at 72 pt':>26} "
              f"{'centred by (px right, down)':>28}")
        for style, scale, room, move in self.fits:
            print(f"build_kit: {style:<16} {scale:>6.3f} {room:>23.1f} px "
                  f"{move[0]:>+13.1f} {move[1]:>+6.1f}")
        print(f"build_kit: {'Latin face':<16} {'x-height at 72 pt':>18} {'scaled':>7}")
        for style, face, height, factor in self.x_heights:
            print(f"build_kit: {style + '/' + face:<16} {height:>15.1f} px {factor:>7.3f}")
        print(f"build_kit: {'folder face':<16} {'ink height':>10} {'centre':>7} "
              f"{'scaled':>7} {'moved':>6}  (ems; centre below the line's top)")
        for style, face, height, centre, scale, shift in self.shapes:
            print(f"build_kit: {style + '/' + face:<16} {height:>10.3f} {centre:>7.3f} "
                  f"{scale:>7.3f} {shift:>+6.3f}")
        print(f"build_kit: {'folder face':<16} {'strokes beside the head face':>30}")
        for style, face, before, after in self.weights:
            print(f"build_kit: {style + '/' + face:<16} {before:>18.2f} -> {after:.2f}")
        print(f"build_kit: {'piece fallback':<16} {'glyphs':>7} {'scaled':>7} {'raised at 72 pt':>16}")
        for family, glyphs, scale, shift in self.fallback_pieces:
            print(f"build_kit: {family:<16} {glyphs:>7} {scale:>7.3f} {shift:>+13.1f} px")
        total = sum(os.path.getsize(os.path.join(d, f))
                    for part in ("fonts", "data", "licenses")
                    for d, _, fs in os.walk(os.path.join(self.out, part))
                    for f in fs if not os.path.islink(os.path.join(d, f)))
        print(f"build_kit: its fonts, data and licences hold {total / 1e6:.1f} MB")


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
KIT_TIME = "1735689600"  # 2025-01-01


def main(argv):
    logging.getLogger("fontTools").setLevel(logging.ERROR)
    os.environ.setdefault("SOURCE_DATE_EPOCH", KIT_TIME)
    try:
        if len(argv) >= 2 and argv[0] == "--fetch":
            for name in argv[2:]:
                print(f"build_kit: {os.path.basename(tarball(name, argv[1]))} verified")
            return 0
        if len(argv) != 2:
            print("usage: build_kit.py OUTPUT_DIR CACHE_DIR | --fetch CACHE_DIR NAME...",
                  file=sys.stderr)
            return 2
        if not RULES:
            raise KitError("SORVEX_LAYOUT_RULES names no file of the renderer's placement "
                           "rules (sorvex-sign-render --layout-json)")
        kit = Kit(argv[0], argv[1])
        kit.build()
        kit.print_report()
        return 0
    except KitError as e:
        print(f"build_kit: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
