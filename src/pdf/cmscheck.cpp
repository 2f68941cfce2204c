#include "cmscheck.h"

#include "openssltypes.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstring>

namespace {

QByteArray bytesOf(const ASN1_STRING* s)
{
    return s ? QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                          ASN1_STRING_length(s))
             : QByteArray();
}

std::optional<QByteArray> digestOfBytes(const QByteArray& data, const EVP_MD* md)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!md || EVP_Digest(data.constData(), size_t(data.size()), out, &length, md, nullptr) != 1)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(out), int(length));
}

// A signature over a digest directly, as a signer without signed attributes makes one.
bool verifiesOverDigest(X509* certificate, const QByteArray& signature, const QByteArray& digest,
                        const EVP_MD* md)
{
    EVP_PKEY* key = X509_get0_pubkey(certificate);
    Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free> context(key ? EVP_PKEY_CTX_new(key, nullptr) : nullptr);
    return context && md && EVP_PKEY_verify_init(context.get()) == 1 &&
           EVP_PKEY_CTX_set_signature_md(context.get(), md) == 1 &&
           EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
                           size_t(signature.size()),
                           reinterpret_cast<const unsigned char*>(digest.constData()),
                           size_t(digest.size())) == 1;
}

// Whether the certificate may sign documents: its key usage, where it has one, allows
// signatures, and its extended key usage, where it has one, names a use a document signer has.
bool forSigning(X509* certificate)
{
    const uint32_t flags = X509_get_extension_flags(certificate);
    if ((flags & EXFLAG_KUSAGE) &&
        !(X509_get_key_usage(certificate) & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)))
        return false;
    if (!(flags & EXFLAG_XKUSAGE))
        return true;
    Owned<EXTENDED_KEY_USAGE, EXTENDED_KEY_USAGE_free> usages(static_cast<EXTENDED_KEY_USAGE*>(
        X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr)));
    static const char* const documentUses[] = {
        "2.5.29.37.0",             // any
        "1.3.6.1.5.5.7.3.4",       // e-mail protection
        "1.3.6.1.5.5.7.3.2",       // client authentication, which many personal certificates carry
        "1.3.6.1.5.5.7.3.36",      // document signing
        "1.3.6.1.4.1.311.10.3.12", // document signing, as Windows names it
        "1.2.840.113583.1.1.5",    // authentic documents, as PDF readers name it
    };
    for (int i = 0; usages && i < sk_ASN1_OBJECT_num(usages.get()); ++i) {
        char oid[80] = {};
        OBJ_obj2txt(oid, sizeof oid, sk_ASN1_OBJECT_value(usages.get(), i), 1);
        for (const char* use : documentUses)
            if (std::strcmp(oid, use) == 0)
                return true;
    }
    return false;
}

CmsCheck::Trust chainTrust(X509* certificate, STACK_OF(X509)* others, X509_STORE* store,
                           const QDateTime& at)
{
    using T = CmsCheck::Trust;
    if (!forSigning(certificate))
        return T::NotForSigning;
    const time_t t = time_t(at.toSecsSinceEpoch());
    if (X509_cmp_time(X509_get0_notBefore(certificate), const_cast<time_t*>(&t)) > 0)
        return T::NotYetValid;
    if (X509_cmp_time(X509_get0_notAfter(certificate), const_cast<time_t*>(&t)) < 0)
        return T::Expired;
    Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store, certificate, others) != 1)
        return T::NotChecked;
    X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()), t);
    if (X509_verify_cert(context.get()) == 1)
        return T::Trusted;
    switch (X509_STORE_CTX_get_error(context.get())) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return T::SelfSigned;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return T::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return T::NotYetValid;
    default:
        // A chain up to a root this system does not trust is its issuer's fault, not a
        // certificate that vouches for itself.
        return T::IssuerNotTrusted;
    }
}

} // namespace

TrustStore::TrustStore(std::vector<QByteArray> extra) : extra_(std::move(extra)) {}

