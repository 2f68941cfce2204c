#include "revisions.h"

#include "base/regularfile.h"
#include "documentinput.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// No real document has more: each is a guard against a file that claims millions.
constexpr int MaxSections = 8192;
constexpr qint64 MaxEntries = 4'000'000;
constexpr qint64 MaxXrefStreamBytes = 64 * 1024 * 1024;

bool isSpace(int c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

// Reading a file from an offset, a block at a time.
class Cursor
{
public:
    Cursor(const OpenedFile& file, qint64 at) : file_(file), at_(at) {}

    qint64 pos() const { return at_; }
    void seek(qint64 at) { at_ = at; }
    int peek()
    {
        if (at_ >= file_.size)
            return -1;
        if (at_ < blockStart_ || at_ >= blockStart_ + block_.size()) {
            blockStart_ = at_;
            block_ = file_.read(at_, 64 * 1024);
            if (block_.isEmpty())
                return -1;
        }
        return uchar(block_.at(qsizetype(at_ - blockStart_)));
    }
    int get()
    {
        const int c = peek();
        if (c >= 0)
            ++at_;
        return c;
    }
    void skipSpace()
    {
        while (isSpace(peek()))
            ++at_;
    }
    bool literal(const char* word)
    {
        const qint64 from = at_;
        for (const char* p = word; *p; ++p)
            if (get() != uchar(*p)) {
                at_ = from;
                return false;
            }
        return true;
    }
    // A non-negative integer of at most 18 digits.
    std::optional<qint64> integer()
    {
        qint64 value = 0;
        int digits = 0;
        while (peek() >= '0' && peek() <= '9' && digits < 18) {
            value = value * 10 + (get() - '0');
            ++digits;
        }
        if (digits == 0 || (peek() >= '0' && peek() <= '9'))
            return std::nullopt;
        return value;
    }
    // A line end: CR LF, LF or CR.
    bool lineEnd()
    {
        if (peek() == '\r') {
            get();
            if (peek() == '\n')
                get();
            return true;
        }
        if (peek() == '\n') {
            get();
            return true;
        }
        return false;
    }

private:
    const OpenedFile& file_;
    qint64 at_;
    QByteArray block_;
    qint64 blockStart_ = -1;
};

struct Section
{
    qint64 at = 0; // file offset of "xref" or of the stream's "N G obj"
    QPDFObjectHandle trailer;
    std::vector<XrefEntry> entries;
    std::set<int> twice;
    qint64 after = 0; // one past the trailer's dictionary or the stream's "endobj"
};

using Fault = RevisionFault::Kind;

struct Failed
{
    Fault kind;
    qint64 at;
};

// A trailer or a cross-reference stream's dictionary, parsed by qpdf where the cursor is: its
// references resolve into `context`, an empty document, so that nothing is read through them.
QPDFObjectHandle dictionaryAt(const std::shared_ptr<const OpenedFile>& file, Cursor& cursor,
                              QPDF& context)
{
    auto input = std::make_shared<DocumentInput>(file, QByteArray(), "revision");
    input->seek(cursor.pos(), SEEK_SET);
    QPDFTokenizer tokenizer;
    bool empty = false;
    QPDFObjectHandle dict;
    try {
        dict = QPDFObjectHandle::parse(input, "trailer", tokenizer, empty, nullptr, &context);
    } catch (const std::exception&) {
        throw Failed{Fault::BadTrailer, cursor.pos()};
    }
    if (empty || !dict.isDictionary())
        throw Failed{Fault::BadTrailer, cursor.pos()};
    cursor.seek(input->tell());
    return dict;
}

void addEntry(Section& section, std::set<int>& seen, XrefEntry entry)
{
    if (!seen.insert(entry.number).second)
        section.twice.insert(entry.number);
    section.entries.push_back(entry);
}

void readTable(const std::shared_ptr<const OpenedFile>& file, Cursor& cursor, QPDF& context,
               Section& section, qint64 headerOffset, qint64& budget)
{
    std::set<int> seen;
    for (;;) {
        cursor.skipSpace();
        if (cursor.literal("trailer"))
            break;
        const auto first = cursor.integer();
        cursor.skipSpace();
        const auto count = cursor.integer();
        if (!first || !count || *first + *count > (1 << 23) ||
            *count * 18 > file->size - cursor.pos())
            throw Failed{Fault::BadSection, cursor.pos()};
        if ((budget -= *count) < 0)
            throw Failed{Fault::TooLarge, cursor.pos()};
        for (qint64 i = 0; i < *count; ++i) {
            cursor.skipSpace();
            const auto offset = cursor.integer();
            if (cursor.get() != ' ')
                throw Failed{Fault::BadSection, cursor.pos()};
            const auto generation = cursor.integer();
            if (!offset || !generation || cursor.get() != ' ')
                throw Failed{Fault::BadSection, cursor.pos()};
            const int type = cursor.get();
            if (type != 'n' && type != 'f')
                throw Failed{Fault::BadSection, cursor.pos()};
            XrefEntry entry;
            entry.number = int(*first + i);
            entry.generation = int(std::min<qint64>(*generation, 65535));
            entry.type = type == 'n' ? XrefEntry::Type::InFile : XrefEntry::Type::Free;
            entry.offset = type == 'n' ? *offset + headerOffset : 0;
            // The head of the free list is no object of anyone's.
            if (entry.number == 0 && entry.type == XrefEntry::Type::Free)
                continue;
            addEntry(section, seen, entry);
        }
    }
    cursor.skipSpace();
    section.trailer = dictionaryAt(file, cursor, context);
    section.after = cursor.pos();
}

// The PNG predictors a cross-reference stream's data may be written with, undone in place.
bool unpredict(QByteArray& data, int columns)
{
    const int row = columns + 1;
    if (columns <= 0 || data.size() % row != 0)
        return false;
    QByteArray out(data.size() / row * columns, '\0');
    QByteArray previous(columns, '\0');
    for (qsizetype r = 0; r * row < data.size(); ++r) {
        const int filter = uchar(data[r * row]);
        for (int c = 0; c < columns; ++c) {
            const int x = uchar(data[r * row + 1 + c]);
            const int left = c > 0 ? uchar(out[r * columns + c - 1]) : 0;
            const int up = uchar(previous[c]);
            const int upLeft = c > 0 ? uchar(previous[c - 1]) : 0;
            int value = x;
            switch (filter) {
            case 0:
                break;
            case 1:
                value = x + left;
                break;
            case 2:
                value = x + up;
                break;
            case 3:
                value = x + (left + up) / 2;
                break;
            case 4: {
                const int p = left + up - upLeft;
                const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
                value = x + (pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft);
                break;
            }
            default:
                return false;
            }
            out[r * columns + c] = char(value & 0xff);
        }
        previous = out.mid(r * columns, columns);
    }
    data = out;
    return true;
}

std::optional<QByteArray> inflated(const QByteArray& data)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    char buffer[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (out.size() > MaxXrefStreamBytes || (status == Z_BUF_ERROR && z.avail_in == 0))
            break;
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END)
        return std::nullopt;
    return out;
}

