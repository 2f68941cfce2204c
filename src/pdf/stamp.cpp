#include "stamp.h"

#include "annotations.h"
#include "base/regularfile.h"
#include "flatten.h"
#include "formfields.h"
#include "incrementalupdate.h"
#include "opendocument.h"
#include "output/filewrite.h"
#include "pagelist.h"
#include "pageplacement.h"
#include "revision.h"
#include "signatures.h"
#include "signingidentity.h"
#include "signingpolicy.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <array>
#include <cstdio>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Object numbers past this are more than a PDF may have, and more than readers take.
constexpr qint64 MaxObjectNumber = 8'388'607;

std::string pdfDate(const QDateTime& when)
{
    return when.toUTC().toString(QStringLiteral("'D:'yyyyMMddHHmmss'Z'")).toStdString();
}

// How many bytes a signature by `signer` takes, with room to spare: a dry run over nothing;
// time-stamped, room for a token with its authority's certificates too.
qsizetype signatureRoom(const SigningIdentity& signer, bool timeStamped)
{
    constexpr qsizetype TimeStampRoom = 16 * 1024;
    const auto trial = signer.sign(QByteArray(32, '\0'));
    const QByteArray* der = std::get_if<QByteArray>(&trial);
    return (der ? der->size() : 8192) + 256 + (timeStamped ? TimeStampRoom : 0);
}

// The signature's value, all but its byte ranges and the signature itself.
QPDFObjectHandle signatureValue(const SigningIdentity& signer, const StampPlace& place,
                                const FormField* field)
{
    // A field whose seed value asks for the older encoding gets it: the signature is the same.
    QPDFObjectHandle subFilters = keyOf(field ? field->seedValue() : QPDFObjectHandle(), "/SubFilter");
    bool cades = true;
    if (subFilters.isArray()) {
        cades = false;
        for (QPDFObjectHandle item : subFilters.aitems())
            cades = cades || item.isNameAndEquals("/ETSI.CAdES.detached");
    }
    QPDFObjectHandle value = QPDFObjectHandle::parse("<< /Type /Sig /Filter /Adobe.PPKLite >>");
    value.replaceKey("/SubFilter", QPDFObjectHandle::newName(cades ? "/ETSI.CAdES.detached"
                                                                   : "/adbe.pkcs7.detached"));
    value.replaceKey("/M", QPDFObjectHandle::newString(pdfDate(QDateTime::currentDateTimeUtc())));
    value.replaceKey("/Name", QPDFObjectHandle::newUnicodeString(signer.name().toStdString()));
    if (!place.reason.isEmpty())
        value.replaceKey("/Reason", QPDFObjectHandle::newUnicodeString(place.reason.toStdString()));
    if (!place.location.isEmpty())
        value.replaceKey("/Location",
                         QPDFObjectHandle::newUnicodeString(place.location.toStdString()));
    return value;
}

} // namespace

std::optional<SignError> appendUpdate(OpenDocument& document, IncrementalUpdate& update,
                                     SignedCopy& copy, std::optional<SignatureSlot>& slot)
{
    auto written = update.write();
    if (const QString* why = std::get_if<QString>(&written)) {
        SignError e = document.error(SignError::Kind::UpdateFailed);
        e.detail = *why;
        return e;
    }
    IncrementalUpdate::Written& made = std::get<IncrementalUpdate::Written>(written);
    copy.document = document.file();
    copy.documentPath = document.path();
    copy.prefixLength = document.file()->size;
    copy.bytes = std::move(made.bytes);
    slot = made.slot;
    return std::nullopt;
}

