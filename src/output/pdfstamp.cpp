#include "pdfstamp.h"

#include "base/regularfile.h"
#include "certsign.h"
#include "filewrite.h"
#include "pdfupdate.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFileInfo>
#include <QRectF>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <limits>
#include <cmath>
#include <new>
#include <set>
#include <utility>
#include <vector>

namespace {

constexpr double PointsPerMm = 72 / 25.4;

StampFailure refused(const QString& message)
{
    return {StampFailure::Refused, message};
}

// The matrix that puts the form's box, `width` × `height` points at scale `s`, upright at
// `u`, `v` points from the top-left corner of the page as shown, whatever the page's /Rotate.
std::string placement(const QPDFObjectHandle::Rectangle& box, int rotate, double s, double u,
                      double v, double height)
{
    double a = s, b = 0, c = 0, d = s, e = box.llx + u, f = box.ury - v - height;
    switch (rotate) {
    case 90:
        a = 0, b = s, c = -s, d = 0, e = box.llx + v + height, f = box.lly + u;
        break;
    case 180:
        a = -s, b = 0, c = 0, d = -s, e = box.urx - u, f = box.lly + v + height;
        break;
    case 270:
        a = 0, b = -s, c = s, d = 0, e = box.urx - v - height, f = box.ury - u;
        break;
    default:
        break;
    }
    std::string m;
    for (double x : {a, b, c, d, e, f})
        m += QUtil::double_to_string(x, 4) + ' ';
    return m;
}

// No real document's page tree is nearly this deep; qpdf walks one by recursion.
constexpr int MaxPageTreeDepth = 256;

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

// How a page's content leaves the graphics state stack: the restores it makes of states it
// never saved, and the saves it never restores.
struct Balance
{
    int unmatchedRestores = 0;
    int unmatchedSaves = 0;
};

class BalanceCounter : public QPDFObjectHandle::ParserCallbacks
{
public:
    Balance balance;

