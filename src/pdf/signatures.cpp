#include "signatures.h"

#include "base/regularfile.h"
#include "formfields.h"
#include "longterm.h"
#include "opendocument.h"
#include "openssltypes.h"

#include <QTimeZone>

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509_vfy.h>

#include <algorithm>

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
            if (part.isEmpty())
                return std::nullopt;
            EVP_DigestUpdate(context.get(), part.constData(), size_t(part.size()));
        }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

// Where each revision of the file ends: after each "%%EOF" and the line end that follows it.
std::vector<qint64> revisionEnds(const OpenedFile& file)
{
    std::vector<qint64> ends;
    constexpr qint64 Chunk = 4 << 20;
    for (qint64 at = 0; at < file.size; at += Chunk - 8) {
        const QByteArray part = file.read(at, Chunk);
        for (qsizetype found = part.indexOf("%%EOF"); found >= 0;
             found = part.indexOf("%%EOF", found + 1)) {
            qint64 end = at + found + 5;
            if (!ends.empty() && ends.back() >= end)
                continue;
            const QByteArray after = file.read(end, 2);
            end += after.startsWith("\r\n") ? 2 : after.startsWith('\n') || after.startsWith('\r');
            ends.push_back(end);
        }
    }
    return ends;
}

// A document time stamp's token checked as a signature: its imprint the digest of the bytes it
// covers, its signature its authority's.
CmsCheck documentTimeStampCheck(const QByteArray& der,
                                const std::function<std::optional<QByteArray>(int nid)>& digestOf)
{
    CmsCheck check;
    int named = NID_undef;
    const TimeStampCheck token = checkTimeStampToken(der, [&](int nid) {
        named = nid;
        return digestOf(nid);
    });
    check.readable = named != NID_undef;
    check.digestName = QString::fromLatin1(OBJ_nid2sn(named));
    check.digestMatches = token.holds;
    check.valueVerifies = token.holds;
    check.signer = token.authority;
    check.issuer = token.issuer;
    check.signingTime = token.time;
    return check;
}

// Where the document keeps what checks its signatures later: each signature whose chain its
// Document Security Store answers for, and those a document time stamp over that store covers.
void keptForLater(QPDF& document, std::vector<SignatureReport>& reports)
{
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
    // Where the store was written: a time stamp covers it when it covers those bytes.
    const QPDFObjectHandle holder = dss.isIndirect() ? dss : root;
    const auto table = document.getXRefTable();
    qint64 writtenAt = -1;
    if (const auto it = table.find(holder.getObjGen()); it != table.end()) {
        if (it->second.getType() == 1) {
            writtenAt = it->second.getOffset();
        } else if (it->second.getType() == 2) {
            const auto in = table.find(QPDFObjGen(it->second.getObjStreamNumber(), 0));
            if (in != table.end() && in->second.getType() == 1)
                writtenAt = in->second.getOffset();
        }
    }
    for (SignatureReport& report : reports) {
        if (report.type == SignatureReport::Type::DocumentTimeStamp || !report.check.valueVerifies)
            continue;
        std::vector<QByteArray> certificates = report.check.certificates;
        certificates.insert(certificates.end(), kept.certificates.begin(), kept.certificates.end());
        SignError incomplete{SignError::Kind::ChainIncomplete};
        const auto statuses = chainStatuses(report.check.certificate, certificates, &incomplete);
        report.validationKept =
            incomplete.detail.isEmpty() &&
            std::all_of(statuses.begin(), statuses.end(),
                        [&](const CertificateStatus& s) { return keptAnswer(s, kept); });
        report.archived =
            report.validationKept && writtenAt >= 0 &&
            std::any_of(reports.begin(), reports.end(), [&](const SignatureReport& stamp) {
                return stamp.type == SignatureReport::Type::DocumentTimeStamp && stamp.intact() &&
                       stamp.coveredBytes > writtenAt;
            });
    }
}

} // namespace

