#!/usr/bin/python3
"""Builds the demo data kit beside the program from Debian's font packages.

    build_kit.py OUTPUT_DIR

Writes OUTPUT_DIR/fonts (font-file and folder styles), OUTPUT_DIR/data/fuxing.dat and
OUTPUT_DIR/licenses. Every font gets a family name no installed font has, so a face that
draws in the program draws because the program registered its file. Backgrounds are drawn by
make-backgrounds.
"""

import logging
import os
import shutil
import sys

from fontTools.ttLib import TTCollection, TTFont
from fontTools.ttLib.tables._g_l_y_f import Glyph, GlyphComponent

FONTS = "/usr/share/fonts"
SOURCES = {
    "wenkai": ("fonts-lxgw-wenkai", f"{FONTS}/truetype/lxgw-wenkai/LXGWWenKai-Regular.ttf"),
    "wenkai-bold": ("fonts-lxgw-wenkai", f"{FONTS}/truetype/lxgw-wenkai/LXGWWenKai-Bold.ttf"),
    "wenkai-light": ("fonts-lxgw-wenkai", f"{FONTS}/truetype/lxgw-wenkai/LXGWWenKai-Light.ttf"),
    "ukai": ("fonts-arphic-ukai", f"{FONTS}/truetype/arphic/ukai.ttc"),
    "gkai": ("fonts-arphic-gkai00mp", f"{FONTS}/truetype/arphic-gkai00mp/gkai00mp.ttf"),
    "zenhei": ("fonts-wqy-zenhei", f"{FONTS}/truetype/wqy/wqy-zenhei.ttc"),
    "sousyo": ("fonts-kouzan-mouhitsu", f"{FONTS}/truetype/kouzan-mouhitsu/KouzanBrushFontSousyo.ttf"),
    "gyosho": ("fonts-kouzan-mouhitsu", f"{FONTS}/truetype/kouzan-mouhitsu/kouzan-mouhitsu-gyosho.ttf"),
    "lobster": ("fonts-lobster", f"{FONTS}/opentype/lobster/lobster.otf"),
    "dancing": ("fonts-dancingscript", f"{FONTS}/opentype/dancingscript/DancingScript-Regular.otf"),
    "dancing-bold": ("fonts-dancingscript", f"{FONTS}/opentype/dancingscript/DancingScript-Bold.otf"),
    "kaushan": ("fonts-kaushanscript", f"{FONTS}/opentype/kaushanscript/KaushanScript-Regular.otf"),
    "kristi": ("fonts-kristi", f"{FONTS}/truetype/kristi/Kristi.ttf"),
}

# Font-file styles: file name style(face).dat, the face being the family the file carries.
FILE_STYLES = [
    ("公文签", "SorvexGongwen", "wenkai", None),
    ("毛体", "SorvexMaoti", "sousyo", "gkai"),  # Japanese brush face, simplified forms from Kai
    ("篆印体", "SorvexZhuanyin", "wenkai-bold", None),
    ("篆印体-阴文", "SorvexZhuanyinYin", "zenhei", None),
    ("楷书签", "SorvexKaishu", "ukai", None),
    ("行书签", "SorvexXingshu", "gyosho", "gkai"),
]

# Folder styles: three faces for head, middle and tail, files prefix + "1.dat" .. "3.dat".
FOLDER_STYLES = [
    ("艺术签", "sva", [("wenkai-bold", None), ("ukai", None), ("gkai", None)]),
    ("潇洒签", "svb", [("gkai", None), ("wenkai-light", None), ("sousyo", "gkai")]),
    ("英文签-流畅", "svc", [("lobster", None), ("dancing", None), ("kaushan", None)]),
    ("英文签-手写", "svd", [("kaushan", None), ("kristi", None), ("dancing-bold", None)]),
]

COMPOUND_SURNAMES = (
    "欧阳 司马 上官 诸葛 东方 皇甫 尉迟 公孙 慕容 长孙 宇文 司徒 夏侯 轩辕 令狐 端木 西门 南宫 "
    "独孤 司空 呼延 闻人 赫连 澹台 公冶 太叔 申屠 钟离 宗政 濮阳 淳于 单于 仲孙 万俟 东郭 百里 "
    "东门 公羊 羊舌 微生 梁丘 左丘 第五 谷梁 拓跋 夹谷 宰父 段干 乐正 巫马 公良 公西 漆雕 壤驷 "
    "颛孙 子车 亓官 司寇 鲜于 闾丘 公仪 北宫 东宫 叱干 尉缭 即墨 青阳 况后 有琴 梁丘").split()
PUA_START = 0xE000


def surnames():
    seen = []
    for s in COMPOUND_SURNAMES:
        if s not in seen:
            seen.append(s)
    return seen


def load(key):
    path = SOURCES[key][1]
    if path.endswith(".ttc"):
        return TTCollection(path).fonts[0]
    return TTFont(path)


def rename(font, family):
    name = font["name"]
    name.names = [n for n in name.names if n.nameID not in (1, 2, 3, 4, 6, 16, 17, 21, 22)]
    for platform in ((3, 1, 0x409), (1, 0, 0)):
        name.setName(family, 1, *platform)
        name.setName("Regular", 2, *platform)
        name.setName(family + ";sorvex", 3, *platform)
        name.setName(family, 4, *platform)
        name.setName(family.replace(" ", ""), 6, *platform)
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [family]
        top = cff.topDictIndex[0]
        top.FamilyName = top.FullName = family


