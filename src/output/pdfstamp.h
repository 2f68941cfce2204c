#pragma once

#include <QByteArray>
#include <QPointF>
#include <QString>

#include "base/regularfile.h"

#include <memory>
#include <optional>
#include <variant>
#include <vector>

class SigningIdentity;

// Where a signature goes on a document: page `page` (from 1), its top-left corner `atMm`
// millimetres from the page's top-left corner as the page shows, `widthMm` wide (its own
// width when unset).
struct StampPlace
{
    QString pages = QStringLiteral("1"); // a page list, as pageList reads it
    QPointF atMm;
    std::optional<double> widthMm;
    // Drawn into the page's content, the document written anew, instead of an annotation
    // appended to the document as it was.
    bool flatten = false;
    // A seal cut into one vertical slice a page, each at its page's right edge: 骑缝章.
    bool acrossPages = false;
    // Signs with a certificate: the first page's signature is a signature field whose
    // appearance it is, over all of the document but its own value.
    std::shared_ptr<const SigningIdentity> signer;
    // A digitally signed document is not flattened unless its signatures may break.
    bool breakSignatures = false;
};

// What a person should know of a document before signing it.
struct DocumentFacts
{
    int pages = 0;
    int signatures = 0;           // digital signatures it carries
    std::optional<int> certified; // its DocMDP permission, where its author certified it
};
std::variant<DocumentFacts, QString> inspectPdf(const QString& documentPath);

// The pages of a list such as "1,3-5,last" or "all", each once, in the order first given, of a
// document of `count` pages; or, where it names a page the document lacks, why.
std::variant<std::vector<int>, QString> pageList(const QString& list, int count);
// What makes a list no list of pages, whatever the document: nothing where it reads as one.
std::optional<QString> pageListProblem(const QString& list);

inline constexpr qint64 MaxDocumentBytes = 512 * 1024 * 1024;
// What reading a document may add to the program's memory, besides twice the file's size.
inline constexpr qint64 DocumentMemoryBytes = 192 * 1024 * 1024;

// A signed copy: the first `prefixLength` bytes of the document, held open, followed by
// `bytes`; or, without a document, `bytes` alone.
struct SignedCopy
{
    std::shared_ptr<OpenedFile> document;
    qint64 prefixLength = 0;
    QByteArray bytes;
    // Each page signed, and how: "annotation", "certificate" or "content".
    std::vector<std::pair<int, QString>> signedPages;
    // The whole copy in memory, for those who read it back.
    QByteArray whole() const;
    // Writes it to `path` as every file is written, the document's part copied by the kernel;
    // why not, in words.
    std::optional<QString> writeTo(const QString& path) const;
};

struct StampFailure
{
    enum Kind { Unreadable, Refused, NoSuchPage };
    Kind kind;
    QString message;
};

// The document at `documentPath` with the one-page PDF `signature` put onto one page as a form
// XObject, placed and scaled: as a printable stamp annotation in an update appended to the
// document's own bytes, which keeps earlier signatures valid, or, flattened, in the page's
// content of a document written anew, every other object copied as it was, streams untouched.
// A document that needs a password or whose author's permissions forbid the change, one
// encrypted with RC4, and damaged documents are refused; a document certified against changes
// is not stamped, and a signed one not flattened unless `place` allows breaking its signatures.
std::variant<SignedCopy, StampFailure>
stampPdf(const QString& documentPath, const QByteArray& signature, const StampPlace& place);