    void handleObject(QPDFObjectHandle object) override
    {
        if (!object.isOperator())
            return;
        const std::string op = object.getOperatorValue();
        if (op == "q")
            ++balance.unmatchedSaves;
        else if (op == "Q" && balance.unmatchedSaves > 0)
            --balance.unmatchedSaves;
        else if (op == "Q")
            ++balance.unmatchedRestores;
    }
    void handleEOF() override {}
};

// None where the content cannot be read through: a viewer shows what it can of it.
std::optional<Balance> contentBalance(QPDFPageObjectHelper& page)
{
    BalanceCounter counter;
    try {
        page.parseContents(&counter);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return counter.balance;
}


// What a certifying signature allows to change, its DocMDP permission: 1 nothing, 2 form
// filling and signing, 3 also annotations; none where the document is not certified.
std::optional<int> certifiedPermission(QPDF& document)
{
    // Looked at step by step: asking a missing key of nothing is a warning, and a warning
    // refuses the document.
    const auto key = [](QPDFObjectHandle dictionary, const char* name) {
        return dictionary.isDictionary() ? dictionary.getKey(name) : QPDFObjectHandle::newNull();
    };
    QPDFObjectHandle signature = key(key(document.getRoot(), "/Perms"), "/DocMDP");
    if (!signature.isDictionary())
        return std::nullopt;
    QPDFObjectHandle references = signature.getKey("/Reference");
    for (int i = 0; references.isArray() && i < references.getArrayNItems(); ++i) {
        QPDFObjectHandle reference = references.getArrayItem(i);
        if (key(reference, "/TransformMethod").unparse() != "/DocMDP")
            continue;
        QPDFObjectHandle p = key(key(reference, "/TransformParams"), "/P");
        return p.isInteger() ? std::clamp(p.getIntValueAsInt(), 1, 3) : 2;
    }
    return 2;
}

// The signatures a reader verifies: signature dictionaries (the signed byte ranges and the
// signature itself, an object of their own or written inside the field) that fields hold as
// their value, the form's fields and the widgets on the pages followed. Any rewrite of the file
// moves those bytes, and the signature no longer verifies. Only the form and the pages' widgets
// are read: the rest of the document, however large, stays unparsed.
int signatureCount(QPDF& document, MemoryBudget& budget)
{
    std::vector<QPDFObjectHandle> pending;
    const auto addEach = [&pending](QPDFObjectHandle array) {
        for (int i = 0; array.isArray() && i < array.getArrayNItems(); ++i)
            pending.push_back(array.getArrayItem(i));
    };
    QPDFObjectHandle form = document.getRoot().getKey("/AcroForm");
    if (form.isDictionary())
        addEach(form.getKey("/Fields"));
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages())
        addEach(page.getObjectHandle().getKey("/Annots"));
    std::set<QPDFObjGen> seen;
    std::set<QPDFObjGen> signatures; // by the dictionary, or the field it is written in
    for (size_t looked = 0; !pending.empty(); ++looked) {
        if (looked % 4096 == 4095)
            budget.check();
        QPDFObjectHandle field = pending.back();
        pending.pop_back();
        // Fields are objects of their own: one written inside another is no field.
        if (!field.isIndirect() || !seen.insert(field.getObjGen()).second || !field.isDictionary())
            continue;
        QPDFObjectHandle value = field.getKey("/V");
        if (value.isDictionary() && value.hasKey("/ByteRange") && value.hasKey("/Contents"))
            signatures.insert(value.isIndirect() ? value.getObjGen() : field.getObjGen());
        addEach(field.getKey("/Kids"));
        // A widget's value may be its field's.
        pending.push_back(field.getKey("/Parent"));
    }
    return int(signatures.size());
}

StampFailure tooLarge(const QString& documentPath, const MemoryBudget& budget)
{
    return refused(QStringLiteral("%1 is too large to sign here: reading it would take more "
                                  "than %2 MB of memory")
                       .arg(documentPath)
                       .arg(budget.allowed() / (1024 * 1024)));
}

// A form that shows `slice` of the signature's form where `matrix` puts it: its own box clips
// the rest away, so one copy of the outlines serves every page and every slice. Its dictionary.
QPDFObjectHandle placedForm(QPDFObjectHandle form, const std::string& matrix,
                            const QPDFObjectHandle::Rectangle& slice)
{
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    dict.replaceKey("/BBox", QPDFObjectHandle::newArray(slice));
    dict.replaceKey("/Matrix", QPDFObjectHandle::parse("[" + matrix + "]"));
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Signature", form);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    dict.replaceKey("/Resources", resources);
    return dict;
}

// A printable stamp annotation on the page whose appearance is the signature placed: its
// rectangle is where the form's box falls on the page. The annotation, which may still be
// changed until the update is written.
QPDFObjectHandle annotate(IncrementalUpdate& update, QPDFPageObjectHelper& target,
                          QPDFObjectHandle form, const std::string& matrix,
                          const QPDFObjectHandle::Rectangle& slice)
{
    QPDFObjectHandle appearanceDict = placedForm(form, matrix, slice);
    const QPDFObjectHandle::Matrix m = appearanceDict.getKey("/Matrix").getArrayAsMatrix();
    double left = 1e300, bottom = 1e300, right = -1e300, top = -1e300;
    for (const double x : {slice.llx, slice.urx})
        for (const double y : {slice.lly, slice.ury}) {
            const double px = m.a * x + m.c * y + m.e, py = m.b * x + m.d * y + m.f;
            left = std::min(left, px), right = std::max(right, px);
            bottom = std::min(bottom, py), top = std::max(top, py);
        }
    QPDFObjectHandle annotation =
        QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Stamp /F 4 /Name /SorvexSignature >>");
    annotation.replaceKey("/Rect", QPDFObjectHandle::newArray(
                                       QPDFObjectHandle::Rectangle(left, bottom, right, top)));
    annotation.replaceKey("/P", target.getObjectHandle());
    annotation.replaceKey("/Contents", QPDFObjectHandle::newUnicodeString("签名"));
    QPDFObjectHandle appearance = QPDFObjectHandle::newDictionary();
    appearance.replaceKey("/N", update.putStream(appearanceDict, "/Signature Do\n"));
    annotation.replaceKey("/AP", appearance);
    // The page's list of annotations gets it: the list's own object where it is one, else the
    // page, with a list if it had none.
    QPDFObjectHandle reference = update.put(annotation);
    QPDFObjectHandle page = target.getObjectHandle();
    QPDFObjectHandle annots = page.getKey("/Annots");
    if (annots.isArray()) {
        annots.appendItem(reference);
        update.add(annots.isIndirect() ? annots : page);
    } else {
        page.replaceKey("/Annots", QPDFObjectHandle::newArray({reference}));
        update.add(page);
    }
    return reference;
}

// Room for the signature's value, found again in the update by these marks.
constexpr char ByteRangeMark[] = "1111111111 2222222222 3333333333";

// How many bytes a signature by `signer` takes, with room to spare: a dry run over nothing.
qsizetype signatureRoom(const SigningIdentity& signer)
{
    const auto trial = signer.sign(QByteArray(32, '\0'));
    const QByteArray* der = std::get_if<QByteArray>(&trial);
    return (der ? der->size() : 8192) + 256;
}

std::string pdfDate(const QDateTime& when)
{
    return when.toUTC().toString(QStringLiteral("'D:'yyyyMMddHHmmss'Z'")).toStdString();
}

// The signature's field and its widget on the page, one object, whose appearance is the
// signature placed; its value a signature dictionary with room for the signature, which
// completeSignature fills in once the update's bytes are known.
void signatureField(QPDF& document, IncrementalUpdate& update, QPDFPageObjectHelper& target,
                    QPDFObjectHandle form, const std::string& matrix,
                    const QPDFObjectHandle::Rectangle& slice, const SigningIdentity& signer)
{
    QPDFObjectHandle value = QPDFObjectHandle::parse(
        "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached >>");
    value.replaceKey("/ByteRange",
                     QPDFObjectHandle::parse(std::string("[0 ") + ByteRangeMark + "]"));
    value.replaceKey("/Contents", QPDFObjectHandle::newString(
                                      std::string(size_t(signatureRoom(signer)), '\0')));
    value.replaceKey("/M", QPDFObjectHandle::newString(pdfDate(QDateTime::currentDateTimeUtc())));
    value.replaceKey("/Name", QPDFObjectHandle::newUnicodeString(signer.name().toStdString()));

    // Drawn as a stamp is, then made the field: a signature field, printed, locked.
    QPDFObjectHandle widget = annotate(update, target, form, matrix, slice);
    widget.replaceKey("/Subtype", QPDFObjectHandle::newName("/Widget"));
    widget.removeKey("/Name");
    widget.replaceKey("/FT", QPDFObjectHandle::newName("/Sig"));
    widget.replaceKey("/F", QPDFObjectHandle::newInteger(4 | 128));
    widget.replaceKey("/V", update.put(value));

    // The document's form lists the field; signatures make it append-only.
    QPDFObjectHandle root = document.getRoot();
    QPDFObjectHandle acroForm = root.getKey("/AcroForm");
    if (!acroForm.isDictionary()) {
        acroForm = update.put(QPDFObjectHandle::newDictionary());
        root.replaceKey("/AcroForm", acroForm);
        update.add(root);
    }
    QPDFObjectHandle fields = acroForm.getKey("/Fields");
    if (!fields.isArray()) {
        fields = QPDFObjectHandle::newArray();
        acroForm.replaceKey("/Fields", fields);
    }
    // A name no other field of the form has.
    std::set<std::string> names;
    for (QPDFObjectHandle field : fields.aitems())
        if (field.isDictionary() && field.getKey("/T").isString())
            names.insert(field.getKey("/T").getUTF8Value());
    int n = 1;
    while (names.count("Signature" + std::to_string(n)))
        ++n;
    widget.replaceKey("/T", QPDFObjectHandle::newString("Signature" + std::to_string(n)));
    fields.appendItem(widget);
    acroForm.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(3));
    update.add(fields.isIndirect() ? fields : acroForm.isIndirect() ? acroForm : root);
    update.add(acroForm.isIndirect() ? acroForm : root);
}

