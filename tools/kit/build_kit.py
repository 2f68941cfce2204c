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

import io
import logging
import multiprocessing
import os
import statistics
import sys

from fontTools.ttLib import TTFont

from compose import NAME_LETTERS, compose_letters
import fit
from fit import (MATCHED, RULES, Face, fit_file_style, fit_folder_style,
                 ink_shape, latin_x_height, match_latin_line, match_to_head, match_weight,
                 piece_shape, piece_transform, set_weight, stroke_weight, x_height)
from outlines import PX_PER_EM, move_outlines, scale_face, widen_spaces
from kitglyphs import (GB2312, IDEOGRAPHS, LATIN, PUA_START, RARE_NAME_CHARACTERS, KitError,
                       add_compound_glyphs, check_face, common_use_characters, drop_empty_mappings,
                       fill_missing, fill_transform, fuxing_text, is_companion,
                       is_name_character, normalize_metrics, outline_of, save_job, set_cmap,
                       subset_to)
from hanparts import compose_rare
from sealfaces import carve, fill_cells
from packages import Sources, serialized, tarball


KAI_FILL = "wenkai"
BOLD_FILL = "wenkai-bold"
CHINESE = {
    "gongwen": ("wenkai", None),
    "maoti": ("liu-jian-mao-cao", KAI_FILL),
    "kaishu": ("ma-shan-zheng", KAI_FILL),
    "xingshu": ("zhi-mang-xing", KAI_FILL),
    "xingcao": ("long-cang", KAI_FILL),
    "seal": ("noto-sans", BOLD_FILL),  # red strokes as heavy as the frame's line
    "seal-intaglio": ("noto-sans-bold", BOLD_FILL),  # white strokes that survive the red
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
# Faces whose own ł and Ł misread (as l with a tilde, as t, as £): written again with a slash.
RESTROKED = {"pinyon-script", "alex-brush"}

# Characters beyond GB2312 that a style's face lacks draw in a heavy Kai (data/fallback.dat),
# or in the face's own fallback where the kit has one (data/fallback(face).dat).
HEAVY_FALLBACK = "wenkai-bold"
# A face's own fallback starts from the weight of Kai nearest its strokes.
FALLBACK_WEIGHTS = ("wenkai-light", "wenkai", "wenkai-bold")
# The characters of the common-use list (通用规范汉字表, Debian's unicode-data) beyond GB2312:
# each Chinese face of a folder style gets them in a fallback of its own size and baseline, so
# that a name's rare character keeps to the line of the piece it is drawn in.


COMPOUND_SURNAMES = (
    "欧阳 司马 上官 诸葛 东方 皇甫 尉迟 公孙 慕容 长孙 宇文 司徒 夏侯 轩辕 令狐 端木 西门 南宫 "
    "独孤 司空 呼延 闻人 赫连 澹台 公冶 太叔 申屠 钟离 宗政 濮阳 淳于 单于 仲孙 万俟 东郭 百里 "
    "东门 公羊 羊舌 微生 梁丘 左丘 第五 谷梁 拓跋 夹谷 宰父 段干 乐正 巫马 公良 公西 漆雕 壤驷 "
    "颛孙 子车 亓官 司寇 鲜于 闾丘 公仪 北宫 东宫 叱干 尉缭 即墨 青阳 况后 有琴").split()


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
                "gongwen_shapes", "seal_boxes")


