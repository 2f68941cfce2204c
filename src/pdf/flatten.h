#pragma once

#include "signerror.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <memory>
#include <optional>

class OpenDocument;
struct PagePlacement;

// The most a page's content may take once uncompressed to be flattened into: it is read as a
// stream, never held, but a file of a few kilobytes can unpack to gigabytes.
inline constexpr qint64 MaxPageContentBytes = 256 * 1024 * 1024;

// The signature placed drawn in the page's own content, after it: the page's content is
// wrapped so that whatever state it leaves does not reach the signature, and its streams stay
// as they were. Page `number` is said in what goes wrong.
std::optional<SignError> flattenOnto(OpenDocument& document, QPDFPageObjectHelper& page,
                                     QPDFObjectHandle form, const PagePlacement& placement,
                                     int number);

// A document written anew, as it is written: its objects, streams untouched, go straight into a
// file under the budget of its reading, and what was written is read again before it counts.
struct RewrittenDocument
{
    std::shared_ptr<OpenDocument> document;
    std::shared_ptr<QPDF> signature; // what the document's copy of the signature reads from
    int pages = 0;

    // Writes it to the open file `fd`, from its start.
    std::optional<SignError> write(int fd) const;
    // Reads the file `fd` back as a reader would: every page there, nothing mended.
    std::optional<SignError> check(int fd) const;
};