// Fills in the signature: the byte ranges it covers, everything but its own value, and the
// value, made over those bytes.
std::optional<QString> completeSignature(SignedCopy& copy, const SigningIdentity& signer)
{
    QByteArray& tail = copy.bytes;
    const qint64 base = copy.prefixLength;
    // The dictionary's keys are written in order: its value follows its byte ranges.
    const qsizetype mark = tail.indexOf(ByteRangeMark);
    const qsizetype key = mark < 0 ? -1 : tail.indexOf("/Contents <", mark);
    if (key < 0)
        return QStringLiteral("the signature's place was not written");
    const qsizetype hexStart = key + 10; // its '<'
    const qsizetype hexEnd = tail.indexOf('>', hexStart) + 1;
    const qint64 from = base + hexStart, to = base + hexEnd;
    const qint64 total = base + tail.size();
    char ranges[80];
    const int written = std::snprintf(ranges, sizeof ranges, "%-10lld %-10lld %-10lld",
                                      static_cast<long long>(from), static_cast<long long>(to),
                                      static_cast<long long>(total - to));
    if (written != int(sizeof ByteRangeMark - 1))
        return QStringLiteral("the document is too large to sign");
    tail.replace(mark, written, ranges, written);

    QCryptographicHash hash(QCryptographicHash::Sha256);
    constexpr qint64 Chunk = 4 << 20;
    for (qint64 at = 0; at < base; at += Chunk) {
        const QByteArray part = copy.document->read(at, std::min(Chunk, base - at));
        if (part.isEmpty())
            return QStringLiteral("the document could not be read again");
        hash.addData(part);
    }
    hash.addData(QByteArrayView(tail).first(hexStart));
    hash.addData(QByteArrayView(tail).sliced(hexEnd));
    const auto signature = signer.sign(hash.result());
    if (const QString* why = std::get_if<QString>(&signature))
        return *why;
    const QByteArray hex = std::get<QByteArray>(signature).toHex();
    if (hex.size() > hexEnd - hexStart - 2)
        return QStringLiteral("the signature is larger than the room made for it");
    tail.replace(hexStart + 1, hex.size(), hex);
    return std::nullopt;
}

