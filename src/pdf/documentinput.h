#pragma once

#include <QByteArray>

#include <qpdf/InputSource.hh>

#include <memory>
#include <stdexcept>
#include <string>

struct OpenedFile;

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
