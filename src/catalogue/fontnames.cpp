#include "fontnames.h"

#include <QList>
#include <QSet>

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

quint16 read16(const QByteArray& b, qsizetype at)
{
    return quint16((uchar(b[at]) << 8) | uchar(b[at + 1]));
}

quint32 read32(const QByteArray& b, qsizetype at)
{
    return (quint32(read16(b, at)) << 16) | read16(b, at + 2);
}

void append16(QByteArray& b, quint16 v)
{
    b.append(char(v >> 8)).append(char(v & 0xFF));
}

void write32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = char(v >> (24 - 8 * k));
}

void padTo4(QByteArray& b)
{
    b.append((4 - b.size() % 4) % 4, '\0');
}

quint32 checksum(QByteArray table)
{
    padTo4(table);
    quint32 sum = 0;
    for (qsizetype at = 0; at < table.size(); at += 4)
        sum += read32(table, at);
    return sum;
}

struct NameRecord
{
    quint16 platform, encoding, language, id, length, offset;
    auto order() const { return std::tie(platform, encoding, language, id); }
};

constexpr quint32 Tag_name = 0x6E616D65;
enum NameId : quint16 { Family = 1, FullName = 4, TypographicFamily = 16, WwsFamily = 21 };

// The renamed name table of the face whose table records start at `records`, appended to `out`,
// with the face's former family names; false where the table cannot be read.
bool renameFace(QByteArray& out, qsizetype records, const QString& family, QStringList& former)
{
    if (records + 6 > out.size())
        return false;
    const int tables = read16(out, records - 8);
    if (records + qsizetype(tables) * 16 > out.size())
        return false;
    qsizetype record = -1;
    for (int i = 0; i < tables && record < 0; ++i)
        if (read32(out, records + i * 16) == Tag_name)
            record = records + i * 16;
    if (record < 0)
        return false;
    const quint32 offset = read32(out, record + 8);
    const quint32 length = read32(out, record + 12);
    if (offset > quint32(out.size()) || length > quint32(out.size()) - offset || length < 6)
        return false;
    const QByteArray table = out.mid(offset, length);
    const int count = read16(table, 2);
    const quint16 stringsAt = read16(table, 4);
    if (6 + qsizetype(count) * 12 > table.size() || stringsAt > table.size())
        return false;
    const QByteArray strings = table.mid(stringsAt);

    // Every family name goes, in every language, with the full name that repeats it; so do names
    // in a language given by tag, whose tags the new table does not carry.
    QList<NameRecord> names;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 6 + qsizetype(i) * 12;
        const NameRecord r{read16(table, at),     read16(table, at + 2), read16(table, at + 4),
                           read16(table, at + 6), read16(table, at + 8), read16(table, at + 10)};
        if (qsizetype(r.offset) + r.length > strings.size())
            continue;
        const bool familyName = r.id == Family || r.id == TypographicFamily || r.id == WwsFamily;
        if (familyName) {
            const QByteArray text = strings.mid(r.offset, r.length);
            if (r.platform == 0 || r.platform == 3) {
                QString name;
                for (qsizetype k = 0; k + 1 < text.size(); k += 2)
                    name += QChar(read16(text, k));
                former << name;
            } else if (r.platform == 1 && r.encoding == 0) {
                former << QString::fromLatin1(text);
            }
        }
        if (!familyName && r.id != FullName && r.language < 0x8000)
            names << r;
    }
    former.removeDuplicates();
    QByteArray utf16;
    for (const QChar c : family)
        append16(utf16, c.unicode());
    // Offsets and counts are 16 bits wide.
    if (strings.size() > 0xFFFF || utf16.size() > 0xFFFF || 6 + (names.size() + 2) * 12 > 0xFFFF)
        return false;
    for (const quint16 id : {Family, FullName})
        names << NameRecord{3, 1, 0x409, id, quint16(utf16.size()), quint16(strings.size())};
    std::sort(names.begin(), names.end(),
              [](const NameRecord& a, const NameRecord& b) { return a.order() < b.order(); });

    QByteArray renamed;
    append16(renamed, 0);
    append16(renamed, quint16(names.size()));
    append16(renamed, quint16(6 + names.size() * 12));
    for (const NameRecord& r : std::as_const(names))
        for (const quint16 v : {r.platform, r.encoding, r.language, r.id, r.length, r.offset})
            append16(renamed, v);
    renamed += strings + utf16;

    // The new table goes at the end; the old one stays where it was, unreferenced.
    padTo4(out);
    const qsizetype at = out.size();
    out += renamed;
    padTo4(out);
    write32(out, record + 4, checksum(renamed));
    write32(out, record + 8, quint32(at));
    write32(out, record + 12, quint32(renamed.size()));
    return true;
}

bool isFontVersion(quint32 version)
{
    return version == 0x00010000 || version == 0x4F54544F /* OTTO */ || version == 0x74727565;
}

// A renamed file holds a name table for each face besides the old ones: a collection whose
// faces all point at one large name table must not grow without bound.
constexpr qsizetype MaxRenamedBytes = 128 * 1024 * 1024;

