#include "longterm.h"

#include "annotations.h"
#include "base/regularfile.h"
#include "formfields.h"
#include "incrementalupdate.h"
#include "opendocument.h"
#include "openssltypes.h"
#include "revision.h"
#include "signingpolicy.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/ocsp.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509v3.h>

#include <algorithm>

namespace {

// A document time stamp's token, its authority's certificates with it, takes a few kilobytes.
constexpr qsizetype DocumentTimeStampRoom = 20 * 1024;
// An OCSP response or a revocation list larger than this is no answer for one certificate.
constexpr qsizetype LargestAnswer = 8 * 1024 * 1024;

Owned<X509, X509_free> certificateOf(const QByteArray& der)
{
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    return Owned<X509, X509_free>(d2i_X509(nullptr, &p, long(der.size())));
}

void addCertificates(STACK_OF(X509)* from, std::vector<QByteArray>& to)
{
    for (int i = 0; from && i < sk_X509_num(from); ++i) {
        const QByteArray der = certificateDer(sk_X509_value(from, i));
        if (!der.isEmpty() && std::find(to.begin(), to.end(), der) == to.end())
            to.push_back(der);
    }
}

// The certificates a time-stamp token (PKCS#7 SignedData, DER) carries.
void addTokenCertificates(const QByteArray& token, std::vector<QByteArray>& to)
{
    const auto* p = reinterpret_cast<const unsigned char*>(token.constData());
    Owned<PKCS7, PKCS7_free> signedData(d2i_PKCS7(nullptr, &p, long(token.size())));
    if (signedData && PKCS7_type_is_signed(signedData.get()))
        addCertificates(signedData->d.sign->cert, to);
}

QStringList ocspAddresses(X509* certificate)
{
    QStringList out;
    STACK_OF(OPENSSL_STRING)* list = X509_get1_ocsp(certificate);
    for (int i = 0; list && i < sk_OPENSSL_STRING_num(list); ++i)
        out << QString::fromUtf8(sk_OPENSSL_STRING_value(list, i));
    X509_email_free(list);
    return out;
}

QStringList crlAddresses(X509* certificate)
{
    QStringList out;
    auto* points = static_cast<STACK_OF(DIST_POINT)*>(
        X509_get_ext_d2i(certificate, NID_crl_distribution_points, nullptr, nullptr));
    for (int i = 0; points && i < sk_DIST_POINT_num(points); ++i) {
        DIST_POINT* point = sk_DIST_POINT_value(points, i);
        if (!point->distpoint || point->distpoint->type != 0)
            continue;
        GENERAL_NAMES* names = point->distpoint->name.fullname;
        for (int j = 0; j < sk_GENERAL_NAME_num(names); ++j) {
            GENERAL_NAME* name = sk_GENERAL_NAME_value(names, j);
            if (name->type == GEN_URI)
                out << QString::fromUtf8(reinterpret_cast<const char*>(
                                             ASN1_STRING_get0_data(name->d.uniformResourceIdentifier)),
                                         ASN1_STRING_length(name->d.uniformResourceIdentifier));
        }
    }
    sk_DIST_POINT_pop_free(points, DIST_POINT_free);
    return out;
}

SignError statusError(SignError::Kind kind, const CertificateStatus& status, const QString& why = {})
{
    ERR_clear_error();
    SignError e{kind};
    e.detail = status.name;
    e.field2 = why;
    return e;
}

// Whether an OCSP response answers for `status`'s certificate: successful, signed by its issuer
// or a responder the issuer made for it, good, and where `current`, current. `request`, where
// it was asked for now, is the request whose nonce it must carry if it carries one.
std::optional<SignError> checkOcsp(const QByteArray& der, const CertificateStatus& status,
                                   OCSP_REQUEST* request, bool current = true)
{
    using K = SignError::Kind;
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    Owned<OCSP_RESPONSE, OCSP_RESPONSE_free> response(d2i_OCSP_RESPONSE(nullptr, &p, long(der.size())));
    if (!response)
        return statusError(K::RevocationUnusable, status, QStringLiteral("not an OCSP response"));
    if (OCSP_response_status(response.get()) != OCSP_RESPONSE_STATUS_SUCCESSFUL)
        return statusError(K::RevocationUnusable, status,
                           QStringLiteral("the responder answered \"%1\"")
                               .arg(QString::fromLatin1(OCSP_response_status_str(
                                   OCSP_response_status(response.get())))));
    Owned<OCSP_BASICRESP, OCSP_BASICRESP_free> basic(OCSP_response_get1_basic(response.get()));
    const auto certificate = certificateOf(status.certificate);
    const auto issuer = certificateOf(status.issuer);
    if (!basic || !certificate || !issuer)
        return statusError(K::RevocationUnusable, status, QStringLiteral("not an OCSP response"));
    if (request && OCSP_check_nonce(request, basic.get()) == 0)
        return statusError(K::RevocationUnusable, status, QStringLiteral("an answer to another request"));
    // The issuer is the anchor: the responder is it, or a certificate it issued for answering.
    Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
    Owned<STACK_OF(X509), freeCertificates> others(sk_X509_new_null());
    if (!store || !others || X509_STORE_add_cert(store.get(), issuer.get()) != 1 ||
        !sk_X509_push(others.get(), X509_dup(issuer.get())))
        return statusError(K::RevocationUnusable, status, QStringLiteral("out of memory"));
    X509_STORE_set_flags(store.get(), X509_V_FLAG_PARTIAL_CHAIN);
    if (OCSP_basic_verify(basic.get(), others.get(), store.get(), 0) != 1)
        return statusError(K::RevocationUnusable, status,
                           QStringLiteral("the answer is not signed by the certificate's issuer"));
    Owned<OCSP_CERTID, OCSP_CERTID_free> id(OCSP_cert_to_id(EVP_sha1(), certificate.get(), issuer.get()));
    int state = -1, reason = -1;
    ASN1_GENERALIZEDTIME *revoked = nullptr, *thisUpdate = nullptr, *nextUpdate = nullptr;
    if (!id || OCSP_resp_find_status(basic.get(), id.get(), &state, &reason, &revoked, &thisUpdate,
                                     &nextUpdate) != 1)
        return statusError(K::RevocationUnusable, status,
                           QStringLiteral("the answer is not about this certificate"));
    if (state == V_OCSP_CERTSTATUS_REVOKED)
        return statusError(K::CertificateRevoked, status);
    if (state != V_OCSP_CERTSTATUS_GOOD)
        return statusError(K::RevocationUnusable, status,
                           QStringLiteral("the responder does not know the certificate"));
    // Current: its next update still to come, or where it names none, made within a day.
    if (current && OCSP_check_validity(thisUpdate, nextUpdate, 300, nextUpdate ? -1 : 86400) != 1)
        return statusError(K::RevocationOutOfDate, status);
    ERR_clear_error();
    return std::nullopt;
}

// Whether a revocation list (DER or PEM) answers for `status`'s certificate: its issuer's,
// signed by it, not listing the certificate, and where `current`, current.
std::optional<SignError> checkCrl(const QByteArray& bytes, const CertificateStatus& status,
                                  bool current = true)
{
    using K = SignError::Kind;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    Owned<X509_CRL, X509_CRL_free> crl(d2i_X509_CRL(nullptr, &p, long(bytes.size())));
    if (!crl) {
        Owned<BIO, BIO_free_all> in(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
        crl.reset(PEM_read_bio_X509_CRL(in.get(), nullptr, nullptr, nullptr));
    }
    const auto certificate = certificateOf(status.certificate);
    const auto issuer = certificateOf(status.issuer);
    if (!crl || !certificate || !issuer)
        return statusError(K::RevocationUnusable, status, QStringLiteral("not a revocation list"));
    EVP_PKEY* key = X509_get0_pubkey(issuer.get());
    if (X509_NAME_cmp(X509_CRL_get_issuer(crl.get()), X509_get_subject_name(issuer.get())) != 0 ||
        !key || X509_CRL_verify(crl.get(), key) != 1)
        return statusError(K::RevocationUnusable, status,
                           QStringLiteral("the revocation list is not its issuer's"));
    const ASN1_TIME* next = X509_CRL_get0_nextUpdate(crl.get());
    time_t dayAgo = time(nullptr) - 86400;
    if (current && ((next && X509_cmp_current_time(next) < 0) ||
                    (!next && X509_cmp_time(X509_CRL_get0_lastUpdate(crl.get()), &dayAgo) < 0)))
        return statusError(K::RevocationOutOfDate, status);
    X509_REVOKED* listed = nullptr;
    if (X509_CRL_get0_by_cert(crl.get(), &listed, certificate.get()) == 1)
        return statusError(K::CertificateRevoked, status);
    ERR_clear_error();
    return std::nullopt;
}

QByteArray derOfCrl(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    Owned<X509_CRL, X509_CRL_free> crl(d2i_X509_CRL(nullptr, &p, long(bytes.size())));
    if (!crl) {
        Owned<BIO, BIO_free_all> in(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
        crl.reset(PEM_read_bio_X509_CRL(in.get(), nullptr, nullptr, nullptr));
    }
    unsigned char* der = nullptr;
    const int length = crl ? i2d_X509_CRL(crl.get(), &der) : 0;
    if (length <= 0)
        return {};
    QByteArray out(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return out;
}

// Opens the document for an update that adds `addition`, and where its author allows that,
// runs `change` with it.
template <typename Change>
std::variant<SignedCopy, SignError> updated(const QString& path, const SecretBytes* password,
                                            SigningPolicy::Addition addition, Change change)
{
    auto opened = OpenDocument::open(path, password, true);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    std::shared_ptr<OpenDocument> document =
        std::move(std::get<std::unique_ptr<OpenDocument>>(opened));
    try {
        QPDF& qpdf = document->qpdf();
        const Form form = readForm(qpdf, document->budget());
        if (auto refusal = SigningPolicy(qpdf, form, path).allows(addition))
            return *refusal;
        return change(*document);
    } catch (const std::exception& e) {
        return document->failure(e);
    }
}

} // namespace

std::vector<CertificateStatus> chainStatuses(const QByteArray& signer,
                                            const std::vector<QByteArray>& certificates,
                                            SignError* incomplete)
{
    std::vector<Owned<X509, X509_free>> all;
    for (const QByteArray& der : certificates)
        all.push_back(certificateOf(der));
    const auto issuerOf = [&all](X509* certificate) -> X509* {
        for (const auto& candidate : all)
            if (candidate && X509_check_issued(candidate.get(), certificate) == X509_V_OK)
                return candidate.get();
        return nullptr;
    };
    std::vector<CertificateStatus> statuses;
    auto owned = certificateOf(signer);
    X509* certificate = owned.get();
    for (int depth = 0; certificate && depth < 16; ++depth) {
        if (X509_check_issued(certificate, certificate) == X509_V_OK)
            break; // its root: trusted or not, nothing answers for it
        X509* issuer = issuerOf(certificate);
        CertificateStatus status;
        status.certificate = certificateDer(certificate);
        status.name = commonName(X509_get_subject_name(certificate));
        if (!issuer) {
            if (incomplete)
                incomplete->detail = status.name;
            break;
        }
        status.issuer = certificateDer(issuer);
        status.ocsp = ocspAddresses(certificate);
        status.crl = crlAddresses(certificate);
        statuses.push_back(std::move(status));
        certificate = issuer;
    }
    ERR_clear_error();
    return statuses;
}

bool keptAnswer(const CertificateStatus& status, const ValidationData& kept)
{
    return std::any_of(kept.ocsps.begin(), kept.ocsps.end(),
                       [&](const QByteArray& r) { return !checkOcsp(r, status, nullptr, false); }) ||
           std::any_of(kept.crls.begin(), kept.crls.end(),
                       [&](const QByteArray& c) { return !checkCrl(c, status, false); });
}

bool keptRevoked(const CertificateStatus& status, const ValidationData& kept)
{
    const auto revoked = [](const std::optional<SignError>& e) {
        return e && e->kind == SignError::Kind::CertificateRevoked;
    };
    return std::any_of(kept.ocsps.begin(), kept.ocsps.end(),
                       [&](const QByteArray& r) { return revoked(checkOcsp(r, status, nullptr, false)); }) ||
           std::any_of(kept.crls.begin(), kept.crls.end(),
                       [&](const QByteArray& c) { return revoked(checkCrl(c, status, false)); });
}

std::variant<ValidationNeeds, SignError> validationNeeds(const QString& path,
                                                         const SecretBytes* password)
{
    auto opened = OpenDocument::open(path, password);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    OpenDocument& document = *std::get<std::unique_ptr<OpenDocument>>(opened);
    ValidationNeeds needs;
    std::vector<QByteArray> signers; // each signature's own certificate
    try {
        const Form form = readForm(document.qpdf(), document.budget());
        for (const FormField& field : form.fields) {
            if (!field.isSigned())
                continue;
            QPDFObjectHandle value = QPDFObjectHandle(field.field).getKey("/V");
            QPDFObjectHandle contents = value.getKey("/Contents");
            if (!contents.isString())
                continue;
            const std::string bytes = contents.getStringValue();
            const QByteArray der(bytes.data(), qsizetype(bytes.size()));
            if (value.getKey("/Type").isNameAndEquals("/DocTimeStamp")) {
                addTokenCertificates(der, needs.certificates);
                continue;
            }
            const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
            Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(
                d2i_CMS_ContentInfo(nullptr, &p, long(der.size())));
            STACK_OF(CMS_SignerInfo)* infos = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
            if (!infos || sk_CMS_SignerInfo_num(infos) < 1)
                continue;
            Owned<STACK_OF(X509), freeCertificates> carried(CMS_get1_certs(cms.get()));
            addCertificates(carried.get(), needs.certificates);
            CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(infos, 0);
            CMS_set1_signers_certs(cms.get(), nullptr, 0);
            X509* own = nullptr;
            CMS_SignerInfo_get0_algs(signer, nullptr, &own, nullptr, nullptr);
            if (own)
                signers.push_back(certificateDer(own));
            const int at = CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1);
            ASN1_TYPE* token = at >= 0 ? X509_ATTRIBUTE_get0_type(CMS_unsigned_get_attr(signer, at), 0)
                                       : nullptr;
            if (token && token->type == V_ASN1_SEQUENCE)
                addTokenCertificates(
                    QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(token->value.sequence)),
                               ASN1_STRING_length(token->value.sequence)),
                    needs.certificates);
        }
    } catch (const std::exception& e) {
        return document.failure(e);
    }
    ERR_clear_error();
    if (signers.empty())
        return document.error(SignError::Kind::NoSignatures);