qint64 intOf(QPDFObjectHandle object, qint64 otherwise = -1)
{
    return object.isInteger() ? object.getIntValue() : otherwise;
}

void readStream(const std::shared_ptr<const OpenedFile>& file, Cursor& cursor, QPDF& context,
                Section& section, qint64 headerOffset, qint64& budget)
{
    const auto number = cursor.integer();
    cursor.skipSpace();
    const auto generation = cursor.integer();
    cursor.skipSpace();
    if (!number || !generation || !cursor.literal("obj"))
        throw Failed{Fault::BadSection, cursor.pos()};
    cursor.skipSpace();
    QPDFObjectHandle dict = dictionaryAt(file, cursor, context);
    cursor.skipSpace();
    const qint64 length = intOf(dict.getKey("/Length"));
    if (!dict.getKey("/Type").isNameAndEquals("/XRef") || !cursor.literal("stream") ||
        !cursor.lineEnd() || length < 0 || length > MaxXrefStreamBytes ||
        cursor.pos() + length > file->size)
        throw Failed{Fault::BadSection, cursor.pos()};
    QByteArray data = file->read(cursor.pos(), length);
    Cursor end(*file, cursor.pos() + length);
    end.skipSpace();
    if (!end.literal("endstream"))
        throw Failed{Fault::BadSection, end.pos()};
    end.skipSpace();
    if (!end.literal("endobj"))
        throw Failed{Fault::BadSection, end.pos()};
    cursor.seek(end.pos());
    section.trailer = dict;
    section.after = cursor.pos();

    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() == 1)
        filter = filter.getArrayItem(0);
    QPDFObjectHandle parms = dict.getKey("/DecodeParms");
    if (parms.isArray() && parms.getArrayNItems() == 1)
        parms = parms.getArrayItem(0);
    if (filter.isNameAndEquals("/FlateDecode")) {
        const auto plain = inflated(data);
        if (!plain)
            throw Failed{Fault::BadSection, section.at};
        data = *plain;
    } else if (!filter.isNull()) {
        throw Failed{Fault::BadSection, section.at};
    }
    const qint64 predictor = parms.isDictionary() ? intOf(parms.getKey("/Predictor"), 1) : 1;
    QPDFObjectHandle w = dict.getKey("/W");
    if (!w.isArray() || w.getArrayNItems() != 3)
        throw Failed{Fault::BadSection, section.at};
    int widths[3];
    for (int i = 0; i < 3; ++i) {
        widths[i] = int(intOf(w.getArrayItem(i)));
        if (widths[i] < 0 || widths[i] > 8)
            throw Failed{Fault::BadSection, section.at};
    }
    const int row = widths[0] + widths[1] + widths[2];
    if (predictor >= 10) {
        const qint64 columns = parms.isDictionary() ? intOf(parms.getKey("/Columns"), 1) : 1;
        if (columns != row || !unpredict(data, row))
            throw Failed{Fault::BadSection, section.at};
    } else if (predictor != 1) {
        throw Failed{Fault::BadSection, section.at};
    }
    const qint64 size = intOf(dict.getKey("/Size"));
    std::vector<std::pair<qint64, qint64>> ranges;
    QPDFObjectHandle index = dict.getKey("/Index");
    if (index.isArray()) {
        for (int i = 0; i + 1 < index.getArrayNItems(); i += 2)
            ranges.emplace_back(intOf(index.getArrayItem(i)), intOf(index.getArrayItem(i + 1)));
    } else {
        ranges.emplace_back(0, size);
    }
    qint64 at = 0;
    std::set<int> seen;
    const auto field = [&](int which, qint64 otherwise) {
        if (widths[which] == 0)
            return otherwise;
        qint64 value = 0;
        for (int i = 0; i < widths[which]; ++i)
            value = (value << 8) | uchar(data[at++]);
        return value;
    };
    for (const auto& [first, count] : ranges) {
        if (first < 0 || count < 0 || first + count > (1 << 23) || row == 0 ||
            (at + count * row) > data.size())
            throw Failed{Fault::BadSection, section.at};
        if ((budget -= count) < 0)
            throw Failed{Fault::TooLarge, section.at};
        for (qint64 i = 0; i < count; ++i) {
            const qint64 type = field(0, 1), second = field(1, 0), third = field(2, 0);
            XrefEntry entry;
            entry.number = int(first + i);
            if (type == 0) {
                if (entry.number == 0)
                    continue;
                entry.type = XrefEntry::Type::Free;
            } else if (type == 1) {
                entry.type = XrefEntry::Type::InFile;
                entry.offset = second + headerOffset;
                entry.generation = int(std::min<qint64>(third, 65535));
            } else if (type == 2) {
                entry.type = XrefEntry::Type::InStream;
                entry.stream = int(std::min<qint64>(second, 1 << 23));
                entry.index = int(std::min<qint64>(third, 1 << 23));
            } else {
                continue; // a type no reader knows is a null object: nothing is defined
            }
            addEntry(section, seen, entry);
        }
    }
}