std::variant<std::array<qint64, 4>, SignError> completeSlot(SignedCopy& copy,
                                                            const SignatureSlot& slot,
                                                            const SlotValue& value)
{
    QByteArray& tail = copy.bytes;
    const qint64 base = copy.prefixLength;
    const qsizetype hexStart = slot.contents, hexEnd = slot.contents + slot.contentsLength;
    const qint64 from = base + hexStart, to = base + hexEnd, total = base + tail.size();
    char ranges[80];
    const int written = std::snprintf(ranges, sizeof ranges, "%-10lld %-10lld %-10lld",
                                      static_cast<long long>(from), static_cast<long long>(to),
                                      static_cast<long long>(total - to));
    if (written != slot.byteRangeLength - 2) {
        SignError e{SignError::Kind::TooLarge, copy.documentPath};
        e.number = double(MaxDocumentBytes / (1024 * 1024));
        return e;
    }
    tail.replace(slot.byteRange + 2, written, ranges, written);

    QCryptographicHash hash(QCryptographicHash::Sha256);
    constexpr qint64 Chunk = 4 << 20;
    for (qint64 at = 0; at < base; at += Chunk) {
        const QByteArray part = copy.document->read(at, std::min(Chunk, base - at));
        if (part.isEmpty())
            return SignError{SignError::Kind::CannotRead, copy.documentPath};
        hash.addData(part);
    }
    hash.addData(QByteArrayView(tail).first(hexStart));
    hash.addData(QByteArrayView(tail).sliced(hexEnd));
    const auto made = value(hash.result());
    if (const SignError* why = std::get_if<SignError>(&made))
        return *why;
    const QByteArray hex = std::get<QByteArray>(made).toHex();
    if (hex.size() > slot.contentsLength - 2)
        return SignError{SignError::Kind::SignatureTooLarge};
    tail.replace(hexStart + 1, hex.size(), hex);
    return std::array<qint64, 4>{0, from, to, total - to};
}

namespace {

// Notes each signed field whose widget on `page` the rectangle `placed` lies over.
void noteCovered(SignedCopy& copy, const Form& form, QPDFPageObjectHelper& page, int number,
                 const QPDFObjectHandle::Rectangle& placed)
{
    QPDFObjectHandle pageObject = page.getObjectHandle();
    for (const FormField& field : form.fields) {
        if (!field.isSigned())
            continue;
        for (QPDFObjectHandle widget : field.widgets) {
            QPDFObjectHandle on = keyOf(widget, "/P");
            bool here = on.isIndirect() && pageObject.isIndirect() &&
                        on.getObjGen() == pageObject.getObjGen();
            QPDFObjectHandle annots = pageObject.getKey("/Annots");
            for (int i = 0; !here && annots.isArray() && i < annots.getArrayNItems(); ++i)
                here = annots.getArrayItem(i).isIndirect() && widget.isIndirect() &&
                       annots.getArrayItem(i).getObjGen() == widget.getObjGen();
            QPDFObjectHandle rect = keyOf(widget, "/Rect");
            if (!here || !rect.isRectangle())
                continue;
            const auto r = rect.getArrayAsRectangle();
            const double left = std::max(std::min(r.llx, r.urx), placed.llx);
            const double right = std::min(std::max(r.llx, r.urx), placed.urx);
            const double bottom = std::max(std::min(r.lly, r.ury), placed.lly);
            const double top = std::min(std::max(r.lly, r.ury), placed.ury);
            if (right > left && top > bottom && !copy.coveredFields.contains(field.name)) {
                copy.coveredPages.push_back({number, SignedHow::Certificate});
                copy.coveredFields << field.name;
            }
        }
    }
}

// Fills in the signature at its slot: the byte ranges it covers, everything but its own value,
// and the value, made over those bytes and checked before it counts. Its byte ranges.
std::variant<std::array<qint64, 4>, SignError>
completeSignature(SignedCopy& copy, const SignatureSlot& slot, const SigningIdentity& signer,
                  const TimeStampTransport& timeStamp)
{
    return completeSlot(copy, slot, [&](const QByteArray& digest) -> std::variant<QByteArray, SignError> {
        auto signature = signer.sign(digest);
        if (const SignError* why = std::get_if<SignError>(&signature))
            return *why;
        if (timeStamp) {
            signature = addTimeStamp(std::get<QByteArray>(signature), timeStamp);
            if (const SignError* why = std::get_if<SignError>(&signature))
                return *why;
        }
        const QByteArray& der = std::get<QByteArray>(signature);
        // Never handed out unless it verifies: a signature no reader can check is no signature.
        const CmsCheck check = checkCms(
            der,
            [&digest](const char* algorithm) {
                return qstrcmp(algorithm, "SHA256") == 0 ? std::optional(digest) : std::nullopt;
            },
            nullptr);
        if (!check.readable || !check.digestMatches || !check.valueVerifies) {
            SignError e{SignError::Kind::SigningFailed};
            e.detail = QStringLiteral("the signature made does not verify");
            return e;
        }
        return der;
    });
}

} // namespace

