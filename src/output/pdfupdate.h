#pragma once

#include <QByteArray>
#include <QString>

#include <qpdf/InputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>
#include <stdexcept>

#include <map>
#include <optional>
#include <set>
#include <variant>
#include <vector>

// An incremental update: the document's bytes as they were, followed by the objects that are
// new or changed, a cross-reference section of the kind the document's last one is (a table or
// a stream) and a trailer that points back to it. Nothing already in the file moves, so every
// signature over those bytes still verifies.
struct OpenedFile;

class IncrementalUpdate
{
public:
    // `document` was read from `original`; what it holds now is the document before any change.
    IncrementalUpdate(QPDF& document, const OpenedFile& original);

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

    // The update, to follow the document's bytes, or why it cannot be written.
    std::variant<QByteArray, QString> write();

private:
    // A document encrypted with AES (its user password empty, or given) has every string and
    // stream of the update encrypted with its own object's key, as the rest of the file is.
    struct Encryption
    {
        std::string key; // the file's
        int v = 0, r = 0;
        bool strings = false, streams = false; // which are encrypted
        bool aesv3 = false;                    // one key for every object
    };
    std::string encrypted(const std::string& data, QPDFObjGen object, bool stream) const;

    struct NewObject
    {
        QPDFObjectHandle body; // direct, or for an object of another document, that object
        std::optional<std::string> data; // a stream's, where `body` is its dictionary
    };
    QPDFObjectHandle reserve(QPDFObjectHandle standIn, NewObject object);
    // `object` written out as the body of object `self` (its strings encrypted with its key; a
    // trailer is object 0, whose strings stay as they are).
    std::string serialized(QPDFObjectHandle object, bool whole, QPDFObjGen self,
                           bool signatureValue = false);
    std::string reference(QPDFObjectHandle object);
    std::string streamSerialized(QPDFObjectHandle dict, const std::string& data, QPDFObjGen self);

    QPDF& document_;
    const OpenedFile& original_;
    std::set<QPDFObjGen> changed_;
    std::vector<QPDFObjectHandle> objects_; // changed objects, in the order written
    std::map<int, NewObject> new_;          // by number
    std::map<std::pair<QPDF*, QPDFObjGen>, int> foreign_; // other documents' objects, numbered
    int size_ = 0; // the trailer's /Size: one past the last object number
    std::optional<Encryption> encryption_;
    QString unwritable_; // why the update cannot be written, where it cannot
};

// Reading a document is refused past this: qpdf keeps every object it parses, at a hundred
// bytes or more for each number of an array, so a small file can ask for gigabytes.
struct DocumentTooLarge : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// What reading one document may cost: the process's resident memory may grow by `allowed`
// bytes from where it was when the budget was made. Past it, check() throws DocumentTooLarge,
// and keeps throwing, so that qpdf, which turns some failures into warnings, cannot read on;
// exceeded() says so afterwards whatever qpdf made of it.
class MemoryBudget
{
public:
    explicit MemoryBudget(qint64 allowed);
    void check();
    bool exceeded() const { return exceeded_; }
    qint64 allowed() const { return allowed_; }

private:
    qint64 allowed_;
    qint64 limit_;
    bool exceeded_ = false;
};

// A document as qpdf reads it: the parts of an open file it asks for, followed, where there is
// one, by an update not yet written; the budget, where there is one, is checked as it reads.
class DocumentInput : public InputSource
{
public:
    DocumentInput(std::shared_ptr<const OpenedFile> file, QByteArray tail, std::string name,
                  MemoryBudget* budget = nullptr);

    qpdf_offset_t findAndSkipNextEOL() override;
    std::string const& getName() const override { return name_; }
    qpdf_offset_t tell() override { return at_; }
    void seek(qpdf_offset_t offset, int whence) override;
    void rewind() override { at_ = 0; }
    size_t read(char* buffer, size_t length) override;
    void unreadCh(char) override;

private:
    char byteAt(qint64 at);

    std::shared_ptr<const OpenedFile> file_;
    QByteArray tail_;
    std::string name_;
    qint64 size_;
    qint64 at_ = 0;
    QByteArray block_; // the part of the file read last
    qint64 blockStart_ = -1;
    MemoryBudget* budget_;
    int blocksRead_ = 0;
};