def _make_style(index):
    for name in STYLE_REPORT:
        setattr(_KIT, name, [])
    _KIT.variants = {}
    make, args = _KIT.style_jobs[index]
    make(*args)
    report = {name: getattr(_KIT, name) for name in STYLE_REPORT}
    report["variants"] = _KIT.variants
    return report


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
        self.pieces = []  # (family, piece shape, stroke weight) of each brush or seal face
        self.gongwen_shapes = []  # the default face's ink shape, for its fallback
        self.fallback_pieces = []  # (family, glyphs, scale, shift up in pixels at 72 points)
        self.seal_boxes = []  # (family, the box its characters fill, its em, advance, line)

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
            # Rare name characters are built from the face's own strokes before any character
            # is filled from another face.
            composed = compose_rare(font) if donor else []
            fills = fill_missing(font, [self.donor(donor)], GB2312, IDEOGRAPHS)
            add_compound_glyphs(font, self.pairs)
            normalize_metrics(font)
            self.raw[key] = (serialized(font), source, fills, emptied, "".join(composed))
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
                font, NAME_LETTERS, donors, lambda d: fill_transform(d, font, "Hnox"),
                restroke=source in RESTROKED)
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
        filled = key == "seal-intaglio"
        if seal:
            # Carved for its cells first, so that the seal is fitted with its own line; the
            # cells again once the face has its size.
            advance = font["hmtx"][Face(font).glyph("王")][0]
            carve(font, advance, RULES["sealLargestSize"], fit.FRAME_MARGIN, filled)
        scale, room, move = fit_file_style(font, seal)
        scale_face(font, scale)
        if seal:
            box, line = carve(font, advance, RULES["sealLargestSize"], fit.FRAME_MARGIN, filled,
                              soften=False)
            self.seal_boxes.append((family, box, font["head"].unitsPerEm, advance, line))
        move_outlines(font, *move)
        self.fits.append((style, scale, room, move))
        self.moves.append((key, move))
        if key == "gongwen":
            self.gongwen_shapes.append(ink_shape(font))
        else:
            self.heavy_shapes.append(ink_shape(font))
            self.pieces.append((family, piece_shape(font), stroke_weight(font)))
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
                self.pieces.append((f"{prefix}{k}", piece_shape(font), stroke_weight(font)))
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
                 os.path.join(data, "continued(SorvexGongwen).dat"), gongwen_shape)):
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
        """data/fallback(family).dat for each brush or seal face: a Kai's common-use
        characters at that face's height, baseline and cell, and with strokes as heavy, so that
        堃 in a name stands on the line of the characters beside it and in a like hand.
        Characters beyond the list draw in the shared fallback."""
        gb2312 = {ord(ch) for ch in GB2312}
        wanted = (common_use_characters() - gb2312) | {ord(ch) for ch in RARE_NAME_CHARACTERS}
        weights = {key: stroke_weight(self.sources.font(key)) for key in FALLBACK_WEIGHTS}
        seals = {family: (box, em) for family, box, em, _, _ in self.seal_boxes}
        for family, shape, weight in pieces:
            # The Kai nearest in weight, grown or thinned the rest of the way.
            key = min(FALLBACK_WEIGHTS, key=lambda k: abs(weights[k] - weight))
            font = self.sources.font(key)
            drop_empty_mappings(font)
            source = piece_shape(font)
            subset_to(font, (wanted | {ord(ch) for ch in MATCHED}) & set(font.getBestCmap()))
            em = font["head"].unitsPerEm
            transform, advance = piece_transform(source, shape, em)
            glyphset, glyf, hmtx = font.getGlyphSet(), font["glyf"], font["hmtx"]
            outlines = {name: outline_of(glyphset, name, transform)
                        for name in font.getGlyphOrder()}
            for name, glyph in outlines.items():
                glyph.recalcBounds(glyf)
                glyf[name] = glyph
                hmtx[name] = (advance, getattr(glyph, "xMin", 0))
            before = weights[key] / weight
            after = set_weight(font, weight)
            if family in seals:
                # A seal's fallback fills its cells as the seal's characters do.
                box, seal_em = seals[family]
                fill_cells(font, [v * em / seal_em for v in box])
            subset_to(font, wanted & set(font.getBestCmap()))
            self.fallback_pieces.append((family, key, len(font.getGlyphOrder()), transform[0],
                                         transform[5] / em * PX_PER_EM, before, after))
            face = f"fallback-{family}"
            self.save(font, f"SorvexFallback{family}", os.path.join(data, f"fallback({family}).dat"),
                      RARE_NAME_CHARACTERS, face)
            self.raw[face] = (b"", key, 0, 0, "")
            self.sources.add_license(key)

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
        print(f"build_kit: {'fallback for':<16} {'from':<12} {'glyphs':>7} {'scaled':>7} "
              f"{'raised at 72 pt':>16} {'strokes beside the face':>24}")
        for family, key, glyphs, scale, shift, before, after in self.fallback_pieces:
            print(f"build_kit: {family:<16} {key:<12} {glyphs:>7} {scale:>7.3f} {shift:>+13.1f} px"
                  f" {before:>14.2f} -> {after:.2f}")
        points = RULES["sealLargestSize"]
        print(f"build_kit: {'seal at ' + str(points) + ' pt':<20} {'frame':>11} {'line':>5} "
              f"{'margin':>7} {'gaps':>9} {'filled':>9}  (pixels; margin inside the line)")
        for family, box, em, advance, line in self.seal_boxes:
            px = points * 20 / em / fit.TWIPS
            left, top = (m / fit.TWIPS for m in fit.FRAME_MARGIN)
            cell_w = advance * px
            cell_h = cell_w + (left - top) / 2
            margin = cell_w - box[2] * px
            print(f"build_kit: {family:<20} {2 * cell_w + left:>5.1f}x{2 * cell_h + top:<5.1f} "
                  f"{line * px:>5.1f} {margin - line * px:>7.1f} {2 * margin - left:>4.1f}/"
                  f"{2 * margin - top:<4.1f} {(box[2] - box[0]) * px / cell_w:>4.0%}/"
                  f"{(box[3] - box[1]) * px / cell_h:<4.0%}")
        total = sum(os.path.getsize(os.path.join(d, f))
                    for part in ("fonts", "data", "licenses")
                    for d, _, fs in os.walk(os.path.join(self.out, part))
                    for f in fs if not os.path.islink(os.path.join(d, f)))
        print(f"build_kit: its fonts, data and licences hold {total / 1e6:.1f} MB")


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
