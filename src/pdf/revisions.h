#pragma once

#include <QtGlobal>

#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

struct OpenedFile;
struct RevisionChain;

// One entry of a cross-reference section: where an object number's body is, or that it is free.
struct XrefEntry
{
    enum class Type { Free, InFile, InStream };
    int number = 0;
    int generation = 0;
    Type type = Type::Free;
    qint64 offset = 0; // InFile: where its body starts in the file
    int stream = 0;    // InStream: the object stream holding it, and its index there
    int index = 0;
};

// A revision of a document: what its author wrote at once, from the end of the revision before
// it through its own "%%EOF". The first is the document as it was made; each later one an
// incremental update with a cross-reference section and a trailer pointing back.
struct Revision
{
    qint64 start = 0; // the previous revision's end (0 for the first)
    qint64 end = 0;   // one past its "%%EOF" and the one line end that may follow it
    std::vector<XrefEntry> entries; // every entry its sections give, the newest section's first
    std::set<int> definedTwice;     // numbers one of its sections gives two entries
    qint64 trailerSize = 0;         // its trailer's /Size

    // Its entry for `number`, where it has one.
    const XrefEntry* entry(int number) const;

private:
    friend RevisionChain readRevisions(const OpenedFile&, qint64);
    std::unordered_map<int, size_t> byNumber_;
};

// Why a document's later bytes cannot be read as a chain of incremental updates: what a careful
// reader refuses to judge rather than mend.
struct RevisionFault
{
    enum class Kind {
        NoEnd,           // the file does not end in "startxref", an offset and "%%EOF"
        BadSection,      // no cross-reference section where an offset points
        BadTrailer,      // a trailer that cannot be read, or whose /Prev leads nowhere
        NotAppended,     // an update's section lies inside the revision before it
        EntryOutside,    // an entry points past the end of its own revision
        BytesAfterEnd,   // bytes after the last "%%EOF" that no cross-reference section lists
        HiddenRevision,  // an update holds the end of a revision its chain skips
        TooLarge,        // more sections or entries than any real document holds
    };
    Kind kind;
    qint64 at = 0; // the offset where reading stopped
};

struct RevisionChain
{
    std::vector<Revision> revisions; // the first first
    std::optional<RevisionFault> fault;

    // The revision that ends exactly at `end` (1-based), or 0.
    int endingAt(qint64 end) const;
    // The revision whose bytes hold `offset` (1-based), or 0.
    int holding(qint64 offset) const;
};

// Reads the chain of revisions of `file`, from its last "startxref" back through each trailer's
// /Prev, strictly: every section where its offset says, each revision ending in a "startxref"
// that names its own section and "%%EOF". `headerOffset` is how many bytes come before
// "%PDF-", which every offset in the file counts after.
RevisionChain readRevisions(const OpenedFile& file, qint64 headerOffset);

// The numbers of objects whose bodies ("N G obj") lie in the file but that no cross-reference
// section of any revision points to: what a later update may re-point an entry to, showing what
// was never seen when the document was signed. Reads the whole file once.
std::set<int> unlistedBodies(const OpenedFile& file, const RevisionChain& chain);