Section readSection(const std::shared_ptr<const OpenedFile>& file, qint64 at, QPDF& context,
                    qint64 headerOffset, qint64& budget)
{
    if (at < 0 || at >= file->size)
        throw Failed{Fault::BadSection, at};
    Section section;
    section.at = at;
    Cursor cursor(*file, at);
    if (cursor.literal("xref")) {
        readTable(file, cursor, context, section, headerOffset, budget);
        // A hybrid file's table lists as free what its stream gives: both are the section.
        if (const qint64 stream = intOf(section.trailer.getKey("/XRefStm")); stream >= 0) {
            Section more;
            more.at = stream + headerOffset;
            Cursor streamCursor(*file, more.at);
            readStream(file, streamCursor, context, more, headerOffset, budget);
            std::set<int> listed;
            for (const XrefEntry& e : section.entries)
                if (e.type != XrefEntry::Type::Free)
                    listed.insert(e.number);
            for (const XrefEntry& e : more.entries)
                if (!listed.count(e.number))
                    section.entries.push_back(e);
        }
    } else {
        readStream(file, cursor, context, section, headerOffset, budget);
    }
    return section;
}

// Where the section ends its revision: "startxref", the offset `named`, "%%EOF" and at most one
// line end after the section. The revision's end, or none where something else follows.
std::optional<qint64> tailAfter(const OpenedFile& file, qint64 after, qint64 named)
{
    Cursor cursor(file, after);
    cursor.skipSpace();
    if (!cursor.literal("startxref"))
        return std::nullopt;
    cursor.skipSpace();
    const auto offset = cursor.integer();
    cursor.skipSpace();
    if (!offset || *offset != named || !cursor.literal("%%EOF"))
        return std::nullopt;
    cursor.lineEnd();
    return cursor.pos();
}

