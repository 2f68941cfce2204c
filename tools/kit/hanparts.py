"""Rare name characters built from the parts of a face's own characters, so that 喆 in a
running hand is written in that hand and not pasted in from a printed Kai.

A character is put together from parts of characters the face has: 玥 is the 王 of 现 beside
the 月 of 明, fitted into the place 见 takes in 现. A part is a set of whole contours, found by
cutting a character where the fewest strokes cross; a stroke that crosses goes with the side
that holds most of it."""

from fontTools.pens.recordingPen import DecomposingRecordingPen
from fontTools.pens.ttGlyphPen import TTGlyphPen

from kitglyphs import add_glyph, set_cmap

# Each rare character: ways to build it, the first sound one taken; each way its parts, each
# (source, where in it, box, where in that). "L"/"R" are
# the left and right of a character cut from top to bottom, "T"/"B" the top and bottom of one
# cut across, "W" the whole; "BL" is the left of the bottom. A part keeps its place where its
# source is its box; elsewhere it is fitted into the box's place. The first box's character
# gives the advance.
RECIPES = {
    "喆": [[("颉", "L", "林", "L"), ("洁", "R", "林", "R")],
           [("结", "R", "林", "L"), ("洁", "R", "林", "R")]],
    "堃": [[("放", "L", "垫", "TL"), ("仿", "R", "垫", "TR"), ("垫", "B", "垫", "B")]],
    "赟": [[("斌", "L", "赞", "TL"), ("斌", "R", "赞", "TR"), ("赞", "B", "赞", "B")]],
    "昇": [[("昊", "T", "昊", "T"), ("升", "W", "昊", "B")],
           [("早", "T", "早", "T"), ("升", "W", "早", "B")]],
    "犇": [[("牛", "W", box, "T"), ("物", "L", box, "BL"), ("件", "R", box, "BR")]
           for box in ("森", "品", "晶", "众")],
    "垚": [[("土", "W", box, "T"), ("地", "L", box, "BL"), ("杜", "R", box, "BR")]
           for box in ("森", "品", "晶", "众")],
    "玥": [[("现", "L", "现", "L"), ("明", "R", "现", "R")]],
    "珺": [[("现", "L", "现", "L"), ("裙", "R", "现", "R")]],
    "瑄": [[("现", "L", "现", "L"), ("喧", "R", "现", "R")]],
    "琇": [[("现", "L", "现", "L"), ("绣", "R", "现", "R")]],
    "玹": [[("现", "L", "现", "L"), ("弦", "R", "现", "R")]],
    "璟": [[("现", "L", "现", "L"), ("憬", "R", "现", "R")]],
    "瑀": [[("现", "L", "现", "L"), ("龋", "R", "现", "R")]],
    "祎": [[("祥", "L", "祥", "L"), ("伟", "R", "祥", "R")]],
    "祐": [[("祥", "L", "祥", "L"), ("佑", "R", "祥", "R")]],
    "镕": [[("钱", "L", "钱", "L"), ("溶", "R", "钱", "R")]],
    "晞": [[("晴", "L", "晴", "L"), ("稀", "R", "晴", "R")]],
    "堉": [[("培", "L", "培", "L"), ("育", "W", "培", "R")]],
    "婳": [[("婉", "L", "婉", "L"), ("画", "W", "婉", "R")]],
    "旻": [[("昊", "T", "昊", "T"), ("文", "W", "昊", "B")]],
    "𠮷": [[("去", "T", "吉", "T"), ("吉", "B", "吉", "B")]],
}

# A part is fitted into a box of another shape by at most this much more one way than the
# other; beyond it, scaled alike both ways and centred, as a carver would not squash it.
MOST_SQUASH = 1.25


def _contours(glyphset, name):
    """The glyph's shapes, components resolved: each a list of pen calls, an outline followed
    by the counters inside it, so that no cut parts a stroke from its counters."""
    recording = DecomposingRecordingPen(glyphset)
    glyphset[name].draw(recording)
    contours, current = [], []
    for op, args in recording.value:
        current.append((op, args))
        if op in ("closePath", "endPath"):
            contours.append(current)
            current = []
    if current:
        contours.append(current)
    boxes = [_box([c]) for c in contours]

    def inside(a, b):
        return (a is not None and b is not None and a != b and b[0] <= a[0] and b[1] <= a[1]
                and a[2] <= b[2] and a[3] <= b[3])

    # A counter winds the other way from the outline around it, and goes with the smallest one
    # around it.
    turns = [_area(c) for c in contours]
    shapes = {i: list(c) for i, c in enumerate(contours)}
    for i, box in enumerate(boxes):
        around = [j for j, other in enumerate(boxes)
                  if j != i and turns[j] * turns[i] < 0 and inside(box, other)]
        if around:
            outer = min(around, key=lambda j: (boxes[j][2] - boxes[j][0]) *
                        (boxes[j][3] - boxes[j][1]))
            while outer not in shapes:
                outer = next(j for j in range(len(contours)) if j in shapes and
                             inside(boxes[outer], boxes[j]))
            shapes[outer].extend(shapes.pop(i))
    return [shapes[i] for i in sorted(shapes)]


def _area(contour):
    """The signed area of the polygon through a contour's points: its winding."""
    points = _points(contour)
    return sum(a[0] * b[1] - b[0] * a[1] for a, b in zip(points, points[1:] + points[:1])) / 2


def _points(contour):
    return [p for _, args in contour for p in args if p is not None]


def _box(contours):
    points = [p for c in contours for p in _points(c)]
    if not points:
        return None
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return min(xs), min(ys), max(xs), max(ys)


