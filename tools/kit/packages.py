"""The kit's sources: Debian's font files and the npm registry's font packages, pinned by
version and integrity hash, fetched once into the cache and checked every time they are used."""

import base64
import hashlib
import io
import os
import re
import subprocess
import tarfile
import tempfile

from fontTools.ttLib import TTFont

from kitglyphs import (GB2312, LAYOUT_TABLES, PER_GLYPH_TABLES, RARE_NAME_CHARACTERS, KitError,
                       common_use_characters, drop_tables, is_companion, outline, raw_glyph,
                       set_cmap, strip_instructions, subset_to)
from sealfaces import truetype


WENKAI = "/usr/share/fonts/truetype/lxgw-wenkai"
DEBIAN = {
    "wenkai": ("fonts-lxgw-wenkai", f"{WENKAI}/LXGWWenKai-Regular.ttf"),
    "wenkai-bold": ("fonts-lxgw-wenkai", f"{WENKAI}/LXGWWenKai-Bold.ttf"),
    "wenkai-light": ("fonts-lxgw-wenkai", f"{WENKAI}/LXGWWenKai-Light.ttf"),
    # Noto Sans CJK SC, the third face of its collections: the seals are carved from it.
    "noto-sans": ("fonts-noto-cjk", "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc", 2),
    "noto-sans-bold": ("fonts-noto-cjk", "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", 2),
}

# @fontsource packages: version and the registry's integrity hash of its tarball.
NPM = {
    "liu-jian-mao-cao": ("5.3.0", "sha512-OaFm4okm77XoGA9jp1J89tDjdWlzb68yJCUL7LV75QxUWF/qOBRVqmhP7XFFsgcn/PL+nc2dPvRGT/8yit5LZg=="),
    "zhi-mang-xing": ("5.3.0", "sha512-V21yCCm5o2PHdXF2P9KKh7uiqL8QFFuII4DRQkpG24tfyDzJPchXKsxkcvKM43xEPvQKdbhHCBbXEFjcm/TUCQ=="),
    "ma-shan-zheng": ("5.3.1", "sha512-cGGn7Yje2RSduXVxEk+rCfNZyD/T/7FMGj03LNPiK8TRL9Sing0tq1zJF3n+W29szPqgb2RNs5oIvmm+ikeI+Q=="),
    "long-cang": ("5.3.0", "sha512-lCcBJb+LWZpYCVtGvQRiZPy5/EaGPuYLycpJXUIOz28EYGGqhTVWBRqY6ucaW8l1F8gvfjutY1PoAPUrFiP0wg=="),
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
                package, path, *index = DEBIAN[key]
                font = TTFont(path, fontNumber=index[0] if index else -1)
                drop_tables(font, PER_GLYPH_TABLES + LAYOUT_TABLES)
                if "CFF " in font:
                    # A face of every CJK character: what a name may hold, then its outlines
                    # as TrueType's.
                    wanted = ({ord(ch) for ch in GB2312 + list(RARE_NAME_CHARACTERS)}
                              | common_use_characters()
                              | {cp for cp in font.getBestCmap() if is_companion(cp)})
                    subset_to(font, wanted & set(font.getBestCmap()))
                    truetype(font)
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
