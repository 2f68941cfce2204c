#pragma once

#include <QByteArray>

#include <qpdf/InputSource.hh>

#include <memory>
#include <stdexcept>
#include <string>

#include "memorybudget.h"

struct OpenedFile;

// A document as qpdf reads it: the parts of an open file it asks for, followed, where there is
// one, by an update not yet written; the budget, where there is one, is checked as it reads.
// With `length`, only the file's first `length` bytes: the document as one of its revisions.
class DocumentInput : public InputSource
{
public:
    DocumentInput(std::shared_ptr<const OpenedFile> file, QByteArray tail, std::string name,
                  MemoryBudget* budget = nullptr, qint64 length = -1);

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
    qint64 fileSize_;
    qint64 size_;
    qint64 at_ = 0;
    QByteArray block_; // the part of the file read last
    qint64 blockStart_ = -1;
    MemoryBudget* budget_;
    int blocksRead_ = 0;
};