// Reads the copy back as a reader would: the same pages, nothing to mend, and where there is a
// signature, its value the object written with the byte ranges made for it.
std::optional<SignError> readBack(OpenDocument& document, const SignedCopy& copy, int pages,
                                  std::optional<int> valueNumber,
                                  const std::array<qint64, 4>& ranges)
{
    QPDF check;
    check.setSuppressWarnings(true);
    check.setAttemptRecovery(false);
    const SecretText password(document.password());
    check.processInputSource(std::make_shared<DocumentInput>(document.file(), copy.bytes,
                                                             document.name(), &document.budget()),
                             password.orNull());
    const int pagesRead = int(QPDFPageDocumentHelper(check).getAllPages().size());
    SignError failed = document.error(SignError::Kind::ReadBackFailed);
    if (pagesRead != pages || check.anyWarnings()) {
        failed.detail = QStringLiteral("it reads as %1 page(s), not %2").arg(pagesRead).arg(pages);
        return failed;
    }
    if (valueNumber) {
        QPDFObjectHandle read = check.getObjectByID(*valueNumber, 0).getKey("/ByteRange");
        bool same = read.isArray() && read.getArrayNItems() == 4;
        for (int i = 0; same && i < 4; ++i)
            same = read.getArrayItem(i).isInteger() &&
                   read.getArrayItem(i).getIntValue() == ranges[size_t(i)];
        if (!same) {
            failed.detail = QStringLiteral("its signature's byte ranges are not those written");
            return failed;
        }
    }
    return std::nullopt;
}