    for (const QByteArray& signer : signers) {
        SignError incomplete{SignError::Kind::ChainIncomplete};
        for (CertificateStatus& status : chainStatuses(signer, needs.certificates, &incomplete)) {
            const bool known = std::any_of(needs.statuses.begin(), needs.statuses.end(),
                                           [&](const auto& s) { return s.certificate == status.certificate; });
            if (!known)
                needs.statuses.push_back(std::move(status));
        }
        if (!incomplete.detail.isEmpty())
            return incomplete;
    }
    ERR_clear_error();
    return needs;
}

std::variant<ValidationData, SignError> validationData(const ValidationNeeds& needs,
                                                       const Fetch& fetch,
                                                       const std::vector<QByteArray>* offline)
{
    ValidationData data;
    data.certificates = needs.certificates;
    for (const CertificateStatus& status : needs.statuses) {
        std::optional<SignError> last;
        bool answered = false;
        if (offline) {
            // An answer for this certificate that is too old is said as such.
            std::optional<SignError> stale;
            for (const QByteArray& file : *offline) {
                last = checkOcsp(file, status, nullptr);
                if (last && last->kind == SignError::Kind::RevocationOutOfDate)
                    stale = last;
                if (!last) {
                    data.ocsps.push_back(file);
                    answered = true;
                    break;
                }
                if (last->kind == SignError::Kind::CertificateRevoked)
                    return *last;
                last = checkCrl(file, status);
                if (last && last->kind == SignError::Kind::RevocationOutOfDate)
                    stale = last;
                if (!last) {
                    data.crls.push_back(derOfCrl(file));
                    answered = true;
                    break;
                }
                if (last->kind == SignError::Kind::CertificateRevoked)
                    return *last;
            }
            if (!answered) {
                if (stale)
                    return *stale;
                SignError e = statusError(SignError::Kind::NoRevocationSource, status);
                e.count = 1;
                return e;
            }
            continue;
        }
        if (status.ocsp.isEmpty() && status.crl.isEmpty())
            return statusError(SignError::Kind::NoRevocationSource, status);
        const auto certificate = certificateOf(status.certificate);
        const auto issuer = certificateOf(status.issuer);
        for (const QString& url : status.ocsp) {
            Owned<OCSP_REQUEST, OCSP_REQUEST_free> request(OCSP_REQUEST_new());
            OCSP_CERTID* id = OCSP_cert_to_id(EVP_sha1(), certificate.get(), issuer.get());
            if (!request || !id || !OCSP_request_add0_id(request.get(), id) ||
                !OCSP_request_add1_nonce(request.get(), nullptr, -1))
                return statusError(SignError::Kind::RevocationUnusable, status,
                                   QStringLiteral("the request could not be made"));
            unsigned char* der = nullptr;
            const int length = i2d_OCSP_REQUEST(request.get(), &der);
            if (length <= 0)
                return statusError(SignError::Kind::RevocationUnusable, status,
                                   QStringLiteral("the request could not be made"));
            const QByteArray asked(reinterpret_cast<const char*>(der), length);
            OPENSSL_free(der);
            const auto reply = fetch(url, asked, QStringLiteral("application/ocsp-request"));
            if (const SignError* why = std::get_if<SignError>(&reply)) {
                last = *why;
                continue;
            }
            const QByteArray& response = std::get<QByteArray>(reply);
            last = response.size() > LargestAnswer
                       ? statusError(SignError::Kind::RevocationUnusable, status,
                                     QStringLiteral("an answer far too large"))
                       : checkOcsp(response, status, request.get());
            if (!last) {
                data.ocsps.push_back(response);
                answered = true;
                break;
            }
            if (last->kind == SignError::Kind::CertificateRevoked)
                return *last;
        }
        // What the responder said stays beside what the list says: a person needs both.
        std::optional<SignError> responder = last;
        for (int i = 0; !answered && i < status.crl.size(); ++i) {
            const auto reply = fetch(status.crl[i], QByteArray(), QString());
            if (const SignError* why = std::get_if<SignError>(&reply)) {
                last = *why;
                continue;
            }
            const QByteArray& list = std::get<QByteArray>(reply);
            last = checkCrl(list, status);
            if (!last) {
                data.crls.push_back(derOfCrl(list));
                answered = true;
            } else if (last->kind == SignError::Kind::CertificateRevoked) {
                return *last;
            }
        }
        if (!answered) {
            if (responder && !status.crl.isEmpty())
                last->before = std::make_shared<SignError>(*responder);
            return *last;
        }
    }
    return data;
}