// Where each face's table directory starts (its header), or none for a file that is not a
// font or collection, or lists a face past its end.
std::optional<QList<qsizetype>> faceHeaders(const QByteArray& font)
{
    if (font.size() < 12)
        return std::nullopt;
    if (isFontVersion(read32(font, 0)))
        return QList<qsizetype>{0};
    if (!font.startsWith("ttcf"))
        return std::nullopt;
    const quint32 count = read32(font, 8);
    if (count == 0 || 12 + qint64(count) * 4 > font.size())
        return std::nullopt;
    QList<qsizetype> headers;
    headers.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const quint32 header = read32(font, 12 + i * 4);
        if (qint64(header) + 12 > font.size() || !isFontVersion(read32(font, header)))
            return std::nullopt;
        headers << qsizetype(header);
    }
    return headers;
}

} // namespace

QString renamedFamily(const QString& family, qsizetype index, qsizetype faces)
{
    return faces == 1 ? family : family + u' ' + QString::number(index + 1);
}

std::optional<RenamedFont> withFamilyName(const QByteArray& font, const QString& family)
{
    const std::optional<QList<qsizetype>> headers = faceHeaders(font);
    if (!headers)
        return {};
    // Two faces sharing one header would be named twice over.
    if (QSet<qsizetype>(headers->cbegin(), headers->cend()).size() != headers->size())
        return {};
    RenamedFont renamed{font, {}};
    for (qsizetype i = 0; i < headers->size(); ++i) {
        QStringList former;
        if (!renameFace(renamed.bytes, headers->at(i) + 12,
                        renamedFamily(family, i, headers->size()), former) ||
            renamed.bytes.size() > MaxRenamedBytes)
            return {};
        renamed.formerFamilies << former;
    }
    return renamed;
}

namespace {

// A face's table: its tag, where it starts and how long it is.
struct Table
{
    quint32 tag;
    quint64 offset, length;
    quint64 end() const { return offset + length; }
};

// Asks `face` about each face's tables; false where a face's directory does not lie within the
// file, or `face` says no.
template <typename F>
bool eachFaceTables(const QByteArray& font, F&& face)
{
    const std::optional<QList<qsizetype>> headers = faceHeaders(font);
    if (!headers)
        return false;
    for (const qsizetype header : *headers) {
        const qsizetype tables = read16(font, header + 4);
        if (header + 12 + tables * 16 > font.size())
            return false;
        QList<Table> found;
        for (qsizetype t = 0; t < tables; ++t) {
            const qsizetype record = header + 12 + t * 16;
            found.append({read32(font, record), read32(font, record + 8), read32(font, record + 12)});
        }
        if (!face(found))
            return false;
    }
    return true;
}

const Table* tableOf(const QList<Table>& tables, quint32 tag)
{
    for (const Table& t : tables)
        if (t.tag == tag)
            return &t;
    return nullptr;
}

bool hasTag(const QList<Table>& tables, quint32 tag)
{
    return tableOf(tables, tag) != nullptr;
}

// Whether some glyph of a TrueType face has an outline: a face of bitmaps may carry an outline
// table of empty glyphs beside them, which would draw nothing at any size.
bool someGlyphHasAnOutline(const QByteArray& font, const QList<Table>& tables)
{
    const Table* glyf = tableOf(tables, 0x676C7966 /* glyf */);
    const Table* loca = tableOf(tables, 0x6C6F6361 /* loca */);
    const Table* head = tableOf(tables, 0x68656164 /* head */);
    const Table* maxp = tableOf(tables, 0x6D617870 /* maxp */);
    if (!glyf || !loca || !head || !maxp || glyf->length == 0 || head->length < 54 ||
        maxp->length < 6)
        return false;
    const bool longOffsets = read16(font, qsizetype(head->offset) + 50) != 0;
    const qsizetype glyphs = read16(font, qsizetype(maxp->offset) + 4);
    const qsizetype width = longOffsets ? 4 : 2;
    if (quint64((glyphs + 1) * width) > loca->length)
        return false;
    const auto at = [&](qsizetype i) {
        const qsizetype where = qsizetype(loca->offset) + i * width;
        return longOffsets ? quint64(read32(font, where)) : quint64(read16(font, where)) * 2;
    };
    for (qsizetype i = 0; i < glyphs; ++i)
        if (at(i + 1) > at(i))
            return true;
    return false;
}

} // namespace

bool tablesLieWithin(const QByteArray& font)
{
    return eachFaceTables(font, [&font](const QList<Table>& tables) {
        return std::all_of(tables.cbegin(), tables.cend(),
                           [&font](const Table& t) { return t.end() <= quint64(font.size()); }) &&
               hasTag(tables, 0x68656164 /* head */) && hasTag(tables, 0x636d6170 /* cmap */);
    });
}

bool everyFaceHasOutlines(const QByteArray& font)
{
    return eachFaceTables(font, [&font](const QList<Table>& tables) {
        return someGlyphHasAnOutline(font, tables) || hasTag(tables, 0x43464620 /* CFF */) ||
               hasTag(tables, 0x43464632 /* CFF2 */);
    });
}