namespace {

std::variant<SignedCopy, SignError> stampOpened(std::shared_ptr<OpenDocument> opened,
                                                const QByteArray& signature,
                                                const StampPlace& place)
{
    OpenDocument& document = *opened;
    const QString& path = document.path();
    QPDF& qpdf = document.qpdf();
    const Form form = readForm(qpdf, document.budget());
    const SigningPolicy policy(qpdf, form, path);
    using Addition = SigningPolicy::Addition;
    if (place.flatten && !place.breakSignatures && form.signatures > 0) {
        SignError e = document.error(SignError::Kind::WouldBreakSignatures);
        e.count = form.signatures;
        return e;
    }
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(qpdf).getAllPages();
    // Counted from the end, as a batch of documents of different lengths asks.
    auto listed = place.pageFromEnd > 0
                      ? pageList(QString::number(qint64(pages.size()) - place.pageFromEnd + 1),
                                 int(pages.size()))
                      : pageList(place.pages, int(pages.size()));
    if (auto* why = std::get_if<SignError>(&listed)) {
        why->path = path;
        return *why;
    }
    const std::vector<int>& numbers = std::get<std::vector<int>>(listed);
    if (place.acrossPages && numbers.size() < 2) {
        SignError e = document.error(SignError::Kind::AcrossNeedsPages);
        e.count = qint64(numbers.size());
        return e;
    }

    // The certificate signature's field: the one asked for, or under a certification that
    // allows form filling and signing only, the first empty one that may be signed; a new one
    // otherwise. Everything the update will add is checked before anything is changed.
    const FormField* fill = nullptr;
    bool newField = false;
    if (place.signer) {
        if (document.headerOffset() > 0) {
            SignError e = document.error(SignError::Kind::BytesBeforeHeader);
            e.count = document.headerOffset();
            return e;
        }
        if (!place.field.isEmpty()) {
            fill = form.find(place.field);
            SignError e = document.error(!fill              ? SignError::Kind::NoSuchField
                                         : !fill->signature ? SignError::Kind::FieldNotSignature
                                         : fill->isSigned() ? SignError::Kind::FieldNotEmpty
                                                            : SignError::Kind::NoSuchField);
            e.detail = place.field;
            if (!fill || !fill->signature || fill->isSigned())
                return e;
        } else if (policy.changesAllowed() == 2 && !place.flatten) {
            for (const FormField& field : form.fields)
                if (field.signature && !field.isSigned() && !policy.allowsFilling(field) &&
                    !policy.meetsSeedValue(field, *place.signer, place.reason)) {
                    fill = &field;
                    break;
                }
        }
        if (fill) {
            if (auto refusal = policy.allowsFilling(*fill))
                return *refusal;
            if (auto refusal = policy.meetsSeedValue(*fill, *place.signer, place.reason))
                return *refusal;
        } else if (!place.flatten) {
            newField = true;
            if (auto refusal = policy.allows(Addition::NewField))
                return *refusal;
        }
    }
    const size_t stamped = numbers.size() - (place.signer && !place.flatten ? 1 : 0);
    if (place.flatten) {
        if (auto refusal = policy.allows(Addition::PageContent))
            return *refusal;
    } else if (stamped > 0) {
        if (auto refusal = policy.allows(Addition::Annotation))
            return *refusal;
    }

    std::optional<IncrementalUpdate> update;
    if (!place.flatten) {
        update.emplace(qpdf, *document.file(), document.highestReferenced());
        if (update->nextNumber() > MaxObjectNumber) {
            SignError e = document.error(SignError::Kind::TooManyObjects);
            e.count = update->nextNumber();
            return e;
        }
    }
    // Kept as long as the document: a written-anew copy reads the signature's streams from it.
    auto own = std::make_shared<QPDF>();
    own->processMemoryFile("signature", signature.constData(), size_t(signature.size()));
    QPDFPageObjectHelper ownPage = QPDFPageDocumentHelper(*own).getAllPages().at(0);
    const QPDFObjectHandle::Rectangle ownBox = ownPage.getMediaBox().getArrayAsRectangle();
    // One copy of the signature's outlines, however many pages show it.
    QPDFObjectHandle drawn = place.flatten ? qpdf.copyForeignObject(ownPage.getFormXObjectForPage())
                                           : update->foreign(ownPage.getFormXObjectForPage());

    SignedCopy copy;
    copy.document = document.file();
    copy.documentPath = path;
    std::optional<int> valueNumber;
    QPDFObjectHandle value;
    if (place.signer && !place.flatten) {
        value = update->putSignatureValue(signatureValue(*place.signer, place, fill),
                                          signatureRoom(*place.signer, bool(place.timeStamp)));
        valueNumber = value.getObjectID();
    }
    if (fill) {
        const int shownOn = fillSignatureField(qpdf, *update, *fill, drawn, ownBox, value);
        copy.signedPages.push_back({shownOn, SignedHow::Certificate});
        copy.field = fill->name;
    }
    for (size_t k = fill ? 1 : 0; k < numbers.size(); ++k) {
        const int number = numbers[k];
        QPDFPageObjectHelper& page = pages[size_t(number - 1)];
        auto placed = placeOnPage(ShownPage::of(page), ownBox, place.atMm, place.widthMm, int(k),
                                  place.acrossPages ? int(numbers.size()) : 1);
        if (auto* why = std::get_if<SignError>(&placed)) {
            why->path = path;
            why->page = number;
            return *why;
        }
        const PagePlacement& placement = std::get<PagePlacement>(placed);
        noteCovered(copy, form, page, number, placedRectangle(placement.matrix, placement.slice));
        if (place.flatten) {
            if (auto failure = flattenOnto(document, page, drawn, placement, number))
                return *failure;
            copy.signedPages.push_back({number, SignedHow::Content});
        } else if (newField && k == 0) {
            copy.field = newSignatureField(qpdf, *update, page, drawn, placement, value);
            copy.newFieldAfterCertification = policy.changesAllowed() == 2;
            copy.signedPages.push_back({number, SignedHow::Certificate});
        } else {
            annotate(*update, page, drawn, placement);
            copy.signedPages.push_back({number, SignedHow::Annotation});
        }
    }
    // qpdf takes some failures to read for warnings, and reads on.
    if (document.overBudget())
        return document.failure(DocumentTooLarge("over budget"));
    if (place.flatten) {
        copy.rewritten = std::make_shared<RewrittenDocument>(
            RewrittenDocument{std::move(opened), std::move(own), int(pages.size())});
        return copy;
    }
    std::optional<SignatureSlot> slot;
    if (auto failure = appendUpdate(document, *update, copy, slot))
        return *failure;
    std::array<qint64, 4> ranges{};
    if (place.signer) {
        auto completed = completeSignature(copy, *slot, *place.signer, place.timeStamp);
        if (auto* why = std::get_if<SignError>(&completed))
            return *why;
        ranges = std::get<std::array<qint64, 4>>(completed);
    }
    if (auto failure = readBack(document, copy, int(pages.size()), valueNumber, ranges))
        return *failure;
    if (document.overBudget())
        return document.failure(DocumentTooLarge("over budget"));
    return copy;
}

} // namespace

