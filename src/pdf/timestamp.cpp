#include "timestamp.h"

#include "openssltypes.h"

#include <QCryptographicHash>

#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/ts.h>

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
};

Token readToken(PKCS7* token)
{
    Token out;
    out.info.reset(PKCS7_to_TS_TST_INFO(token));
    if (!out.info)
        return out;
    STACK_OF(X509)* signers = PKCS7_get0_signers(token, nullptr, 0);
    X509* authority = signers && sk_X509_num(signers) == 1 ? sk_X509_value(signers, 0) : nullptr;
    if (authority) {
        out.authority = commonName(X509_get_subject_name(authority));
        out.issuer = commonName(X509_get_issuer_name(authority));
        Owned<BIO, BIO_free_all> sink(BIO_new(BIO_s_null()));
        out.signedByAuthority =
            X509_check_purpose(authority, X509_PURPOSE_TIMESTAMP_SIGN, 0) == 1 &&
            PKCS7_verify(token, nullptr, nullptr, nullptr, sink.get(), PKCS7_NOVERIFY) == 1;
    }
    sk_X509_free(signers);
    ERR_clear_error();
    return out;
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
    const QByteArray& der, const std::function<std::optional<QByteArray>(int nid)>& digestOf)
{
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
    const ASN1_GENERALIZEDTIME* time = TS_TST_INFO_get_time(read.info.get());
    tm when{};
    if (time && ASN1_TIME_to_tm(time, &when))
        check.time = QDateTime(QDate(when.tm_year + 1900, when.tm_mon + 1, when.tm_mday),
                               QTime(when.tm_hour, when.tm_min, when.tm_sec), Qt::UTC);
    int nid = NID_undef;
    const QByteArray imprint = imprintOf(read.info.get(), &nid);
    const std::optional<QByteArray> ours = digestOf(nid);
    check.holds = read.signedByAuthority && ours && *ours == imprint;
    ERR_clear_error();
    return check;
}

TimeStampCheck checkTimeStamp(CMS_SignerInfo* signer)
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
    return checkTimeStampToken(bytesOf(value->value.sequence), [&](int nid) -> std::optional<QByteArray> {
        const EVP_MD* digest = EVP_get_digestbynid(nid);
        unsigned char ours[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (!digest || !EVP_Digest(signature.constData(), size_t(signature.size()), ours, &length, digest, nullptr))
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(ours), int(length));
    });
}