// The signature placed drawn in the page's own content, after it.// The signature placed drawn in the page's own content, after it.
std::optional<StampFailure> flattenOnto(QPDF& document, QPDFPageObjectHelper& target,
                                        QPDFObjectHandle form, const std::string& matrix,
                                        const QPDFObjectHandle::Rectangle& slice, int number,
                                        const QString& documentPath)
{
    // This page's resources only: others may share the dictionary.
    QPDFObjectHandle resources = target.getAttribute("/Resources", true);
    if (!resources.isDictionary()) {
        resources = QPDFObjectHandle::newDictionary();
        target.getObjectHandle().replaceKey("/Resources", resources);
    }
    QPDFObjectHandle xobjects = resources.getKey("/XObject");
    xobjects =
        xobjects.isDictionary() ? xobjects.shallowCopy() : QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    int suffix = 1;
    const std::string formName = resources.getUniqueResourceName("/SorvexSign", suffix);
    xobjects.replaceKey(formName, form);

    // The page's own content is wrapped so that whatever state it leaves does not reach the
    // signature, also where it restores more states than it saves or saves more than it
    // restores; its streams stay as they were.
    const std::optional<Balance> read = contentBalance(target);
    if (!read)
        return refused(QStringLiteral("%1 is damaged: page %2's content cannot be read, so "
                                      "where the signature would show cannot be known")
                           .arg(documentPath)
                           .arg(number));
    std::string saves = "q\n", restores = "\nQ\n";
    for (int i = 0; i < read->unmatchedRestores; ++i)
        saves += "q\n";
    for (int i = 0; i < read->unmatchedSaves; ++i)
        restores += "Q\n";
    const std::string clip = QUtil::double_to_string(slice.llx, 4) + ' ' +
                             QUtil::double_to_string(slice.lly, 4) + ' ' +
                             QUtil::double_to_string(slice.urx - slice.llx, 4) + ' ' +
                             QUtil::double_to_string(slice.ury - slice.lly, 4) + " re W n ";
    const std::string draw = restores + "q " + matrix + "cm " + clip + formName + " Do Q\n";
    target.addPageContents(QPDFObjectHandle::newStream(&document, saves), true);
    target.addPageContents(QPDFObjectHandle::newStream(&document, draw), false);
    return std::nullopt;
}

} // namespace