// The offset the file's own end names: its last "startxref", with only blanks after "%%EOF".
std::optional<qint64> lastStartXref(const OpenedFile& file)
{
    const qint64 tailLength = std::min<qint64>(file.size, 4096);
    const QByteArray tail = file.read(file.size - tailLength, tailLength);
    const qsizetype at = tail.lastIndexOf("startxref");
    if (at < 0)
        return std::nullopt;
    Cursor cursor(file, file.size - tailLength + at + 9);
    cursor.skipSpace();
    return cursor.integer();
}

// Where a revision's bytes hold "startxref", an offset and "%%EOF" before its own end.
std::optional<qint64> innerEnd(const OpenedFile& file, const Revision& revision)
{
    constexpr qint64 Chunk = 4 << 20;
    for (qint64 at = revision.start; at < revision.end; at += Chunk - 64) {
        const QByteArray part = file.read(at, std::min(Chunk, revision.end - at));
        for (qsizetype found = part.indexOf("%%EOF"); found >= 0;
             found = part.indexOf("%%EOF", found + 5)) {
            // Its own "%%EOF" ends it, but for a line end.
            if (at + found + 5 + 2 >= revision.end)
                continue;
            qsizetype p = found;
            while (p > 0 && isSpace(uchar(part[p - 1])))
                --p;
            const qsizetype digits = p;
            while (p > 0 && part[p - 1] >= '0' && part[p - 1] <= '9')
                --p;
            if (p == digits)
                continue;
            while (p > 0 && isSpace(uchar(part[p - 1])))
                --p;
            if (p >= 9 && part.mid(p - 9, 9) == "startxref")
                return at + found;
        }
        if (at + Chunk >= revision.end)
            break;
    }
    return std::nullopt;
}

} // namespace

const XrefEntry* Revision::entry(int number) const
{
    const auto it = byNumber_.find(number);
    return it == byNumber_.end() ? nullptr : &entries[it->second];
}

int RevisionChain::endingAt(qint64 end) const
{
    for (size_t i = 0; i < revisions.size(); ++i)
        if (revisions[i].end == end)
            return int(i + 1);
    return 0;
}

int RevisionChain::holding(qint64 offset) const
{
    for (size_t i = 0; i < revisions.size(); ++i)
        if (offset >= revisions[i].start && offset < revisions[i].end)
            return int(i + 1);
    return 0;
}