CmsCheck checkCms(const QByteArray& der,
                  const std::function<std::optional<QByteArray>(const char*)>& digestOf, bool trust,
                  const QDateTime& when)
{
    CmsCheck check;
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(
        d2i_CMS_ContentInfo(nullptr, &p, long(der.size())));
    STACK_OF(CMS_SignerInfo)* infos = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
    if (!infos || sk_CMS_SignerInfo_num(infos) < 1) {
        ERR_clear_error();
        return check;
    }
    CMS_SignerInfo* si = sk_CMS_SignerInfo_value(infos, 0);
    CMS_set1_signers_certs(cms.get(), nullptr, 0);
    X509* certificate = nullptr;
    X509_ALGOR* digestAlgorithm = nullptr;
    CMS_SignerInfo_get0_algs(si, nullptr, &certificate, &digestAlgorithm, nullptr);
    check.readable = true;
    if (digestAlgorithm) {
        const char* name = OBJ_nid2sn(OBJ_obj2nid(digestAlgorithm->algorithm));
        check.digestName = QString::fromLatin1(name);
        const auto* signedDigest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
            si, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
        const std::optional<QByteArray> digest = digestOf(name);
        check.digestMatches =
            signedDigest && digest &&
            QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(signedDigest)),
                       ASN1_STRING_length(signedDigest)) == *digest;
    }
    if (const int at = CMS_signed_get_attr_by_NID(si, NID_pkcs9_signingTime, -1); at >= 0) {
        ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(CMS_signed_get_attr(si, at), 0);
        if (value && (value->type == V_ASN1_UTCTIME || value->type == V_ASN1_GENERALIZEDTIME))
            check.signingTime = asnTime(value->value.asn1_string);
    }
    if (!certificate) {
        ERR_clear_error();
        return check;
    }
    check.signer = commonName(X509_get_subject_name(certificate));
    check.certificate = certificateDer(certificate);
    if (Owned<STACK_OF(X509), freeCertificates> carried(CMS_get1_certs(cms.get())); carried)
        for (int i = 0; i < sk_X509_num(carried.get()); ++i)
            check.certificates.push_back(certificateDer(sk_X509_value(carried.get(), i)));
    check.issuer = commonName(X509_get_issuer_name(certificate));
    check.valueVerifies = CMS_SignerInfo_verify(si) == 1;
    check.timeStamp = checkTimeStamp(si);
    if (trust) {
        Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
        Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
        Owned<STACK_OF(X509), freeCertificates> others(CMS_get1_certs(cms.get()));
        if (store && context && X509_STORE_set_default_paths(store.get()) == 1 &&
            X509_STORE_CTX_init(context.get(), store.get(), certificate, others.get()) == 1) {
            const QDateTime at = when.isValid() ? when : check.signingTime;
            if (at.isValid())
                X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()),
                                           time_t(at.toSecsSinceEpoch()));
            const bool verified = X509_verify_cert(context.get()) == 1;
            const int error = X509_STORE_CTX_get_error(context.get());
            // A chain up to a root this system does not trust is its issuer's fault, not
            // a certificate that vouches for itself.
            check.trust = verified ? CmsCheck::Trust::Trusted
                          : error == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
                              ? CmsCheck::Trust::SelfSigned
                              : CmsCheck::Trust::IssuerNotTrusted;
        }
    }
    ERR_clear_error();
    return check;
}