def _split(contours, axis):
    """The contours before and after the cut along `axis` (0: a cut from top to bottom, 1: one
    across) that crosses the least ink, looked for in the middle half of the character."""
    spans = []
    for c in contours:
        values = [p[axis] for p in _points(c)]
        spans.append((min(values), max(values)))
    low, high = min(s[0] for s in spans), max(s[1] for s in spans)
    size = high - low
    candidates = sorted({v for s in spans for v in s if low + size / 4 <= v <= high - size / 4}
                        | {low + size / 2})

    def crossing(at):
        return sum(min(at - a, b - at) for a, b in spans if a < at < b)

    cut = min(candidates, key=lambda at: (crossing(at), abs(at - (low + size / 2))))
    before, after = [], []
    for c, (a, b) in zip(contours, spans):
        (before if (a + b) / 2 < cut else after).append(c)
    # Font units grow upwards: the top of a character is the part after the cut.
    return (before, after) if axis == 0 else (after, before)


def part(contours, where):
    """The contours of `where` in a character: W, or a path of L/R/T/B cuts."""
    for step in where.replace("W", ""):
        if not contours:
            return []
        first, second = _split(contours, 0 if step in "LR" else 1)
        contours = first if step in "LT" else second
    return contours


def _fit(source, box):
    """The transform that puts the ink box `source` into `box`."""
    sx = (box[2] - box[0]) / max(1, source[2] - source[0])
    sy = (box[3] - box[1]) / max(1, source[3] - source[1])
    if max(sx, sy) > MOST_SQUASH * min(sx, sy):
        sx = sy = min(sx, sy)
    dx = (box[0] + box[2]) / 2 - sx * (source[0] + source[2]) / 2
    dy = (box[1] + box[3]) / 2 - sy * (source[1] + source[3]) / 2
    return sx, sy, dx, dy


def _replay(contours, pen, transform):
    sx, sy, dx, dy = transform
    for contour in contours:
        for op, args in contour:
            moved = [None if p is None else (round(sx * p[0] + dx), round(sy * p[1] + dy))
                     for p in args]
            getattr(pen, op)(*moved)


def _sound(parts, whole):
    """Whether parts placed as `parts` [(ink box, box, transform)] make a character: each part
    fills most of its box at a scale near its own, none is a sliver of its source, no counter
    stands without its outline, and together they cover the box character's place."""
    for ink, box, transform, source_box, shapes in parts:
        sx, sy = transform[0], transform[1]
        if not (0.6 <= sx <= 1.7 and 0.6 <= sy <= 1.7):
            return False
        if (ink[2] - ink[0]) * (ink[3] - ink[1]) < 0.12 * (source_box[2] - source_box[0]) * (
                source_box[3] - source_box[1]):
            return False
        # A shape that winds as counters do, unless the glyph's outlines all wind that way.
        turns = [_area(shape[: next(i for i, (op, _) in enumerate(shape)
                                    if op in ("closePath", "endPath")) + 1])
                 for shape in shapes]
        if turns and any(t > 0 for t in turns) and any(t < 0 for t in turns):
            return False
    placed = [_moved(ink, transform) for ink, _, transform, _, _ in parts]
    # Parts side by side or one above another, not one over the other.
    for i, a in enumerate(placed):
        for b in placed[i + 1:]:
            common = (max(0, min(a[2], b[2]) - max(a[0], b[0])) *
                      max(0, min(a[3], b[3]) - max(a[1], b[1])))
            if common > 0.25 * min((a[2] - a[0]) * (a[3] - a[1]), (b[2] - b[0]) * (b[3] - b[1])):
                return False
    union = (min(b[0] for b in placed), min(b[1] for b in placed),
             max(b[2] for b in placed), max(b[3] for b in placed))
    overlap = (max(0, min(union[2], whole[2]) - max(union[0], whole[0])) *
               max(0, min(union[3], whole[3]) - max(union[1], whole[1])))
    area = lambda b: (b[2] - b[0]) * (b[3] - b[1])
    return overlap >= 0.8 * max(area(union), area(whole))


def _moved(box, transform):
    sx, sy, dx, dy = transform
    return sx * box[0] + dx, sy * box[1] + dy, sx * box[2] + dx, sy * box[3] + dy


def _built(glyphset, cmap, parts):
    """The glyph `parts` build, or None where the face lacks one of them or they do not make
    a sound character."""
    if any(ord(c) not in cmap for p in parts for c in (p[0], p[2])):
        return None
    placed = []
    for source, where, box_of, box_where in parts:
        shapes = _contours(glyphset, cmap[ord(source)])
        contours = part(shapes, where)
        box = _box(part(_contours(glyphset, cmap[ord(box_of)]), box_where))
        ink = _box(contours)
        if ink is None or box is None:
            return None
        keep = source == box_of and where == box_where
        placed.append((ink, box, (1, 1, 0, 0) if keep else _fit(ink, box), _box(shapes),
                       contours))
    if not _sound(placed, _box(_contours(glyphset, cmap[ord(parts[0][2])]))):
        return None
    pen = TTGlyphPen(None)
    for _, _, transform, _, contours in placed:
        _replay(contours, pen, transform)
    return pen.glyph()


def compose_rare(font, recipes=RECIPES):
    """Adds each rare character the face lacks and can build soundly from its own
    characters; the characters added, in order."""
    cmap = dict(font.getBestCmap())
    glyphset = font.getGlyphSet()
    added = []
    for ch, ways in recipes.items():
        if ord(ch) in cmap:
            continue
        for parts in ways:
            glyph = _built(glyphset, cmap, parts)
            if glyph is not None:
                name = f"rare{ord(ch):X}"
                add_glyph(font, name, glyph, font["hmtx"][cmap[ord(parts[0][2])]][0])
                cmap[ord(ch)] = name
                added.append(ch)
                break
    set_cmap(font, cmap)
    return added
