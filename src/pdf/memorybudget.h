#pragma once

#include <QtGlobal>

#include <stdexcept>

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
