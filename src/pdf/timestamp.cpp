#include "timestamp.h"

#include "openssltypes.h"

#include <QCryptographicHash>

#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/ts.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace {

SignError timeStampError(SignError::Kind kind, const QString& detail = {})
{
    ERR_clear_error();
    SignError e{kind};
    e.detail = detail;
    return e;
}

QByteArray bytesOf(const ASN1_STRING* s)
{
    return s ? QByteArray(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)), ASN1_STRING_length(s))
             : QByteArray();
}

// The token's content, and whether its signature is its signer's and that signer a
// time-stamping authority's certificate (its one extended key usage, critical).
struct Token
{
    Owned<TS_TST_INFO, TS_TST_INFO_free> info;
    bool signedByAuthority = false;
    QString authority, issuer;
    Owned<X509, X509_free> certificate; // the authority's
    QDateTime time;
};

Token readToken(PKCS7* token)
{
    Token out;
    out.info.reset(PKCS7_to_TS_TST_INFO(token));
    if (!out.info)
        return out;
    out.time = asnTime(TS_TST_INFO_get_time(out.info.get()));
    STACK_OF(X509)* signers = PKCS7_get0_signers(token, nullptr, 0);
    X509* authority = signers && sk_X509_num(signers) == 1 ? sk_X509_value(signers, 0) : nullptr;
    if (authority) {
        out.authority = commonName(X509_get_subject_name(authority));
        out.issuer = commonName(X509_get_issuer_name(authority));
        out.certificate.reset(X509_dup(authority));
        Owned<BIO, BIO_free_all> sink(BIO_new(BIO_s_null()));
        out.signedByAuthority =
            X509_check_purpose(authority, X509_PURPOSE_TIMESTAMP_SIGN, 0) == 1 &&
            PKCS7_verify(token, nullptr, nullptr, nullptr, sink.get(), PKCS7_NOVERIFY) == 1;
    }
    sk_X509_free(signers);
    ERR_clear_error();
    return out;
}

// What is wrong with the authority of a token that its signature holds for, at the time the
// token gives: none where nothing is.
TimeStampCheck::Fault authorityFault(const Token& token)
{
    using F = TimeStampCheck::Fault;
    X509* authority = token.certificate.get();
    if (!token.signedByAuthority || !authority)
        return F::NotAuthority;
    if (X509_get_extension_flags(authority) & EXFLAG_SS)
        return F::SelfSigned;
    if (!token.time.isValid())
        return F::Unreadable;
    const time_t at = time_t(token.time.toSecsSinceEpoch());
    if (X509_cmp_time(X509_get0_notBefore(authority), const_cast<time_t*>(&at)) > 0 ||
        X509_cmp_time(X509_get0_notAfter(authority), const_cast<time_t*>(&at)) < 0)
        return F::AuthorityNotValid;
    // A few minutes' difference between clocks is no time to come.
    if (token.time > QDateTime::currentDateTimeUtc().addSecs(5 * 60))
        return F::InFuture;
    return F::None;
}

bool authorityTrusted(const Token& token, PKCS7* pkcs7, X509_STORE* store)
{
    if (!store || !token.certificate || !token.time.isValid())
        return false;
    Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
    STACK_OF(X509)* carried = pkcs7 && PKCS7_type_is_signed(pkcs7) ? pkcs7->d.sign->cert : nullptr;
    if (!context || X509_STORE_CTX_init(context.get(), store, token.certificate.get(), carried) != 1)
        return false;
    X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(context.get()),
                               time_t(token.time.toSecsSinceEpoch()));
    const bool trusted = X509_verify_cert(context.get()) == 1;
    ERR_clear_error();
    return trusted;
}

QByteArray imprintOf(const TS_TST_INFO* info, int* nid)
{
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(const_cast<TS_TST_INFO*>(info));
    X509_ALGOR* algorithm = imprint ? TS_MSG_IMPRINT_get_algo(imprint) : nullptr;
    *nid = algorithm ? OBJ_obj2nid(algorithm->algorithm) : NID_undef;
    return imprint ? bytesOf(TS_MSG_IMPRINT_get_msg(imprint)) : QByteArray();
}

} // namespace

