#pragma once

#include "secret.h"
#include "signerror.h"
#include "timestamp.h"

#include <QByteArray>
#include <QPointF>
#include <QString>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

class SigningIdentity;
struct OpenedFile;

// Where a signature goes on a document and how: the pages of `pages`, its top-left corner
// `atMm` millimetres from each page's top-left corner as the page shows, `widthMm` wide (its
// own width when unset).
struct StampPlace
{
    QString pages = QStringLiteral("1"); // a page list, as pageList reads it
    int pageFromEnd = 0; // where not 0, the one page this far from the end (1: the last) instead
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
    // With a certificate: the document's empty signature field to sign, by its full name; empty:
    // a new field, or where the document is certified for form filling and signing only, its
    // first empty signature field.
    QString field;
    // Why and where it is signed, written into the signature; may be empty.
    QString reason, location;
    // A digitally signed document is not flattened unless its signatures may break.
    bool breakSignatures = false;
    // The document's user password, where it has one.
    std::shared_ptr<const SecretBytes> documentPassword;
    // With a certificate: the authority that time-stamps the signature (none: not stamped). A
    // signature asked to be time-stamped is never written without its time stamp.
    TimeStampTransport timeStamp;
};

// How a page was signed.
enum class SignedHow { Annotation, Certificate, Content };

struct SignedPage
{
    int page;
    SignedHow how;
};

// A signed copy: the first `prefixLength` bytes of the document, held open (and locked, so that
// no other signing of it is lost) until written, followed by `bytes`; or the document written
// anew, made as it is written.
struct SignedCopy
{
    std::shared_ptr<OpenedFile> document;
    QString documentPath;
    // Where a copy was made from a copy (a signature's later revisions): the document the first
    // was made from, which must be unchanged too, held open and locked until written.
    std::shared_ptr<OpenedFile> origin;
    QString originPath;
    std::shared_ptr<void> keep; // what the copy's own document lives in, kept as long as it
    qint64 prefixLength = 0;
    QByteArray bytes;
    // A document written anew: `write` puts it into an open file, `check` reads that back; each
    // says why not where it fails.
    std::shared_ptr<struct RewrittenDocument> rewritten;
    std::vector<SignedPage> signedPages;
    // The signature field signed: its name, and whether it is new in a document certified for
    // form filling and signing only, which some validators read as a change not allowed.
    QString field;
    bool newFieldAfterCertification = false;
    // Signatures already on the pages that the new signature lies over, by page and field: a
    // person should know before the copy is kept.
    std::vector<SignedPage> coveredPages;
    QStringList coveredFields;

    // The whole copy in memory, for those who read it back.
    QByteArray whole() const;
    // Writes it to `path` as every file is written, the document's part copied by the kernel,
    // once the document is found unchanged since it was read.
    std::optional<SignError> writeTo(const QString& path) const;
};

// The document at `documentPath` with the one-page PDF `signature` put onto its pages as a form
// XObject, placed and scaled: as a printable stamp annotation (or a signature field) in an
// update appended to the document's own bytes, which keeps earlier signatures valid, or,
// flattened, in the page's content of a document written anew, every other object copied as it
// was, streams untouched. Everything the update adds is checked against what the document's
// author allows (its permissions, certification and field locks); what is written is read back
// before it is handed out, a certificate signature verified.
std::variant<SignedCopy, SignError> stampPdf(const QString& documentPath,
                                             const QByteArray& signature, const StampPlace& place);

// Names for how a page was signed, as the report gives them.
QString signedHowName(SignedHow how);