RevisionChain readRevisions(const OpenedFile& file, qint64 headerOffset)
{
    RevisionChain chain;
    // qpdf reads through a shared file; this one is the caller's, held for as long as we read.
    const std::shared_ptr<const OpenedFile> shared(&file, [](const OpenedFile*) {});
    QPDF context;
    context.emptyPDF();
    context.setSuppressWarnings(true);
    qint64 budget = MaxEntries;
    try {
        const auto last = lastStartXref(file);
        if (!last)
            throw Failed{Fault::NoEnd, file.size};
        std::vector<Revision> newestFirst;
        std::optional<qint64> named = last;
        int sections = 0;
        while (named) {
            Revision revision;
            const qint64 start = *named + headerOffset;
            std::vector<qint64> sectionsAt;
            std::optional<qint64> next;
            for (qint64 at = start;;) {
                if (++sections > MaxSections)
                    throw Failed{Fault::TooLarge, at};
                if (std::find(sectionsAt.begin(), sectionsAt.end(), at) != sectionsAt.end())
                    throw Failed{Fault::BadTrailer, at};
                Section section = readSection(shared, at, context, headerOffset, budget);
                sectionsAt.push_back(at);
                if (revision.trailerSize == 0)
                    revision.trailerSize = intOf(section.trailer.getKey("/Size"), 0);
                // Entries of a newer section hide an older one's: kept first.
                std::set<int> listed;
                for (const XrefEntry& e : revision.entries)
                    listed.insert(e.number);
                for (const XrefEntry& e : section.entries)
                    if (!listed.count(e.number))
                        revision.entries.push_back(e);
                revision.definedTwice.insert(section.twice.begin(), section.twice.end());
                const qint64 prev = intOf(section.trailer.getKey("/Prev"));
                if (const auto end = tailAfter(file, section.after, *named)) {
                    revision.end = *end;
                    if (prev >= 0)
                        next = prev;
                    break;
                }
                // A linearized document's first-page section points on to the rest of its
                // first revision; any other section must end its revision.
                if (prev < 0)
                    throw Failed{Fault::NoEnd, section.after};
                at = prev + headerOffset;
            }
            for (const qint64 at : sectionsAt)
                if (at >= revision.end)
                    throw Failed{Fault::NotAppended, at};
            revision.start = 0;
            newestFirst.push_back(std::move(revision));
            named = next;
        }
        std::reverse(newestFirst.begin(), newestFirst.end());
        for (Revision& r : newestFirst)
            for (size_t i = 0; i < r.entries.size(); ++i)
                r.byNumber_.emplace(r.entries[i].number, i);
        chain.revisions = std::move(newestFirst);
        for (size_t i = 1; i < chain.revisions.size(); ++i) {
            Revision& r = chain.revisions[i];
            r.start = chain.revisions[i - 1].end;
            if (r.end <= r.start)
                throw Failed{Fault::NotAppended, r.end};
        }
        // An update whose /Prev skips a revision holds that revision's end in its own bytes.
        for (size_t i = 1; i < chain.revisions.size(); ++i)
            if (const auto at = innerEnd(file, chain.revisions[i]))
                throw Failed{Fault::HiddenRevision, *at};
        // Sections of an update lie in its own bytes, and every body where its revision is.
        for (size_t i = 0; i < chain.revisions.size(); ++i)
            for (const XrefEntry& e : chain.revisions[i].entries)
                if (e.type == XrefEntry::Type::InFile &&
                    (e.offset < 0 || e.offset >= chain.revisions[i].end))
                    throw Failed{Fault::EntryOutside, e.offset};
        // Only blanks may follow the last "%%EOF".
        const qint64 end = chain.revisions.back().end;
        for (qint64 at = end; at < file.size; at += 65536) {
            const QByteArray rest = file.read(at, 65536);
            for (qsizetype i = 0; i < rest.size(); ++i)
                if (!isSpace(uchar(rest[i])))
                    throw Failed{Fault::BytesAfterEnd, at + i};
        }
    } catch (const Failed& failed) {
        chain.revisions.clear();
        chain.fault = RevisionFault{failed.kind, failed.at};
    } catch (const std::exception&) {
        chain.revisions.clear();
        chain.fault = RevisionFault{Fault::BadTrailer, 0};
    }
    return chain;
}

std::set<int> unlistedBodies(const OpenedFile& file, const RevisionChain& chain)
{
    std::set<qint64> listed;
    for (const Revision& r : chain.revisions)
        for (const XrefEntry& e : r.entries)
            if (e.type == XrefEntry::Type::InFile)
                listed.insert(e.offset);
    std::set<int> unlisted;
    constexpr qint64 Chunk = 4 << 20;
    for (qint64 at = 0; at < file.size; at += Chunk - 64) {
        const QByteArray part = file.read(at, Chunk);
        for (qsizetype found = part.indexOf(" obj"); found >= 0;
             found = part.indexOf(" obj", found + 4)) {
            // "N G obj": two numbers before, a delimiter after.
            const qsizetype after = found + 4;
            if (after < part.size() && !isSpace(uchar(part[after])) &&
                !std::strchr("<[/(", part[after]))
                continue;
            qsizetype p = found;
            const auto number = [&]() -> qsizetype {
                const qsizetype end = p;
                while (p > 0 && part[p - 1] >= '0' && part[p - 1] <= '9')
                    --p;
                return end - p;
            };
            if (number() == 0 || p == 0 || part[p - 1] != ' ')
                continue;
            const qsizetype numberEnd = --p;
            if (number() == 0 || (p > 0 && !isSpace(uchar(part[p - 1]))))
                continue;
            const qint64 bodyAt = at + p;
            if (listed.count(bodyAt))
                continue;
            unlisted.insert(part.mid(p, numberEnd - p).toInt());
        }
        if (at + Chunk >= file.size)
            break;
    }
    return unlisted;
}