std::variant<QByteArray, SignError> requestTimeStamp(const QByteArray& imprint,
                                                     const TimeStampTransport& transport)
{
    using K = SignError::Kind;
    // The request: the imprint, a nonce of 64 random bits, the authority's certificate asked for.
    Owned<TS_REQ, TS_REQ_free> request(TS_REQ_new());
    Owned<TS_MSG_IMPRINT, TS_MSG_IMPRINT_free> message(TS_MSG_IMPRINT_new());
    Owned<X509_ALGOR, X509_ALGOR_free> algorithm(X509_ALGOR_new());
    Owned<BIGNUM, BN_free> random(BN_new());
    if (!request || !message || !algorithm || !random ||
        !X509_ALGOR_set0(algorithm.get(), OBJ_nid2obj(NID_sha256), V_ASN1_NULL, nullptr) ||
        !TS_MSG_IMPRINT_set_algo(message.get(), algorithm.get()) ||
        !TS_MSG_IMPRINT_set_msg(message.get(),
                                reinterpret_cast<unsigned char*>(const_cast<char*>(imprint.constData())),
                                int(imprint.size())) ||
        !TS_REQ_set_version(request.get(), 1) || !TS_REQ_set_msg_imprint(request.get(), message.get()) ||
        !BN_rand(random.get(), 64, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !TS_REQ_set_cert_req(request.get(), 1))
        return timeStampError(K::SigningFailed, QStringLiteral("time-stamp request"));
    Owned<ASN1_INTEGER, ASN1_INTEGER_free> nonce(BN_to_ASN1_INTEGER(random.get(), nullptr));
    if (!nonce || !TS_REQ_set_nonce(request.get(), nonce.get()))
        return timeStampError(K::SigningFailed, QStringLiteral("time-stamp request"));
    unsigned char* requestDer = nullptr;
    const int requestLength = i2d_TS_REQ(request.get(), &requestDer);
    if (requestLength <= 0)
        return timeStampError(K::SigningFailed, QStringLiteral("time-stamp request"));
    const QByteArray asked(reinterpret_cast<const char*>(requestDer), requestLength);
    OPENSSL_free(requestDer);

    const auto answered = transport(asked);
    if (const SignError* why = std::get_if<SignError>(&answered))
        return *why;
    const QByteArray& reply = std::get<QByteArray>(answered);
    const auto* r = reinterpret_cast<const unsigned char*>(reply.constData());
    Owned<TS_RESP, TS_RESP_free> response(d2i_TS_RESP(nullptr, &r, long(reply.size())));
    if (!response)
        return timeStampError(K::TimeStampUnreadable);
    TS_STATUS_INFO* status = TS_RESP_get_status_info(response.get());
    const long granted = status ? ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(status)) : -1;
    if (granted != 0 && granted != 1) {
        QStringList said;
        const STACK_OF(ASN1_UTF8STRING)* text = status ? TS_STATUS_INFO_get0_text(status) : nullptr;
        for (int i = 0; text && i < sk_ASN1_UTF8STRING_num(text); ++i)
            said << QString::fromUtf8(bytesOf(sk_ASN1_UTF8STRING_value(text, i)));
        return timeStampError(K::TimeStampRefused, said.join(QLatin1Char(' ')).left(200));
    }
    PKCS7* token = TS_RESP_get_token(response.get());
    if (!token)
        return timeStampError(K::TimeStampUnreadable);
    const Token read = readToken(token);
    if (!read.info)
        return timeStampError(K::TimeStampUnreadable);
    int nid = NID_undef;
    const ASN1_INTEGER* answeredNonce = TS_TST_INFO_get_nonce(read.info.get());
    if (!answeredNonce || ASN1_INTEGER_cmp(answeredNonce, nonce.get()) != 0 ||
        imprintOf(read.info.get(), &nid) != imprint || nid != NID_sha256)
        return timeStampError(K::TimeStampMismatch);
    if (!read.signedByAuthority)
        return timeStampError(K::TimeStampNotTrusted, read.authority);
    // An authority that vouches for itself, or was not valid then, vouches for no time; nor is
    // a time asked for now hours away from now.
    switch (authorityFault(read)) {
    case TimeStampCheck::Fault::None:
        break;
    case TimeStampCheck::Fault::SelfSigned:
        return timeStampError(K::TimeStampSelfSigned, read.authority);
    case TimeStampCheck::Fault::AuthorityNotValid: {
        SignError e = timeStampError(K::TimeStampAuthorityNotValid, read.authority);
        e.field2 = read.time.toString(Qt::ISODate);
        return e;
    }
    default: {
        SignError e = timeStampError(K::TimeStampTimeOff, read.time.toString(Qt::ISODate));
        return e;
    }
    }
    if (qAbs(read.time.secsTo(QDateTime::currentDateTimeUtc())) > 15 * 60)
        return timeStampError(K::TimeStampTimeOff, read.time.toString(Qt::ISODate));
    unsigned char* tokenDer = nullptr;
    const int tokenLength = i2d_PKCS7(token, &tokenDer);
    if (tokenLength <= 0)
        return timeStampError(K::TimeStampUnreadable);
    QByteArray der(reinterpret_cast<const char*>(tokenDer), tokenLength);
    OPENSSL_free(tokenDer);
    return der;
}