namespace {

// One item of a page list: its first and last page, `count` standing for "last"; none where it
// is no item.
std::optional<std::pair<qint64, qint64>> pageItem(const QString& item, qint64 count)
{
    const QString text = item.trimmed();
    if (text == QLatin1String("all"))
        return std::pair<qint64, qint64>(1, count);
    const auto one = [count](const QString& n) -> std::optional<qint64> {
        if (n.trimmed() == QLatin1String("last"))
            return count;
        bool ok = false;
        const qint64 v = n.trimmed().toLongLong(&ok);
        return ok && v >= 1 ? std::optional<qint64>(v) : std::nullopt;
    };
    const qsizetype dash = text.indexOf(u'-');
    const auto first = one(dash < 0 ? text : text.left(dash));
    const auto last = dash < 0 ? first : one(text.mid(dash + 1));
    if (!first || !last || *last < *first)
        return std::nullopt;
    return std::pair(*first, *last);
}

} // namespace

std::optional<QString> pageListProblem(const QString& list)
{
    for (const QString& item : list.split(u','))
        if (!pageItem(item, std::numeric_limits<int>::max()))
            return QStringLiteral("page \"%1\" is not a page number, a range such as 3-5, "
                                  "\"last\" or \"all\"")
                .arg(item.trimmed());
    return std::nullopt;
}

std::variant<std::vector<int>, QString> pageList(const QString& list, int count)
{
    if (const auto problem = pageListProblem(list))
        return *problem;
    std::vector<int> pages;
    std::set<int> seen;
    for (const QString& item : list.split(u',')) {
        const auto [first, last] = *pageItem(item, count);
        if (last > count)
            return QStringLiteral("there is no page %1").arg(first > count ? first : last);
        for (qint64 page = first; page <= last; ++page)
            if (seen.insert(int(page)).second)
                pages.push_back(int(page));
    }
    if (pages.empty())
        return QStringLiteral("there is no page to sign");
    return pages;
}

std::variant<DocumentFacts, QString> inspectPdf(const QString& documentPath)
{
    QString readError;
    const std::shared_ptr<OpenedFile> file =
        openRegularFile(documentPath, MaxDocumentBytes, &readError);
    if (!file)
        return QStringLiteral("cannot read %1: %2").arg(documentPath, readError);
    MemoryBudget budget(DocumentMemoryBytes + 2 * file->size);
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.setAttemptRecovery(false);
        document.processInputSource(std::make_shared<DocumentInput>(
            file, QByteArray(), QFileInfo(documentPath).fileName().toStdString(), &budget));
        if (pageTreeTooDeep(document))
            return QStringLiteral("%1 has a page tree deeper than %2 levels")
                .arg(documentPath)
                .arg(MaxPageTreeDepth);
        DocumentFacts facts;
        facts.pages = int(QPDFPageDocumentHelper(document).getAllPages().size());
        facts.signatures = signatureCount(document, budget);
        facts.certified = certifiedPermission(document);
        if (budget.exceeded())
            return tooLarge(documentPath, budget).message;
        return facts;
    } catch (const DocumentTooLarge&) {
        return tooLarge(documentPath, budget).message;
    } catch (const std::exception& e) {
        if (budget.exceeded())
            return tooLarge(documentPath, budget).message;
        return QStringLiteral("%1 is not a PDF or is damaged (%2)")
            .arg(documentPath, QString::fromLocal8Bit(e.what()));
    }
}

