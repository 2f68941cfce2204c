#pragma once

#include <QByteArray>
#include <QString>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

struct OpenedFile;

// Where the update holds the room for a signature's value, counted from the update's first
// byte: recorded as the bytes are written, so nothing else the update carries (a page's own
// dictionary may hold the same bytes) can be taken for it.
struct SignatureSlot
{
    qsizetype byteRange = 0;       // the first of the byte ranges' placeholder digits
    qsizetype byteRangeLength = 0; // how many characters the placeholder takes
    qsizetype contents = 0;        // the '<' that opens the value's hex string
    qsizetype contentsLength = 0;  // through its '>'
};

// An incremental update: the document's bytes as they were, followed by the objects that are
// new or changed, a cross-reference section of the kind the document's last one is (a table or
// a stream) and a trailer that points back to it. Nothing already in the file moves, so every
// signature over those bytes still verifies.
class IncrementalUpdate
{
public:
    // `document` was read from `original`; what it holds now is the document before any change.
    // New objects are numbered above `highestReferenced`, the highest number the document
    // mentions, defined or not: a number it refers to but never defines reads as nothing, and an
    // object given that number would show wherever it is mentioned.
    IncrementalUpdate(QPDF& document, const OpenedFile& original, int highestReferenced);

    // Writes `object`, an object of the document that was changed, under its own number.
    void add(QPDFObjectHandle object);

    // New objects, under numbers after the document's last. Each returns a reference that the
    // document's objects can hold at once. qpdf is not asked to make them: it would first read
    // every object of the document, however large.
    // `body`, a direct dictionary: the object is changed through the reference until the
    // update is written.
    QPDFObjectHandle put(QPDFObjectHandle body);
    // A stream of `data` whose dictionary is `dict`, direct; its /Length is set when written.
    QPDFObjectHandle putStream(QPDFObjectHandle dict, std::string data);
    // An object of another document (the signature's own), and every object it refers to.
    QPDFObjectHandle foreign(QPDFObjectHandle object);
    // A signature's value: `dict` followed by its byte ranges and room for `room` bytes of
    // signature, both to be filled in once the update's bytes are known (see SignatureSlot).
    QPDFObjectHandle putSignatureValue(QPDFObjectHandle dict, qsizetype room);

    // The number the update's first new object takes: one past every number the document
    // defines or mentions.
    qint64 nextNumber() const { return size_; }

    struct Written
    {
        QByteArray bytes;
        std::optional<SignatureSlot> slot; // where putSignatureValue was called
    };
    // The update, to follow the document's bytes, or why it cannot be written.
    std::variant<Written, QString> write();

private:
    // A document encrypted with AES (its user password empty, or given) has every string and
    // stream of the update encrypted with its own object's key, as the rest of the file is.
    struct Encryption
    {
        std::string key; // the file's
        int v = 0, r = 0;
        bool strings = false, streams = false; // which are encrypted
    };
    std::string encrypted(const std::string& data, QPDFObjGen object, bool stream) const;

    struct NewObject
    {
        QPDFObjectHandle body; // direct, or for an object of another document, that object
        std::optional<std::string> data; // a stream's, where `body` is its dictionary
        qsizetype signatureRoom = -1;    // a signature's value, with room for this many bytes
    };
    QPDFObjectHandle reserve(QPDFObjectHandle standIn, NewObject object);
    // `object` written out as the body of object `self` (its strings encrypted with its key; a
    // trailer is object 0, whose strings stay as they are).
    std::string serialized(QPDFObjectHandle object, bool whole, QPDFObjGen self);
    std::string reference(QPDFObjectHandle object);
    std::string streamSerialized(QPDFObjectHandle dict, const std::string& data, QPDFObjGen self);

    QPDF& document_;
    const OpenedFile& original_;
    std::set<QPDFObjGen> changed_;
    std::vector<QPDFObjectHandle> objects_; // changed objects, in the order written
    std::map<int, NewObject> new_;          // by number
    std::map<std::pair<QPDF*, QPDFObjGen>, int> foreign_; // other documents' objects, numbered
    qint64 size_ = 0;        // the trailer's /Size: one past the last object number
    qint64 headerOffset_ = 0; // bytes before "%PDF-", which readers count offsets after
    std::optional<Encryption> encryption_;
    QString unwritable_; // why the update cannot be written, where it cannot
};

// Where a document's "%PDF-" starts: readers look for it in the first kilobyte and count every
// offset from there.
std::optional<qint64> headerOffset(const OpenedFile& file);