std::variant<QByteArray, SignError> addTimeStamp(const QByteArray& cms,
                                                 const TimeStampTransport& transport)
{
    using K = SignError::Kind;
    const auto* p = reinterpret_cast<const unsigned char*>(cms.constData());
    Owned<CMS_ContentInfo, CMS_ContentInfo_free> content(d2i_CMS_ContentInfo(nullptr, &p, long(cms.size())));
    STACK_OF(CMS_SignerInfo)* infos = content ? CMS_get0_SignerInfos(content.get()) : nullptr;
    if (!infos || sk_CMS_SignerInfo_num(infos) != 1)
        return timeStampError(K::SigningFailed, QStringLiteral("time stamp"));
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(infos, 0);
    const QByteArray imprint = QCryptographicHash::hash(
        bytesOf(CMS_SignerInfo_get0_signature(signer)), QCryptographicHash::Sha256);
    const auto token = requestTimeStamp(imprint, transport);
    if (const SignError* why = std::get_if<SignError>(&token))
        return *why;
    const QByteArray& der = std::get<QByteArray>(token);
    // A time before the signer's certificate was valid is no time it could have signed at.
    X509* certificate = nullptr;
    CMS_set1_signers_certs(content.get(), nullptr, 0);
    CMS_SignerInfo_get0_algs(signer, nullptr, &certificate, nullptr, nullptr);
    const TimeStampCheck checked = checkTimeStampToken(
        der, [&](int) { return std::optional<QByteArray>(imprint); }, nullptr,
        certificate ? asnTime(X509_get0_notBefore(certificate)) : QDateTime());
    if (checked.fault == TimeStampCheck::Fault::BeforeCertificate) {
        SignError e = timeStampError(K::TimeStampBeforeCertificate, checked.time.toString(Qt::ISODate));
        e.field2 = asnTime(X509_get0_notBefore(certificate)).toString(Qt::ISODate);
        return e;
    }
    if (!CMS_unsigned_add1_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, V_ASN1_SEQUENCE,
                                       der.constData(), int(der.size())))
        return timeStampError(K::SigningFailed, QStringLiteral("time stamp"));
    unsigned char* out = nullptr;
    const int outLength = i2d_CMS_ContentInfo(content.get(), &out);
    if (outLength <= 0)
        return timeStampError(K::SigningFailed, QStringLiteral("time stamp"));
    QByteArray stamped(reinterpret_cast<const char*>(out), outLength);
    OPENSSL_free(out);
    return stamped;
}

TimeStampCheck checkTimeStampToken(
    const QByteArray& der, const std::function<std::optional<QByteArray>(int nid)>& digestOf,
    X509_STORE* store, const QDateTime& notBefore)
{
    using F = TimeStampCheck::Fault;
    TimeStampCheck check;
    check.present = true;
    const auto* p = reinterpret_cast<const unsigned char*>(der.constData());
    Owned<PKCS7, PKCS7_free> token(d2i_PKCS7(nullptr, &p, long(der.size())));
    if (!token)
        return check;
    const Token read = readToken(token.get());
    if (!read.info)
        return check;
    check.authority = read.authority;
    check.issuer = read.issuer;
    check.time = read.time;
    int nid = NID_undef;
    const QByteArray imprint = imprintOf(read.info.get(), &nid);
    const std::optional<QByteArray> ours = digestOf(nid);
    check.fault = !ours || *ours != imprint ? F::NotOver : authorityFault(read);
    if (check.fault == F::None && notBefore.isValid() && check.time < notBefore)
        check.fault = F::BeforeCertificate;
    check.holds = check.fault == F::None;
    check.trusted = check.holds && authorityTrusted(read, token.get(), store);
    ERR_clear_error();
    return check;
}

TimeStampCheck checkTimeStamp(CMS_SignerInfo* signer, X509_STORE* store, X509* certificate)
{
    const int at = CMS_unsigned_get_attr_by_NID(signer, NID_id_smime_aa_timeStampToken, -1);
    if (at < 0)
        return {};
    X509_ATTRIBUTE* attribute = CMS_unsigned_get_attr(signer, at);
    ASN1_TYPE* value = attribute ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
    if (!value || value->type != V_ASN1_SEQUENCE) {
        TimeStampCheck unreadable;
        unreadable.present = true;
        return unreadable;
    }
    const QByteArray signature = bytesOf(CMS_SignerInfo_get0_signature(signer));
    return checkTimeStampToken(
        bytesOf(value->value.sequence),
        [&](int nid) -> std::optional<QByteArray> {
            const EVP_MD* digest = EVP_get_digestbynid(nid);
            unsigned char ours[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            if (!digest || !EVP_Digest(signature.constData(), size_t(signature.size()), ours,
                                       &length, digest, nullptr))
                return std::nullopt;
            return QByteArray(reinterpret_cast<const char*>(ours), int(length));
        },
        store, certificate ? asnTime(X509_get0_notBefore(certificate)) : QDateTime());
}