def drop_per_glyph_tables(font):
    for tag in ("hdmx", "LTSH", "VDMX", "DSIG", "kern"):
        if tag in font:
            del font[tag]


def add_glyph(font, name, glyph, advance):
    order = font.getGlyphOrder()
    font["glyf"].glyphs[name] = glyph
    font["hmtx"].metrics[name] = (advance, 0)
    if "vmtx" in font:
        font["vmtx"].metrics[name] = (font["head"].unitsPerEm, 0)
    font.setGlyphOrder(order + [name])
    font["glyf"].glyphOrder = font.getGlyphOrder()


def map_codepoint(font, codepoint, glyph_name):
    for table in font["cmap"].tables:
        if table.isUnicode() and (codepoint <= 0xFFFF or table.format in (12, 13)):
            if table.format in (4, 12, 13):
                table.cmap[codepoint] = glyph_name


def fill_missing(font, donor):
    """Copies the characters `font` lacks from `donor` (same units per em, TrueType outlines)."""
    cmap = font.getBestCmap()
    donor_cmap = donor.getBestCmap()
    scale = font["head"].unitsPerEm / donor["head"].unitsPerEm
    assert scale == 1, "donor must share the units per em"
    donor_glyf = donor["glyf"]
    copied = {}

    def copy(gname):
        if gname in copied:
            return copied[gname]
        new = f"sv.{gname}"
        copied[gname] = new
        g = donor_glyf[gname]
        if g.isComposite():
            for c in g.components:
                c.glyphName = copy(c.glyphName)
        if hasattr(g, "program"):
            g.program.fromBytecode(b"")  # the donor's hinting means nothing here
        add_glyph(font, new, g, donor["hmtx"].metrics[gname][0])
        return new

    for cp, gname in donor_cmap.items():
        if cp not in cmap and 0x3000 <= cp <= 0x9FFF:
            map_codepoint(font, cp, copy(gname))


def add_compound_glyphs(font, pairs):
    """A Private Use Area glyph per compound surname: its two characters side by side in one em."""
    cmap = font.getBestCmap()
    em = font["head"].unitsPerEm
    for i, pair in enumerate(pairs):
        missing = [c for c in pair if ord(c) not in cmap]
        if missing:
            raise SystemExit(f"build_kit: head font lacks {''.join(missing)} for {pair}")
        g = Glyph()
        g.numberOfContours = -1
        g.components = []
        for k, ch in enumerate(pair):
            c = GlyphComponent()
            c.glyphName = cmap[ord(ch)]
            c.x = k * em // 2
            c.y = em // 20
            c.flags = 0x4  # ROUND_XY_TO_GRID
            c.transform = [[0.5, 0], [0, 0.9]]
            g.components.append(c)
        name = f"sv.compound{i}"
        add_glyph(font, name, g, em)
        map_codepoint(font, PUA_START + i, name)


def make_font(key, donor, family, out_path, pairs=None):
    font = load(key)
    if donor or pairs:
        drop_per_glyph_tables(font)
    if donor:
        fill_missing(font, load(donor))
    if pairs:
        add_compound_glyphs(font, pairs)
    rename(font, family)
    font.save(out_path)


def fuxing_text(pairs):
    """GBK text, one entry per surname: space, surname, "-", its first character, its glyph."""
    text = "".join(f" {p}-{p[0]}{chr(PUA_START + i)}" for i, p in enumerate(pairs))
    for i, p in enumerate(pairs):
        first = text.find(p)
        if text[first - 1] != " " or text[first + 2] != "-" or text[first + 4] != chr(PUA_START + i):
            raise SystemExit(f"build_kit: {p} occurs before its own entry")
    # Windows code page 936 keeps the user-defined area at the GB18030 codes; everything else
    # must be plain GBK.
    data = text.encode("gb18030")
    for ch in text:
        if not PUA_START <= ord(ch) < PUA_START + 0x765:
            ch.encode("gbk")
    return data + b"\r\n"


def main():
    logging.getLogger("fontTools").setLevel(logging.ERROR)  # gkai00mp has 4 stray glyf bytes
    if len(sys.argv) != 2:
        raise SystemExit("usage: build_kit.py OUTPUT_DIR")
    out = sys.argv[1]
    fonts = os.path.join(out, "fonts")
    files = os.path.join(fonts, "电脑字")
    data = os.path.join(out, "data")
    licenses = os.path.join(out, "licenses")
    for d in (files, data, licenses):
        os.makedirs(d, exist_ok=True)
    pairs = surnames()

    for style, face, key, donor in FILE_STYLES:
        make_font(key, donor, face, os.path.join(files, f"{style}({face}).dat"))
    for style, prefix, faces in FOLDER_STYLES:
        folder = os.path.join(fonts, style)
        os.makedirs(folder, exist_ok=True)
        chinese = "英文签" not in style
        for k, (key, donor) in enumerate(faces, start=1):
            make_font(key, donor, f"{prefix}{k}", os.path.join(folder, f"{prefix}{k}.dat"),
                      pairs if chinese and k == 1 else None)

    with open(os.path.join(data, "fuxing.dat"), "wb") as f:
        f.write(fuxing_text(pairs))

    used = {key for *_, key, donor in FILE_STYLES} | {k for *_, faces in FOLDER_STYLES for k, _ in faces}
    used |= {donor for *_, donor in FILE_STYLES if donor}
    for package in sorted({SOURCES[k][0] for k in used}):
        shutil.copy(f"/usr/share/doc/{package}/copyright", os.path.join(licenses, f"{package}.txt"))


if __name__ == "__main__":
    main()