X509_STORE* TrustStore::get() const
{
    if (store_)
        return store_;
    store_ = X509_STORE_new();
    if (!store_)
        return nullptr;
    // The system's folder of certificates filed by their names' hashes: read as asked for. Where
    // there is none, the bundle file of them all.
    X509_LOOKUP* folder = X509_STORE_add_lookup(store_, X509_LOOKUP_hash_dir());
    if (!folder || X509_LOOKUP_add_dir(folder, X509_get_default_cert_dir(), X509_FILETYPE_PEM) != 1)
        X509_STORE_set_default_paths(store_);
    for (const QByteArray& pem : extra_) {
        Owned<BIO, BIO_free_all> in(BIO_new_mem_buf(pem.constData(), int(pem.size())));
        while (X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr)) {
            X509_STORE_add_cert(store_, certificate);
            X509_free(certificate);
        }
    }
    ERR_clear_error();
    return store_;
}

TrustStore::~TrustStore()
{
    if (store_)
        X509_STORE_free(store_);
}

bool CmsCheck::brokenDigest() const
{
    return digestName == QLatin1String("MD5") || digestName == QLatin1String("MD4") ||
           digestName == QLatin1String("MD2");
}

bool CmsCheck::weakDigest() const
{
    return digestName == QLatin1String("SHA1");
}

CmsCheck checkCms(const QByteArray& der,
                  const std::function<std::optional<QByteArray>(const char*)>& digestOf,
                  const TrustStore* store, bool encapsulatedSha1)
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
    check.signedAttributes = CMS_signed_get_attr_count(si) > 0;
    const EVP_MD* md = nullptr;
    std::optional<QByteArray> digest;
    bool contentHolds = true;
    if (digestAlgorithm) {
        const char* name = OBJ_nid2sn(OBJ_obj2nid(digestAlgorithm->algorithm));
        check.digestName = QString::fromLatin1(name);
        md = EVP_get_digestbyname(name);
        if (encapsulatedSha1) {
            // What it signs is the SHA-1 digest of the document, carried inside it.
            ASN1_OCTET_STRING** content = CMS_get0_content(cms.get());
            const QByteArray carried = content && *content ? bytesOf(*content) : QByteArray();
            const auto sha1 = digestOf("SHA1");
            contentHolds = sha1 && !carried.isEmpty() && carried == *sha1;
            digest = digestOfBytes(carried, md);
        } else {
            digest = digestOf(name);
        }
    }
    if (check.signedAttributes) {
        const auto* signedDigest = static_cast<const ASN1_OCTET_STRING*>(CMS_signed_get0_data_by_OBJ(
            si, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
        check.digestMatches = contentHolds && signedDigest && digest && bytesOf(signedDigest) == *digest;
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
    if (EVP_PKEY* key = X509_get0_pubkey(certificate)) {
        const int id = EVP_PKEY_get_base_id(key);
        check.keyKind = id == EVP_PKEY_RSA || id == EVP_PKEY_RSA_PSS ? QStringLiteral("RSA")
                        : id == EVP_PKEY_EC                          ? QStringLiteral("EC")
                        : QString::fromLatin1(OBJ_nid2sn(id));
        check.keyBits = EVP_PKEY_get_bits(key);
    }
    Owned<STACK_OF(X509), freeCertificates> carried(CMS_get1_certs(cms.get()));
    for (int i = 0; carried && i < sk_X509_num(carried.get()); ++i)
        check.certificates.push_back(certificateDer(sk_X509_value(carried.get(), i)));
    check.issuer = commonName(X509_get_issuer_name(certificate));
    if (check.signedAttributes) {
        check.valueVerifies = CMS_SignerInfo_verify(si) == 1;
    } else {
        // Without signed attributes the value signs the digest itself: the two hold together.
        check.valueVerifies = contentHolds && digest &&
                              verifiesOverDigest(certificate, bytesOf(CMS_SignerInfo_get0_signature(si)),
                                                 *digest, md);
        check.digestMatches = check.valueVerifies;
    }
    check.timeStamp = checkTimeStamp(si, store ? store->get() : nullptr, certificate);
    if (store && store->get()) {
        const QDateTime at = check.timeStamp.holds ? check.timeStamp.time
                                                   : QDateTime::currentDateTimeUtc();
        check.trust = chainTrust(certificate, carried.get(), store->get(), at);
    }
    ERR_clear_error();
    return check;
}
