#include "signatures.h"

#include "base/regularfile.h"
#include "documentinput.h"
#include "formfields.h"
#include "longterm.h"
#include "memorybudget.h"
#include "opendocument.h"
#include "openssltypes.h"

#include <qpdf/QPDFTokenizer.hh>

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <map>

namespace {

// A date as PDF writes it: D:YYYYMMDDHHmmSS followed by Z, or +HH'mm' or -HH'mm'; any part
// after the year may be left out.
QDateTime pdfDate(const QString& text)
{
    QString s = text.startsWith(QLatin1String("D:")) ? text.mid(2) : text;
    const auto part = [&s](int at, int length, int otherwise) {
        bool ok = false;
        const int v = s.mid(at, length).toInt(&ok);
        return ok && s.size() >= at + length ? v : otherwise;
    };
    const QDate date(part(0, 4, 0), part(4, 2, 1), part(6, 2, 1));
    const QTime time(part(8, 2, 0), part(10, 2, 0), part(12, 2, 0));
    if (!date.isValid() || !time.isValid())
        return {};
    int offset = 0;
    if (s.size() > 14 && (s[14] == u'+' || s[14] == u'-')) {
        offset = (part(15, 2, 0) * 60 + part(18, 2, 0)) * 60;
        if (s[14] == u'-')
            offset = -offset;
    }
    return QDateTime(date, time, Qt::OffsetFromUTC, offset).toUTC();
}

// The digest by `algorithm` of the file's bytes in `ranges` (offset and length pairs).
std::optional<QByteArray> digestOfRanges(const OpenedFile& file, const char* algorithm,
                                         const std::vector<std::pair<qint64, qint64>>& ranges)
{
    const EVP_MD* md = EVP_get_digestbyname(algorithm);
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    if (!md || !context || EVP_DigestInit_ex(context.get(), md, nullptr) != 1)
        return std::nullopt;
    constexpr qint64 Chunk = 4 << 20;
    for (const auto& [from, length] : ranges)
        for (qint64 at = from; at < from + length; at += Chunk) {
            const QByteArray part = file.read(at, std::min(Chunk, from + length - at));
            if (part.isEmpty() ||
                EVP_DigestUpdate(context.get(), part.constData(), size_t(part.size())) != 1)
                return std::nullopt;
        }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

// A document time stamp's token checked as a signature: its imprint the digest of the bytes it
// covers, its signature its authority's.
CmsCheck documentTimeStampCheck(const QByteArray& der,
                                const std::function<std::optional<QByteArray>(int nid)>& digestOf,
                                const TrustStore& store)
{
    CmsCheck check;
    int named = NID_undef;
    const TimeStampCheck token = checkTimeStampToken(
        der,
        [&](int nid) {
            named = nid;
            return digestOf(nid);
        },
        store.get());
    check.readable = named != NID_undef;
    check.digestName = QString::fromLatin1(OBJ_nid2sn(named));
    check.digestMatches = token.fault != TimeStampCheck::Fault::NotOver && check.readable;
    check.valueVerifies = token.holds;
    check.signer = token.authority;
    check.issuer = token.issuer;
    check.signingTime = token.time;
    check.trust = token.trusted ? CmsCheck::Trust::Trusted : CmsCheck::Trust::IssuerNotTrusted;
    return check;
}

// Where a signature dictionary's hex-string values of /Contents lie in the file: found by
// reading the object's own tokens from where its revision says its body starts, keyed by the
// key path of the dictionary holding them ("" for the object's own, "/V" for a field's value).
std::map<std::string, std::pair<qint64, qint64>>
contentsSpans(const std::shared_ptr<OpenedFile>& file, qint64 at, qint64 end)
{
    std::map<std::string, std::pair<qint64, qint64>> spans;
    auto input = std::make_shared<DocumentInput>(file, QByteArray(), "signature", nullptr, end);
    input->seek(at, SEEK_SET);
    QPDFTokenizer tokenizer;
    struct Read
    {
        QPDFTokenizer::token_type_e type;
        std::string value;
        qint64 start, end;
        bool hex;
    };
    std::vector<Read> tokens;
    for (int i = 0; i < 200000; ++i) {
        const QPDFTokenizer::Token t = tokenizer.readToken(input, "signature", true, 1 << 22);
        if (t.getType() == QPDFTokenizer::tt_bad || t.getType() == QPDFTokenizer::tt_eof)
            return spans;
        if (t.getType() == QPDFTokenizer::tt_word &&
            (t.getValue() == "endobj" || t.getValue() == "stream"))
            break;
        tokens.push_back({t.getType(), t.getValue(), input->getLastOffset(), input->tell(),
                          t.getRawValue().rfind('<', 0) == 0});
    }
    // "N G obj" and the object.
    if (tokens.size() < 4 || tokens[0].type != QPDFTokenizer::tt_integer ||
        tokens[1].type != QPDFTokenizer::tt_integer || tokens[2].value != "obj")
        return spans;
    size_t i = 3;
    std::function<void(const std::string&)> value = [&](const std::string& path) {
        if (i >= tokens.size())
            return;
        const Read& t = tokens[i];
        if (t.type == QPDFTokenizer::tt_dict_open) {
            ++i;
            while (i < tokens.size() && tokens[i].type != QPDFTokenizer::tt_dict_close) {
                if (tokens[i].type != QPDFTokenizer::tt_name) {
                    ++i;
                    continue;
                }
                const std::string key = tokens[i++].value;
                if (key == "/Contents" && i < tokens.size() &&
                    tokens[i].type == QPDFTokenizer::tt_string && tokens[i].hex &&
                    !spans.count(path))
                    spans[path] = {tokens[i].start, tokens[i].end};
                value(path.empty() ? key : path + ' ' + key);
            }
            ++i;
        } else if (t.type == QPDFTokenizer::tt_array_open) {
            ++i;
            while (i < tokens.size() && tokens[i].type != QPDFTokenizer::tt_array_close)
                value(path + " []");
            ++i;
        } else if (t.type == QPDFTokenizer::tt_integer && i + 2 < tokens.size() &&
                   tokens[i + 1].type == QPDFTokenizer::tt_integer && tokens[i + 2].value == "R") {
            i += 3;
        } else {
            ++i;
        }
    };
    value(std::string());
    return spans;
}

// One signature dictionary found: the object it is (its field's, where it is written in
// its field) and the revision that wrote it.
struct Found
{
    int number = 0;
    int generation = 0;
    int revision = 0;   // 1-based
    bool inField = false; // written inside its field's dictionary
    QString field;
    bool inFinalForm = false;
};

// What a reader may take for a signature: a dictionary that says it is one, or holds the two
// keys one has. A forged one is judged as a signature, not passed over.
bool isSignatureValue(QPDFObjectHandle value)
{
    return value.isDictionary() && !value.isStream() &&
           (value.getKey("/Type").isNameAndEquals("/Sig") ||
            value.getKey("/Type").isNameAndEquals("/DocTimeStamp") ||
            (value.hasKey("/ByteRange") && value.hasKey("/Contents")));
}

class Verifier
{
public:
    Verifier(OpenDocument& document, const TrustStore& trust) : document_(document), trust_(trust)
    {
    }

    Verification run()
    {
        Verification v;
        const OpenedFile& file = *document_.file();
        chain_ = readRevisions(file, document_.headerOffset());
        v.revisions = int(chain_.revisions.size());
        if (chain_.fault) {
            v.fault = chain_.fault;
            v.signatures = unjudgeable();
            return v;
        }
        const std::vector<Found> found = findSignatures();
        int earliest = v.revisions;
        for (const Found& f : found) {
            v.signatures.push_back(report(f));
            earliest = std::min(earliest, f.revision);
        }
        // What each revision after the first signed one changed.
        if (!found.empty() && earliest < v.revisions) {
            const auto referrers = referrersOf(document_.qpdf(), document_.budget());
            for (int k = earliest + 1; k <= v.revisions; ++k) {
                const Revision& revision = chain_.revisions[size_t(k - 1)];
                // Referred to by an object of an earlier revision that this one leaves as it was.
                const auto referredBefore = [&](int n) {
                    const auto it = referrers.find(n);
                    if (it == referrers.end())
                        return false;
                    const int last = int(chain_.revisions.size());
                    return std::any_of(it->second.begin(), it->second.end(), [&](int holder) {
                        const int was = holder != 0 && !revision.entry(holder) ? definedIn(holder, k - 1) : 0;
                        if (was == 0)
                            return false;
                        if (definedIn(holder, last) == was)
                            return true;
                        // Written again later: its body as this revision reads it.
                        return refersTo(state(k).getObjectByID(holder, 0), n);
                    });
                };
                RevisionChanges changes{k, changesOf(state(k - 1), state(k), revision,
                                                     referredBefore, document_.budget())};
                if (!changes.changes.empty())
                    v.changes.push_back(std::move(changes));
            }
        }
        keptForLater(v.signatures);
        judge(v);
        std::stable_sort(v.signatures.begin(), v.signatures.end(),
                         [](const auto& a, const auto& b) { return a.revision < b.revision; });
        return v;
    }

private:
    // The document as revision `k` (1-based) left it.
    QPDF& state(int k)
    {
        if (k == int(chain_.revisions.size()))
            return document_.qpdf();
        auto& held = states_[k];
        if (!held) {
            held = std::make_unique<QPDF>();
            held->setSuppressWarnings(true);
            held->setAttemptRecovery(false);
            const SecretText password(document_.password());
            held->processInputSource(
                std::make_shared<DocumentInput>(document_.file(), QByteArray(), document_.name(),
                                                &document_.budget(),
                                                chain_.revisions[size_t(k - 1)].end),
                password.orNull());
        }
        return *held;
    }

    // The revision (1-based) whose entry defines `number` as revision `k` reads it.
    int definedIn(int number, int k) const
    {
        for (int r = k; r >= 1; --r)
            if (const XrefEntry* e = chain_.revisions[size_t(r - 1)].entry(number))
                return e->type == XrefEntry::Type::Free ? 0 : r;
        return 0;
    }

    // Signatures by the form of every revision, and by the signature dictionaries each update
    // writes, whether or not any form still lists them.
    std::vector<Found> findSignatures()
    {
        std::map<std::pair<int, int>, Found> found; // by object and revision
        const int n = int(chain_.revisions.size());
        for (int k = 1; k <= n; ++k) {
            QPDF& document = state(k);
            const Form form = readForm(document, document_.budget());
            for (const FormField& field : form.fields) {
                QPDFObjectHandle value = QPDFObjectHandle(field.field).getKey("/V");
                if (!field.isSigned() && !(field.signature && value.isDictionary()))
                    continue;
                Found f;
                f.inField = !value.isIndirect();
                QPDFObjectHandle holder = f.inField ? QPDFObjectHandle(field.field) : value;
                if (!holder.isIndirect())
                    continue;
                f.number = holder.getObjectID();
                f.generation = holder.getGeneration();
                f.revision = definedIn(f.number, k);
                if (f.revision == 0)
                    continue;
                f.field = field.name;
                Found& kept = found[{f.number, f.revision}];
                const bool final = kept.inFinalForm || k == n;
                if (kept.number == 0 || k >= kept.revision)
                    kept = f;
                kept.inFinalForm = final;
            }
            if (k == 1)
                continue;
            // Signature dictionaries an update writes that no form of it names.
            for (const XrefEntry& e : chain_.revisions[size_t(k - 1)].entries) {
                if (e.type == XrefEntry::Type::Free || found.count({e.number, k}))
                    continue;
                QPDFObjectHandle object;
                try {
                    object = document.getObject(e.number, e.type == XrefEntry::Type::InFile
                                                              ? e.generation
                                                              : 0);
                } catch (const std::exception&) {
                    continue;
                }
                if (!isSignatureValue(object))
                    continue;
                Found f;
                f.number = e.number;
                f.generation = e.generation;
                f.revision = k;
                found[{f.number, k}] = f;
            }
        }
        // A signature dictionary written again by a later revision is the same signature, its
        // facts those it signed: the later writing is a change, said as one.
        std::map<int, Found> first;
        std::set<int> inFinal;
        for (const auto& [key, f] : found) {
            if (f.inFinalForm)
                inFinal.insert(f.number);
            auto [it, added] = first.emplace(f.number, f);
            if (!added && f.revision < it->second.revision)
                it->second = f;
        }
        std::vector<Found> all;
        for (auto& [number, f] : first) {
            f.inFinalForm = inFinal.count(number) != 0;
            all.push_back(f);
        }
        return all;
    }

    SignatureReport report(const Found& f)
    {
        using U = SignatureReport::Unclear;
        const OpenedFile& file = *document_.file();
        const Revision& revision = chain_.revisions[size_t(f.revision - 1)];
        SignatureReport report;
        report.field = f.field;
        report.inForm = f.inFinalForm;
        report.fileBytes = file.size;
        report.revisions = int(chain_.revisions.size());
        report.revision = f.revision;
        // Every fact as the revision it signs has it: what later revisions say is unsigned.
        QPDF& signedState = state(f.revision);
        QPDFObjectHandle holder = signedState.getObject(f.number, f.generation);
        QPDFObjectHandle value = f.inField ? holder.getKey("/V") : holder;
        QPDFObjectHandle subFilter = value.getKey("/SubFilter");
        report.subFilter =
            subFilter.isName() ? QString::fromStdString(subFilter.getName()).mid(1) : QString();
        if (value.getKey("/Type").isNameAndEquals("/DocTimeStamp") ||
            report.subFilter == QLatin1String("ETSI.RFC3161"))
            report.type = SignatureReport::Type::DocumentTimeStamp;
        if (value.getKey("/Name").isString())
            report.claimedName = QString::fromStdString(value.getKey("/Name").getUTF8Value());
        if (value.getKey("/M").isString())
            report.claimedTime = pdfDate(QString::fromStdString(value.getKey("/M").getUTF8Value()));
        permissions(report, signedState, value, f);

        // Four integers from the start, ascending, inside the file.
        QPDFObjectHandle ranges = value.getKey("/ByteRange");
        std::vector<qint64> r;
        for (int i = 0; ranges.isArray() && i < ranges.getArrayNItems() && i < 5; ++i)
            r.push_back(ranges.getArrayItem(i).isInteger() ? ranges.getArrayItem(i).getIntValue()
                                                           : -1);
        const bool sound = r.size() == 4 && r[0] == 0 && r[1] > 0 && r[2] >= r[1] + 2 &&
                           r[3] >= 0 && r[2] - r[1] <= 4 * 1024 * 1024 && r[2] + r[3] <= file.size;
        if (!sound) {
            report.unclear = U::Ranges;
            return report;
        }
        report.coveredBytes = r[2] + r[3];
        // The gap is exactly this dictionary's own value: where its object says it is.
        const XrefEntry* entry = revision.entry(f.number);
        QByteArray der;
        if (!entry || entry->type != XrefEntry::Type::InFile || entry->offset < revision.start) {
            report.unclear = U::NotItsRevision;
        } else {
            const auto spans = contentsSpans(document_.file(), entry->offset, revision.end);
            const auto span = spans.find(f.inField ? "/V" : "");
            if (span == spans.end() || span->second != std::make_pair(r[1], r[2]))
                report.unclear = U::Gap;
            else
                der = QByteArray::fromHex(file.read(r[1] + 1, r[2] - r[1] - 2));
        }
        const int ends = chain_.endingAt(report.coveredBytes);
        if (report.unclear == U::None && ends == 0)
            report.unclear = U::NotRevisionEnd;
        else if (report.unclear == U::None && ends != f.revision)
            report.unclear = U::NotItsRevision;
        if (report.unclear == U::None)
            report.coverage = ends == report.revisions ? SignatureReport::Coverage::Whole
                                                       : SignatureReport::Coverage::Revision;
        if (der.isEmpty())
            return report;
        const std::vector<std::pair<qint64, qint64>> covered{{0, r[1]}, {r[2], r[3]}};
        report.check =
            report.type == SignatureReport::Type::DocumentTimeStamp
                ? documentTimeStampCheck(
                      der, [&](int nid) { return digestOfRanges(file, OBJ_nid2sn(nid), covered); },
                      trust_)
                : checkCms(
                      der,
                      [&](const char* algorithm) { return digestOfRanges(file, algorithm, covered); },
                      &trust_, report.subFilter == QLatin1String("adbe.pkcs7.sha1"));
        return report;
    }

    // What the signature allows after it, as its signed revision says: a certification's P,
    // its field's lock and its own FieldMDP.
    void permissions(SignatureReport& report, QPDF& signedState, QPDFObjectHandle value,
                     const Found& f)
    {
        const auto readLock = [&](QPDFObjectHandle lock) {
            QPDFObjectHandle action = keyOf(lock, "/Action");
            if (action.isNameAndEquals("/All"))
                report.locksAll = true;
            const bool exclude = action.isNameAndEquals("/Exclude");
            QPDFObjectHandle fields = keyOf(lock, "/Fields");
            if (exclude)
                report.locksAll = true, report.lockExcludes = true;
            for (int i = 0; fields.isArray() && i < fields.getArrayNItems(); ++i)
                if (fields.getArrayItem(i).isString())
                    report.locked.push_back(
                        QString::fromStdString(fields.getArrayItem(i).getUTF8Value()));
            if (keyOf(lock, "/P").isInteger())
                report.lockP = std::clamp(keyOf(lock, "/P").getIntValueAsInt(), 1, 3);
        };
        QPDFObjectHandle references = value.getKey("/Reference");
        for (int i = 0; references.isArray() && i < references.getArrayNItems(); ++i) {
            QPDFObjectHandle reference = references.getArrayItem(i);
            const std::string method = keyOf(reference, "/TransformMethod").unparse();
            QPDFObjectHandle params = keyOf(reference, "/TransformParams");
            if (method == "/DocMDP") {
                report.type = SignatureReport::Type::Certification;
                QPDFObjectHandle p = keyOf(params, "/P");
                report.certifiedP = p.isInteger() ? std::clamp(p.getIntValueAsInt(), 1, 3) : 2;
            } else if (method == "/FieldMDP") {
                readLock(params);
            }
        }
        QPDFObjectHandle docMdp = keyOf(keyOf(signedState.getRoot(), "/Perms"), "/DocMDP");
        if (report.type == SignatureReport::Type::Approval && docMdp.isIndirect() &&
            docMdp.getObjectID() == f.number && !f.inField)
            report.type = SignatureReport::Type::Certification, report.certifiedP = 2;
        // The field's own lock, as the signed revision has it.
        const Form form = readForm(signedState, document_.budget());
        for (const FormField& field : form.fields) {
            QPDFObjectHandle v = QPDFObjectHandle(field.field).getKey("/V");
            const int holder = f.inField ? QPDFObjectHandle(field.field).getObjectID()
                                         : v.isIndirect() ? v.getObjectID() : 0;
            if (holder == f.number)
                readLock(field.lock());
        }
    }

    // A document whose revisions cannot be read: every signature its form shows, or that its
    // bytes hold, reported as one that cannot be judged.
    std::vector<SignatureReport> unjudgeable()
    {
        std::vector<SignatureReport> reports;
        const OpenedFile& file = *document_.file();
        try {
            const Form form = readForm(document_.qpdf(), document_.budget());
            for (const FormField& field : form.fields) {
                if (!field.isSigned())
                    continue;
                SignatureReport report;
                report.field = field.name;
                report.fileBytes = file.size;
                report.unclear = SignatureReport::Unclear::ChainUnreadable;
                reports.push_back(report);
            }
        } catch (const std::exception&) {
        }
        if (reports.empty()) {
            constexpr qint64 Chunk = 4 << 20;
            for (qint64 at = 0; at < file.size; at += Chunk - 16)
                if (file.read(at, Chunk).contains("/ByteRange")) {
                    SignatureReport report;
                    report.fileBytes = file.size;
                    report.inForm = false;
                    report.unclear = SignatureReport::Unclear::ChainUnreadable;
                    reports.push_back(report);
                    break;
                }
        }
        return reports;
    }

    // Where the document keeps what checks its signatures later: each signature whose chain its
    // Document Security Store answers for, those a document time stamp over that store covers,
    // and those whose certificate it says is revoked.
    void keptForLater(std::vector<SignatureReport>& reports)
    {
        QPDF& document = document_.qpdf();
        QPDFObjectHandle root = document.getRoot();
        QPDFObjectHandle dss = root.getKey("/DSS");
        if (!dss.isDictionary())
            return;
        ValidationData kept;
        const auto streams = [&](const char* key, std::vector<QByteArray>& into) {
            QPDFObjectHandle list = dss.getKey(key);
            for (int i = 0; list.isArray() && i < list.getArrayNItems(); ++i)
                if (QPDFObjectHandle item = list.getArrayItem(i); item.isStream()) {
                    const auto data = item.getStreamData(qpdf_dl_generalized);
                    into.emplace_back(reinterpret_cast<const char*>(data->getBuffer()),
                                      qsizetype(data->getSize()));
                }
        };
        streams("/Certs", kept.certificates);
        streams("/OCSPs", kept.ocsps);
        streams("/CRLs", kept.crls);
        // The revision that wrote the store: a time stamp covers it when it covers that one.
        const QPDFObjectHandle holder = dss.isIndirect() ? dss : root;
        const int written = definedIn(holder.getObjectID(), int(chain_.revisions.size()));
        for (SignatureReport& report : reports) {
            if (report.type == SignatureReport::Type::DocumentTimeStamp ||
                !report.check.valueVerifies)
                continue;
            std::vector<QByteArray> certificates = report.check.certificates;
            certificates.insert(certificates.end(), kept.certificates.begin(),
                                kept.certificates.end());
            SignError incomplete{SignError::Kind::ChainIncomplete};
            const auto statuses = chainStatuses(report.check.certificate, certificates, &incomplete);
            if (std::any_of(statuses.begin(), statuses.end(),
                            [&](const CertificateStatus& s) { return keptRevoked(s, kept); }))
                report.check.trust = CmsCheck::Trust::Revoked;
            report.validationKept =
                incomplete.detail.isEmpty() &&
                std::all_of(statuses.begin(), statuses.end(),
                            [&](const CertificateStatus& s) { return keptAnswer(s, kept); });
            report.archived =
                report.validationKept && written > 0 &&
                std::any_of(reports.begin(), reports.end(), [&](const SignatureReport& stamp) {
                    return stamp.type == SignatureReport::Type::DocumentTimeStamp &&
                           stamp.intact() && stamp.revision >= written;
                });
        }
    }

    void judge(Verification& v)
    {
        // A certification binds every revision after its own.
        const SignatureReport* certification = nullptr;
        for (const SignatureReport& r : v.signatures)
            if (r.type == SignatureReport::Type::Certification &&
                (!certification || r.revision < certification->revision))
                certification = &r;
        for (SignatureReport& r : v.signatures) {
            for (const RevisionChanges& c : v.changes)
                if (c.revision > r.revision)
                    r.later.push_back(c);
            int p = r.type == SignatureReport::Type::Certification ? r.certifiedP : 3;
            if (certification && certification->revision <= r.revision)
                p = std::min(p, certification->certifiedP);
            if (r.lockP > 0)
                p = std::min(p, r.lockP);
            bool beyond = false, allowed = false;
            for (const RevisionChanges& c : r.later)
                for (const Change& change : c.changes) {
                    using K = Change::Kind;
                    const bool permitted =
                        change.kind == K::ValidationData ||
                        ((change.kind == K::Signing || change.kind == K::FormFilling) && p >= 2) ||
                        (change.kind == K::Annotation && p >= 3);
                    const bool lockedField =
                        (change.kind == K::Signing || change.kind == K::FormFilling) &&
                        r.locks(change.name);
                    if (!permitted || lockedField)
                        beyond = true;
                    else if (change.kind == K::FormFilling || change.kind == K::Annotation)
                        allowed = true;
                }
            r.after = beyond    ? SignatureReport::After::Beyond
                      : allowed ? SignatureReport::After::Allowed
                      : r.later.empty() ? SignatureReport::After::Nothing
                                        : SignatureReport::After::SignaturesOnly;
        }
    }

    OpenDocument& document_;
    const TrustStore& trust_;
    RevisionChain chain_;
    std::map<int, std::unique_ptr<QPDF>> states_;
};

} // namespace

QDateTime SignatureReport::time() const
{
    return claimedTime.isValid() ? claimedTime : check.signingTime;
}

bool SignatureReport::locks(const QString& name) const
{
    if (name.isEmpty())
        return false;
    const bool named = std::find(locked.begin(), locked.end(), name) != locked.end();
    return lockExcludes ? !named : locksAll || named;
}

bool SignatureReport::intact() const
{
    using T = CmsCheck::Trust;
    return coverage != Coverage::Unclear && check.sound() &&
           (!check.timeStamp.present || check.timeStamp.holds) && check.trust != T::NotForSigning &&
           check.trust != T::Expired && check.trust != T::NotYetValid && check.trust != T::Revoked;
}

Verification::Verdict Verification::verdict() const
{
    if (signatures.empty())
        return Verdict::NoSignatures;
    Verdict worst = Verdict::Unchanged;
    for (const SignatureReport& r : signatures) {
        if (!r.intact())
            return Verdict::Invalid;
        const Verdict v = r.after == SignatureReport::After::Beyond    ? Verdict::ChangedBeyond
                          : r.after == SignatureReport::After::Allowed ? Verdict::ChangedAllowed
                          : r.after == SignatureReport::After::SignaturesOnly
                              ? Verdict::SignaturesOnly
                              : Verdict::Unchanged;
        worst = std::max(worst, v);
    }
    return worst;
}

bool Verification::allTrusted() const
{
    return std::all_of(signatures.begin(), signatures.end(),
                       [](const SignatureReport& r) { return r.trusted(); });
}

std::variant<Verification, SignError> verifySignatures(const QString& path,
                                                       const SecretBytes* password,
                                                       const TrustStore* trust)
{
    auto opened = OpenDocument::open(path, password);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    OpenDocument& document = *std::get<std::unique_ptr<OpenDocument>>(opened);
    std::optional<TrustStore> system;
    if (!trust)
        trust = &system.emplace();
    try {
        return Verifier(document, *trust).run();
    } catch (const std::exception& e) {
        return document.failure(e);
    }
}

std::variant<QByteArray, SignError> signedRevision(const QString& path, qint64 coveredBytes)
{
    QString why;
    const std::shared_ptr<OpenedFile> file = openRegularFile(path, MaxDocumentBytes, &why);
    if (!file) {
        SignError e{SignError::Kind::CannotRead, path};
        e.detail = why;
        return e;
    }
    const QByteArray bytes = file->read(0, std::min(coveredBytes, file->size));
    if (bytes.size() != std::min(coveredBytes, file->size)) {
        SignError e{SignError::Kind::CannotRead, path};
        return e;
    }
    return bytes;
}
