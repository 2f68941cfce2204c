#pragma once

#include "documentinput.h"
#include "secret.h"
#include "signerror.h"

#include <QString>

#include <qpdf/QPDF.hh>

#include <exception>
#include <memory>
#include <variant>

struct OpenedFile;

inline constexpr qint64 MaxDocumentBytes = 512 * 1024 * 1024;
// What reading a document may add to the program's memory, besides twice the file's size.
inline constexpr qint64 DocumentMemoryBytes = 192 * 1024 * 1024;

// A document read for signing: the file held open as qpdf reads the parts it needs, qpdf's
// reading of it, and what that reading may cost. Damaged documents are refused rather than
// mended, as are those encrypted with RC4 and those whose page tree is deeper than a reader
// can walk.
class OpenDocument
{
public:
    // `password`, where the document needs one; with `exclusive`, the file is locked for as long
    // as it is held (an advisory lock: another signing of it is refused, not lost).
    static std::variant<std::unique_ptr<OpenDocument>, SignError>
    open(const QString& path, const SecretBytes* password = nullptr, bool exclusive = false);

    QPDF& qpdf() { return qpdf_; }
    const std::shared_ptr<OpenedFile>& file() const { return file_; }
    MemoryBudget& budget() { return budget_; }
    const QString& path() const { return path_; }
    const std::string& name() const { return name_; }
    // Bytes before "%PDF-", which readers count every offset after.
    qint64 headerOffset() const { return headerOffset_; }
    const SecretBytes& password() const { return password_; }

    // What went wrong, for an exception thrown while reading or changing it.
    SignError failure(const std::exception& e) const;
    // The same error with this document's path.
    SignError error(SignError::Kind kind) const;
    // Too large to read within the budget, where the budget was passed.
    bool overBudget() const { return budget_.exceeded(); }

    // The highest object number the document's catalogue, pages, their annotations and its form
    // mention, defined or not; at least the highest it defines.
    int highestReferenced();

private:
    OpenDocument(const QString& path, std::shared_ptr<OpenedFile> file);

    QString path_;
    std::string name_;
    std::shared_ptr<OpenedFile> file_;
    MemoryBudget budget_;
    qint64 headerOffset_ = 0;
    SecretBytes password_;
    QPDF qpdf_; // last: it goes first, while what it reads is still there
};

// No real document's page tree is nearly this deep; qpdf walks one by recursion.
inline constexpr int MaxPageTreeDepth = 256;