std::variant<std::vector<SignatureReport>, SignError>
verifySignatures(const QString& path, const SecretBytes* password)
{
    auto opened = OpenDocument::open(path, password);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    OpenDocument& document = *std::get<std::unique_ptr<OpenDocument>>(opened);
    const OpenedFile& file = *document.file();
    std::vector<SignatureReport> reports;
    try {
        const Form form = readForm(document.qpdf(), document.budget());
        const std::vector<qint64> ends = revisionEnds(file);
        QPDFObjectHandle certification =
            keyOf(keyOf(document.qpdf().getRoot(), "/Perms"), "/DocMDP");
        for (const FormField& field : form.fields) {
            if (!field.isSigned())
                continue;
            QPDFObjectHandle value = QPDFObjectHandle(field.field).getKey("/V");
            SignatureReport report;
            report.field = field.name;
            report.fileBytes = file.size;
            report.revisions = int(ends.size());
            QPDFObjectHandle subFilter = value.getKey("/SubFilter");
            report.subFilter =
                subFilter.isName() ? QString::fromStdString(subFilter.getName()).mid(1) : QString();
            if (value.getKey("/Type").isNameAndEquals("/DocTimeStamp") ||
                report.subFilter == QLatin1String("ETSI.RFC3161"))
                report.type = SignatureReport::Type::DocumentTimeStamp;
            QPDFObjectHandle references = value.getKey("/Reference");
            for (int i = 0; references.isArray() && i < references.getArrayNItems(); ++i) {
                QPDFObjectHandle reference = references.getArrayItem(i);
                if (keyOf(reference, "/TransformMethod").unparse() != "/DocMDP")
                    continue;
                report.type = SignatureReport::Type::Certification;
                QPDFObjectHandle p = keyOf(keyOf(reference, "/TransformParams"), "/P");
                report.certifiedP = p.isInteger() ? std::clamp(p.getIntValueAsInt(), 1, 3) : 2;
            }
            if (report.type != SignatureReport::Type::Certification && certification.isIndirect() &&
                value.isIndirect() && certification.getObjGen() == value.getObjGen())
                report.type = SignatureReport::Type::Certification, report.certifiedP = 2;
            if (value.getKey("/Name").isString())
                report.claimedName = QString::fromStdString(value.getKey("/Name").getUTF8Value());
            if (value.getKey("/M").isString())
                report.claimedTime =
                    pdfDate(QString::fromStdString(value.getKey("/M").getUTF8Value()));

            // Two ranges, from the file's start to its value's hex string and from after it
            // to their end, within the file.
            QPDFObjectHandle ranges = value.getKey("/ByteRange");
            std::vector<qint64> r;
            for (int i = 0; ranges.isArray() && i < ranges.getArrayNItems() && i < 5; ++i)
                r.push_back(ranges.getArrayItem(i).isInteger()
                                ? ranges.getArrayItem(i).getIntValue()
                                : -1);
            report.rangesSound = r.size() == 4 && r[0] == 0 && r[1] > 0 && r[2] > r[1] &&
                                 r[3] >= 0 && r[2] - r[1] <= 4 * 1024 * 1024 &&
                                 r[2] + r[3] <= file.size;
            QByteArray der;
            if (report.rangesSound) {
                report.coveredBytes = r[2] + r[3];
                const QByteArray hole = file.read(r[1], r[2] - r[1]);
                report.rangesSound = hole.startsWith('<') && hole.endsWith('>');
                der = QByteArray::fromHex(hole.mid(1, hole.size() - 2));
            }
            for (size_t i = 0; i < ends.size(); ++i)
                if (ends[i] <= report.coveredBytes)
                    report.revision = int(i + 1);
            if (report.rangesSound) {
                const std::vector<std::pair<qint64, qint64>> covered{{0, r[1]}, {r[2], r[3]}};
                report.check =
                    report.type == SignatureReport::Type::DocumentTimeStamp
                        ? documentTimeStampCheck(der, [&](int nid) {
                              return digestOfRanges(file, OBJ_nid2sn(nid), covered);
                          })
                        : checkCms(
                              der,
                              [&](const char* algorithm) {
                                  return digestOfRanges(file, algorithm, covered);
                              },
                              true, report.claimedTime);
            }
            reports.push_back(report);
        }
        keptForLater(document.qpdf(), reports);
    } catch (const std::exception& e) {
        return document.failure(e);
    }
    std::stable_sort(reports.begin(), reports.end(), [](const auto& a, const auto& b) {
        return a.coveredBytes < b.coveredBytes;
    });
    return reports;
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