QString signedHowName(SignedHow how)
{
    switch (how) {
    case SignedHow::Annotation:
        return QStringLiteral("annotation");
    case SignedHow::Certificate:
        return QStringLiteral("certificate");
    case SignedHow::Content:
        return QStringLiteral("content");
    }
    return {};
}

QByteArray SignedCopy::whole() const
{
    if (rewritten) {
        QByteArray bytes;
        const int fd = ::memfd_create("signed copy", MFD_CLOEXEC);
        if (fd >= 0 && !rewritten->write(fd)) {
            bytes.resize(qsizetype(::lseek(fd, 0, SEEK_END)));
            if (::pread(fd, bytes.data(), size_t(bytes.size()), 0) != ssize_t(bytes.size()))
                bytes.clear();
        }
        if (fd >= 0)
            ::close(fd);
        return bytes;
    }
    return (document ? document->read(0, prefixLength) : QByteArray()) + bytes;
}

std::optional<SignError> SignedCopy::writeTo(const QString& path) const
{
    std::optional<SignError> failure;
    const auto fill = [&](int fd) -> std::optional<QString> {
        if (rewritten)
            failure = rewritten->write(fd);
        else if (auto why = writeAfterPrefix(fd, document ? document->fd : -1, prefixLength, bytes))
            return why;
        return failure ? std::optional<QString>(QString()) : std::nullopt;
    };
    const auto check = [&](int fd) -> std::optional<QString> {
        if (rewritten)
            failure = rewritten->check(fd);
        // Signed from what the document was: if it changed meanwhile, another's change would
        // be lost.
        if (!failure && document && !document->isStill(documentPath))
            failure = SignError{SignError::Kind::ChangedMeanwhile, documentPath};
        if (!failure && origin && !origin->isStill(originPath))
            failure = SignError{SignError::Kind::ChangedMeanwhile, originPath};
        return failure ? std::optional<QString>(QString()) : std::nullopt;
    };
    if (auto why = writeFileWith(path, fill, check)) {
        if (failure)
            return failure;
        SignError e{SignError::Kind::CannotWrite, path};
        e.detail = *why;
        return e;
    }
    return std::nullopt;
}

std::variant<SignedCopy, SignError> stampPdf(const QString& documentPath,
                                             const QByteArray& signature, const StampPlace& place)
{
    auto opened = OpenDocument::open(documentPath, place.documentPassword.get(), true);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    std::shared_ptr<OpenDocument> document = std::move(std::get<std::unique_ptr<OpenDocument>>(opened));
    try {
        return stampOpened(document, signature, place);
    } catch (const std::exception& e) {
        return document->failure(e);
    }
}
