#include "opendocument.h"

#include "base/regularfile.h"
#include "incrementalupdate.h"

#include <QFileInfo>

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <sys/file.h>

#include <new>
#include <set>
#include <vector>

namespace {

// Whether the page tree goes deeper than MaxPageTreeDepth, found without recursion.
bool pageTreeTooDeep(QPDF& document)
{
    std::vector<std::pair<QPDFObjectHandle, int>> pending{{document.getRoot().getKey("/Pages"), 1}};
    std::set<QPDFObjGen> seen;
    while (!pending.empty()) {
        auto [node, depth] = pending.back();
        pending.pop_back();
        if (depth > MaxPageTreeDepth)
            return true;
        if (!node.isDictionary() || (node.isIndirect() && !seen.insert(node.getObjGen()).second))
            continue;
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray())
            for (int i = 0; i < kids.getArrayNItems(); ++i)
                pending.emplace_back(kids.getArrayItem(i), depth + 1);
    }
    return false;
}

// Whether the document is encrypted with RC4, which every encryption before version 4 uses:
// OpenSSL offers it no more by default, and it protects nothing.
bool encryptedWithRc4(QPDF& document)
{
    int r = 0, p = 0, v = 0;
    QPDF::encryption_method_e streams = QPDF::e_none, strings = QPDF::e_none, files = QPDF::e_none;
    if (!document.isEncrypted(r, p, v, streams, strings, files))
        return false;
    const auto usable = [](QPDF::encryption_method_e m) {
        return m == QPDF::e_none || m == QPDF::e_aes || m == QPDF::e_aesv3;
    };
    return v < 4 || !usable(streams) || !usable(strings);
}

} // namespace

OpenDocument::OpenDocument(const QString& path, std::shared_ptr<OpenedFile> file)
    : path_(path), name_(QFileInfo(path).fileName().toStdString()), file_(std::move(file)),
      budget_(DocumentMemoryBytes + 2 * file_->size),
      headerOffset_(::headerOffset(*file_).value_or(0))
{
    qpdf_.setSuppressWarnings(true);
    // A document that needs mending is refused rather than silently rewritten.
    qpdf_.setAttemptRecovery(false);
}

SignError OpenDocument::error(SignError::Kind kind) const
{
    return SignError{kind, path_};
}

std::variant<std::unique_ptr<OpenDocument>, SignError>
OpenDocument::open(const QString& path, const SecretBytes* password, bool exclusive)
{
    // Opened as a regular file, a FIFO or a device refused; read as qpdf needs its parts, so
    // that appending to a large document does not read all of it.
    QString readError;
    std::shared_ptr<OpenedFile> file = openRegularFile(path, MaxDocumentBytes, &readError);
    if (!file) {
        SignError e{SignError::Kind::CannotRead, path};
        e.detail = readError;
        return e;
    }
    if (exclusive) {
        if (::flock(file->fd, LOCK_EX | LOCK_NB) != 0)
            return SignError{SignError::Kind::Busy, path};
        // Another signing may have put a new file in its place before letting go of it.
        if (!file->isStill(path))
            return SignError{SignError::Kind::ChangedMeanwhile, path};
    }
    std::unique_ptr<OpenDocument> document(new OpenDocument(path, std::move(file)));
    if (password) {
        document->password_ = SecretBytes(QByteArray(password->data(), password->size()));
    }
    try {
        const SecretText given(document->password_);
        document->qpdf_.processInputSource(
            std::make_shared<DocumentInput>(document->file_, QByteArray(), document->name_,
                                            &document->budget_),
            given.orNull());
        if (pageTreeTooDeep(document->qpdf_)) {
            SignError e = document->error(SignError::Kind::PageTreeTooDeep);
            e.count = MaxPageTreeDepth;
            return e;
        }
        if (encryptedWithRc4(document->qpdf_))
            return document->error(SignError::Kind::Rc4);
    } catch (const std::exception& e) {
        return document->failure(e);
    }
    return document;
}

SignError OpenDocument::failure(const std::exception& e) const
{
    if (budget_.exceeded() || dynamic_cast<const DocumentTooLarge*>(&e)) {
        SignError tooLarge = error(SignError::Kind::TooLarge);
        tooLarge.number = double(budget_.allowed() / (1024 * 1024));
        return tooLarge;
    }
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return error(SignError::Kind::OutOfMemory);
    if (const auto* qpdf = dynamic_cast<const QPDFExc*>(&e)) {
        if (qpdf->getErrorCode() == qpdf_e_password)
            return error(password_.isEmpty() ? SignError::Kind::NeedsPassword
                                             : SignError::Kind::WrongPassword);
        SignError notPdf = error(SignError::Kind::NotPdf);
        notPdf.detail = QString::fromStdString(qpdf->getMessageDetail());
        return notPdf;
    }
    SignError notPdf = error(SignError::Kind::NotPdf);
    notPdf.detail = QString::fromLocal8Bit(e.what());
    return notPdf;
}

int OpenDocument::highestReferenced()
{
    int highest = 0;
    for (const auto& [objgen, entry] : qpdf_.getXRefTable())
        highest = std::max(highest, objgen.getObj());
    // Each object looked into, and every reference it holds noted without being followed but
    // for the few that lead to what a reader shows: the pages, their annotations, the form.
    std::vector<QPDFObjectHandle> pending{qpdf_.getTrailer()};
    std::set<QPDFObjGen> seen;
    size_t looked = 0;
    while (!pending.empty()) {
        QPDFObjectHandle object = pending.back();
        pending.pop_back();
        if (object.isStream())
            object = object.getDict();
        const auto note = [&](QPDFObjectHandle item, bool follow) {
            if (++looked % 4096 == 0)
                budget_.check();
            if (item.isIndirect()) {
                highest = std::max(highest, item.getObjectID());
                if (!follow || !seen.insert(item.getObjGen()).second)
                    return;
            }
            if (item.isArray() || item.isDictionary())
                pending.push_back(item);
        };
        if (object.isArray()) {
            for (int i = 0; i < object.getArrayNItems(); ++i)
                note(object.getArrayItem(i), false);
            continue;
        }
        if (!object.isDictionary())
            continue;
        for (auto [key, value] : object.getDictAsMap())
            note(value, key == "/Root" || key == "/Pages" || key == "/Kids" || key == "/Annots" ||
                            key == "/AcroForm" || key == "/Fields" || key == "/Resources" ||
                            key == "/XObject");
        // The items of a list that is followed are followed too: pages, annotations, fields.
        for (const char* list : {"/Kids", "/Annots", "/Fields"}) {
            QPDFObjectHandle items = object.getKey(list);
            for (int i = 0; items.isArray() && i < items.getArrayNItems(); ++i) {
                QPDFObjectHandle item = items.getArrayItem(i);
                note(item, std::string(list) != "/Annots");
            }
        }
    }
    return highest;
}