std::variant<SignedCopy, SignError> addValidationData(const QString& path,
                                                      const SecretBytes* password,
                                                      const ValidationData& data)
{
    return updated(path, password, SigningPolicy::Addition::ValidationData,
                   [&](OpenDocument& document) -> std::variant<SignedCopy, SignError> {
        QPDF& qpdf = document.qpdf();
        const int pages = int(QPDFPageDocumentHelper(qpdf).getAllPages().size());
        IncrementalUpdate update(qpdf, *document.file(), document.highestReferenced());
        QPDFObjectHandle root = qpdf.getRoot();
        QPDFObjectHandle old = root.getKey("/DSS");
        QPDFObjectHandle dss = QPDFObjectHandle::newDictionary();
        // What the store held is kept, and each item once.
        const auto merged = [&](const char* key, const std::vector<QByteArray>& added) {
            QPDFObjectHandle list = QPDFObjectHandle::newArray();
            std::vector<std::string> held;
            QPDFObjectHandle before = old.isDictionary() ? old.getKey(key) : QPDFObjectHandle();
            for (int i = 0; before.isArray() && i < before.getArrayNItems(); ++i) {
                QPDFObjectHandle item = before.getArrayItem(i);
                if (!item.isStream())
                    continue;
                list.appendItem(item);
                const auto bytes = item.getStreamData(qpdf_dl_generalized);
                held.emplace_back(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
            }
            for (const QByteArray& bytes : added) {
                const std::string data = bytes.toStdString();
                if (std::find(held.begin(), held.end(), data) != held.end())
                    continue;
                held.push_back(data);
                list.appendItem(update.putStream(QPDFObjectHandle::newDictionary(), data));
            }
            if (list.getArrayNItems() > 0)
                dss.replaceKey(key, list);
        };
        merged("/Certs", data.certificates);
        merged("/OCSPs", data.ocsps);
        merged("/CRLs", data.crls);
        if (old.isDictionary() && old.getKey("/VRI").isDictionary())
            dss.replaceKey("/VRI", old.getKey("/VRI"));
        dss.replaceKey("/Type", QPDFObjectHandle::newName("/DSS"));
        root.replaceKey("/DSS", update.put(dss));
        update.add(root);
        SignedCopy copy;
        std::optional<SignatureSlot> none;
        if (auto failure = appendUpdate(document, update, copy, none))
            return *failure;
        if (auto failure = readBack(document, copy, pages, std::nullopt, {}))
            return *failure;
        return copy;
    });
}

std::variant<SignedCopy, SignError> addDocumentTimeStamp(const QString& path,
                                                         const SecretBytes* password,
                                                         const TimeStampTransport& transport)
{
    return updated(path, password, SigningPolicy::Addition::NewField,
                   [&](OpenDocument& document) -> std::variant<SignedCopy, SignError> {
        QPDF& qpdf = document.qpdf();
        if (document.headerOffset() > 0) {
            SignError e = document.error(SignError::Kind::BytesBeforeHeader);
            e.count = document.headerOffset();
            return e;
        }
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(qpdf).getAllPages();
        if (pages.empty())
            return document.error(SignError::Kind::NoPages);
        IncrementalUpdate update(qpdf, *document.file(), document.highestReferenced());
        QPDFObjectHandle value = update.putSignatureValue(
            QPDFObjectHandle::parse(
                "<< /Type /DocTimeStamp /Filter /Adobe.PPKLite /SubFilter /ETSI.RFC3161 >>"),
            DocumentTimeStampRoom);
        SignedCopy copy;
        copy.field = newHiddenSignatureField(qpdf, update, pages.front(), value, "DocTimeStamp");
        std::optional<SignatureSlot> slot;
        if (auto failure = appendUpdate(document, update, copy, slot))
            return *failure;
        const auto completed = completeSlot(
            copy, *slot, [&](const QByteArray& digest) -> std::variant<QByteArray, SignError> {
                auto token = requestTimeStamp(digest, transport);
                if (const SignError* why = std::get_if<SignError>(&token))
                    return *why;
                const QByteArray& der = std::get<QByteArray>(token);
                const TimeStampCheck check = checkTimeStampToken(der, [&](int nid) {
                    return nid == NID_sha256 ? std::optional(digest) : std::nullopt;
                });
                if (!check.holds) {
                    SignError e{SignError::Kind::SigningFailed};
                    e.detail = QStringLiteral("the document time stamp does not verify");
                    return e;
                }
                return der;
            });
        if (const SignError* why = std::get_if<SignError>(&completed))
            return *why;
        copy.signedPages.push_back({1, SignedHow::Certificate});
        if (auto failure = readBack(document, copy, int(pages.size()), value.getObjectID(),
                                    std::get<std::array<qint64, 4>>(completed)))
            return *failure;
        return copy;
    });
}