QByteArray SignedCopy::whole() const
{
    return (document ? document->read(0, prefixLength) : QByteArray()) + bytes;
}

std::optional<QString> SignedCopy::writeTo(const QString& path) const
{
    return writeFile(path, bytes, document ? document->fd : -1, prefixLength);
}

std::variant<SignedCopy, StampFailure>
stampPdf(const QString& documentPath, const QByteArray& signature, const StampPlace& place)
{
    // Opened as a regular file, a FIFO or a device refused; read as qpdf needs its parts, so
    // that appending to a large document does not read all of it.
    QString readError;
    const std::shared_ptr<OpenedFile> file =
        openRegularFile(documentPath, MaxDocumentBytes, &readError);
    if (!file)
        return StampFailure{StampFailure::Unreadable,
                            QStringLiteral("cannot read %1: %2").arg(documentPath, readError)};
    const std::string name = QFileInfo(documentPath).fileName().toStdString();
    MemoryBudget budget(DocumentMemoryBytes + 2 * file->size);
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        // A document that needs mending is refused rather than silently rewritten.
        document.setAttemptRecovery(false);
        document.processInputSource(
            std::make_shared<DocumentInput>(file, QByteArray(), name, &budget));
        // Opened without a password: its user password is empty. What its author's permissions
        // allow is kept to.
        if (document.isEncrypted() && !(place.flatten  ? document.allowModifyOther()
                                        : place.signer ? document.allowModifyForm()
                                                       : document.allowModifyAnnotation()))
            return refused(QStringLiteral("%1 is encrypted, and its author's permissions do not "
                                          "allow %2")
                               .arg(documentPath,
                                    place.flatten ? QStringLiteral("changing its pages")
                                    : place.signer ? QStringLiteral("signing it")
                                                   : QStringLiteral("adding annotations")));
        if (pageTreeTooDeep(document))
            return refused(QStringLiteral("%1 has a page tree deeper than %2 levels; it cannot be "
                                          "signed here")
                               .arg(documentPath)
                               .arg(MaxPageTreeDepth));
        if (place.flatten && !place.breakSignatures && signatureCount(document, budget) > 0)
            return refused(QStringLiteral("%1 carries a digital signature, which flattening a "
                                          "signature into it would break; sign it without "
                                          "--flatten, or add --break-signatures")
                               .arg(documentPath));
        // Everything the document held before this signature, for an update to refer to.
        std::optional<IncrementalUpdate> update;
        if (!place.flatten)
            update.emplace(document, *file);
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
        const auto listed = pageList(place.pages, int(pages.size()));
        if (const QString* why = std::get_if<QString>(&listed))
            return StampFailure{StampFailure::NoSuchPage,
                                QStringLiteral("%1 has %2 page(s); %3")
                                    .arg(documentPath)
                                    .arg(pages.size())
                                    .arg(*why)};
        const std::vector<int>& numbers = std::get<std::vector<int>>(listed);
        if (place.acrossPages && numbers.size() < 2)
            return refused(QStringLiteral("a seal across pages needs at least two pages; %1 "
                                          "gives %2")
                               .arg(documentPath)
                               .arg(numbers.size()));
        // A certification that allows form filling and signing allows a signature field alone.
        const bool fieldOnly = place.signer && numbers.size() == 1;
        if (const std::optional<int> allowed = certifiedPermission(document);
            allowed && !place.flatten && *allowed < (fieldOnly ? 2 : 3))
            return refused(*allowed == 1
                               ? QStringLiteral("%1 is certified by its author to allow no "
                                                "changes at all; a signature cannot be added")
                                     .arg(documentPath)
                               : QStringLiteral("%1 is certified by its author to allow only "
                                                "form filling and signature fields, not a "
                                                "signature drawn on a page")
                                     .arg(documentPath));

        QPDF own;
        own.processMemoryFile("signature", signature.constData(), size_t(signature.size()));
        QPDFPageObjectHelper ownPage = QPDFPageDocumentHelper(own).getAllPages().at(0);
        const QPDFObjectHandle::Rectangle ownBox = ownPage.getMediaBox().getArrayAsRectangle();
        const double ownWidth = ownBox.urx - ownBox.llx, ownHeight = ownBox.ury - ownBox.lly;
        // One copy of the signature's outlines, however many pages show it.
        QPDFObjectHandle form = place.flatten
                                    ? document.copyForeignObject(ownPage.getFormXObjectForPage())
                                    : update->foreign(ownPage.getFormXObjectForPage());

        std::vector<std::pair<int, QString>> signedPages;
        for (size_t k = 0; k < numbers.size(); ++k) {
            const int number = numbers[k];
            QPDFPageObjectHelper& target = pages[size_t(number - 1)];
            // What a viewer shows: the crop box where it lies on the media box, in the page's
            // own units, which /UserUnit makes larger than points.
            const QPDFObjectHandle::Rectangle media = target.getMediaBox().getArrayAsRectangle();
            const QPDFObjectHandle::Rectangle crop = target.getCropBox().getArrayAsRectangle();
            const QPDFObjectHandle::Rectangle box(std::max(crop.llx, media.llx),
                                                  std::max(crop.lly, media.lly),
                                                  std::min(crop.urx, media.urx),
                                                  std::min(crop.ury, media.ury));
            QPDFObjectHandle unit = target.getObjectHandle().getKey("/UserUnit");
            const double pointsPerUnit =
                unit.isNumber() && unit.getNumericValue() > 0 ? unit.getNumericValue() : 1.0;
            QPDFObjectHandle rotation = target.getAttribute("/Rotate", false);
            const int rotate =
                rotation.isInteger() ? ((rotation.getIntValueAsInt() % 360) + 360) % 360 : 0;
            const double scale =
                (place.widthMm ? *place.widthMm * PointsPerMm / ownWidth : 1.0) / pointsPerUnit;
            // The page as shown, turned or not, and where the signature falls on it.
            const bool turned = rotate == 90 || rotate == 270;
            const double shownWidth = turned ? box.ury - box.lly : box.urx - box.llx;
            const double shownHeight = turned ? box.urx - box.llx : box.ury - box.lly;
            if (!(shownWidth > 0 && shownHeight > 0))
                return refused(QStringLiteral("page %1 of %2 has no area to sign on")
                                   .arg(number)
                                   .arg(documentPath));
            // The part of the signature this page shows: all of it, or across the pages, its
            // k-th slice from the left, at the page's right edge, so that the pages fanned out
            // show the whole seal.
            const double sliceWidth = place.acrossPages ? ownWidth / double(numbers.size())
                                                        : ownWidth;
            const double sliceLeft = place.acrossPages ? sliceWidth * double(k) : 0;
            const double atX = place.acrossPages
                                   ? shownWidth - sliceWidth * scale
                                   : place.atMm.x() * PointsPerMm / pointsPerUnit;
            const double atY = place.atMm.y() * PointsPerMm / pointsPerUnit;
            if (!QRectF(0, 0, shownWidth, shownHeight)
                     .intersects(QRectF(atX, atY, sliceWidth * scale, ownHeight * scale)))
                return refused(QStringLiteral("the signature would fall off page %1 (%2 x %3 mm)")
                                   .arg(number)
                                   .arg(shownWidth * pointsPerUnit / PointsPerMm, 0, 'f', 0)
                                   .arg(shownHeight * pointsPerUnit / PointsPerMm, 0, 'f', 0));
            const std::string matrix = placement(box, rotate, scale, atX - sliceLeft * scale, atY,
                                                 ownHeight * scale);
            const QPDFObjectHandle::Rectangle slice(ownBox.llx + sliceLeft, ownBox.lly,
                                                    ownBox.llx + sliceLeft + sliceWidth,
                                                    ownBox.ury);
            QString how = QStringLiteral("annotation");
            if (place.flatten) {
                if (auto failure = flattenOnto(document, target, form, matrix, slice, number,
                                               documentPath))
                    return *failure;
                how = QStringLiteral("content");
            } else if (place.signer && k == 0) {
                signatureField(document, *update, target, form, matrix, slice, *place.signer);
                how = QStringLiteral("certificate");
            } else {
                annotate(*update, target, form, matrix, slice);
            }
            signedPages.emplace_back(number, how);
        }

        // qpdf takes some failures to read for warnings, and reads on.
        if (budget.exceeded())
            return tooLarge(documentPath, budget);
        if (!place.flatten) {
            auto written = update->write();
            if (const QString* why = std::get_if<QString>(&written))
                return refused(QStringLiteral("%1 cannot be signed here: %2").arg(documentPath, *why));
            // Read back as a reader would: an update that does not read cleanly is not written.
            SignedCopy copy{file, file->size, std::get<QByteArray>(written), signedPages};
            if (place.signer)
                if (auto why = completeSignature(copy, *place.signer))
                    return refused(QStringLiteral("%1 cannot be signed: %2").arg(documentPath, *why));
            QPDF check;
            check.setSuppressWarnings(true);
            check.setAttemptRecovery(false);
            check.processInputSource(
                std::make_shared<DocumentInput>(file, copy.bytes, name, &budget));
            const size_t pagesRead = QPDFPageDocumentHelper(check).getAllPages().size();
            if (budget.exceeded())
                return tooLarge(documentPath, budget);
            if (pagesRead != pages.size() || check.anyWarnings())
                return refused(
                    QStringLiteral("%1 is damaged; it cannot be signed here").arg(documentPath));
            return copy;
        }

        QPDFWriter writer(document);
        writer.setOutputMemory();
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.write();
        if (budget.exceeded())
            return tooLarge(documentPath, budget);
        if (document.anyWarnings())
            return refused(
                QStringLiteral("%1 is damaged; it cannot be signed here").arg(documentPath));
        std::unique_ptr<Buffer> out(writer.getBuffer());
        return SignedCopy{nullptr, 0,
                          QByteArray(reinterpret_cast<const char*>(out->getBuffer()),
                                     qsizetype(out->getSize())),
                          signedPages};
    } catch (const DocumentTooLarge&) {
        return tooLarge(documentPath, budget);
    } catch (const QPDFExc& e) {
        if (budget.exceeded())
            return tooLarge(documentPath, budget);
        if (e.getErrorCode() == qpdf_e_password)
            return refused(
                QStringLiteral("%1 is encrypted; it cannot be signed here").arg(documentPath));
        return refused(QStringLiteral("%1 is not a PDF or is damaged (%2)")
                           .arg(documentPath, QString::fromStdString(e.getMessageDetail())));
    } catch (const std::bad_alloc&) {
        return refused(QStringLiteral("%1 is too large to sign here: there is not enough memory "
                                      "for it")
                           .arg(documentPath));
    } catch (const std::exception& e) {
        if (budget.exceeded())
            return tooLarge(documentPath, budget);
        return refused(QStringLiteral("%1 is not a PDF or is damaged (%2)")
                           .arg(documentPath, QString::fromLocal8Bit(e.what())));
    }
}
