#pragma once

#include <QByteArray>
#include <QString>

#include <qpdf/InputSource.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <memory>

#include <map>
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

    // Writes `object` in the update: an object of the document, changed, under its own number;
    // a new one, and every new object it refers to when the update is written, under numbers
    // after the document's last.
    void add(QPDFObjectHandle object);

    // The update, to follow the document's bytes, or why it cannot be written.
    std::variant<QByteArray, QString> write();

private:
    void collect(QPDFObjectHandle object);
    std::string serialized(QPDFObjectHandle object, bool whole);
    std::string reference(QPDFObjectHandle object);

    QPDF& document_;
    const OpenedFile& original_;
    std::set<QPDFObjGen> before_;       // every object the document had
    std::map<QPDFObjGen, int> numbers_; // new objects, by qpdf's name, to their numbers
    std::vector<QPDFObjectHandle> objects_; // in the order written
    std::set<QPDFObjGen> added_;
    int size_ = 0; // the trailer's /Size: one past the last object number
};

// A document as qpdf reads it: the parts of an open file it asks for, followed, where there is
// one, by an update not yet written.
class DocumentInput : public InputSource
{
public:
    DocumentInput(std::shared_ptr<const OpenedFile> file, QByteArray tail, std::string name);

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
};
