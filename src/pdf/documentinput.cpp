#include "documentinput.h"

#include "base/regularfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <stdexcept>

DocumentInput::DocumentInput(std::shared_ptr<const OpenedFile> file, QByteArray tail,
                             std::string name, MemoryBudget* budget, qint64 length)
    : file_(std::move(file)), tail_(std::move(tail)), name_(std::move(name)),
      fileSize_(length >= 0 ? std::min(length, file_->size) : file_->size),
      size_(fileSize_ + tail_.size()), budget_(budget)
{
}

char DocumentInput::byteAt(qint64 at)
{
    if (at >= fileSize_)
        return tail_.at(qsizetype(at - fileSize_));
    if (blockStart_ < 0 || at < blockStart_ || at >= blockStart_ + block_.size()) {
        constexpr qint64 Block = 64 * 1024;
        // Every quarter of a megabyte read: what qpdf made of it shows by then.
        if (budget_ && ++blocksRead_ % 4 == 0)
            budget_->check();
        blockStart_ = at - at % Block;
        block_ = file_->read(blockStart_, Block);
        if (at >= blockStart_ + block_.size())
            throw std::runtime_error("the file cannot be read");
    }
    return block_.at(qsizetype(at - blockStart_));
}

qpdf_offset_t DocumentInput::findAndSkipNextEOL()
{
    while (at_ < size_) {
        const char c = byteAt(at_);
        if (c == '\r' || c == '\n') {
            const qint64 found = at_++;
            while (at_ < size_ && (byteAt(at_) == '\r' || byteAt(at_) == '\n'))
                ++at_;
            return found;
        }
        ++at_;
    }
    return size_;
}

void DocumentInput::seek(qpdf_offset_t offset, int whence)
{
    const qint64 to = whence == SEEK_END ? size_ + offset
                      : whence == SEEK_CUR ? at_ + offset
                                           : offset;
    if (to < 0)
        throw std::runtime_error(name_ + ": seek before the start");
    at_ = to;
}

size_t DocumentInput::read(char* buffer, size_t length)
{
    last_offset = at_;
    size_t done = 0;
    while (done < length && at_ < size_) {
        if (at_ >= fileSize_) {
            const qsizetype from = qsizetype(at_ - fileSize_);
            const size_t n = std::min<size_t>(length - done, size_t(tail_.size() - from));
            std::memcpy(buffer + done, tail_.constData() + from, n);
            done += n;
            at_ += qint64(n);
            continue;
        }
        byteAt(at_); // the block holding at_
        const qsizetype from = qsizetype(at_ - blockStart_);
        const size_t n = std::min<size_t>({length - done, size_t(block_.size() - from),
                                           size_t(fileSize_ - at_)});
        std::memcpy(buffer + done, block_.constData() + from, n);
        done += n;
        at_ += qint64(n);
    }
    return done;
}

void DocumentInput::unreadCh(char)
{
    if (at_ > 0)
        --at_;
}
