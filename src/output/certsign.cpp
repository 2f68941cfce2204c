#include "certsign.h"

#include "base/regularfile.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

void freeChain(STACK_OF(X509)* chain)
{
    sk_X509_pop_free(chain, X509_free);
}

// The attributes stay the signer's: only the list goes.
void freeList(STACK_OF(X509_ATTRIBUTE)* list)
{
    sk_X509_ATTRIBUTE_free(list);
}

void freeBytes(unsigned char* bytes)
{
    OPENSSL_free(bytes);
}

} // namespace

struct SigningIdentity::Keys
{
    Owned<EVP_PKEY, EVP_PKEY_free> key;
    Owned<X509, X509_free> certificate;
    Owned<STACK_OF(X509), freeChain> chain;
};

SigningIdentity::~SigningIdentity() = default;

std::variant<std::shared_ptr<SigningIdentity>, QString>
SigningIdentity::load(const QString& path, const QByteArray& password)
{
    QString why;
    const std::optional<QByteArray> bytes = readRegularFile(path, 1 << 20, &why);
    if (!bytes)
        return QStringLiteral("cannot read %1: %2").arg(path, why);
    const auto* at = reinterpret_cast<const unsigned char*>(bytes->constData());
    Owned<PKCS12, PKCS12_free> p12(d2i_PKCS12(nullptr, &at, long(bytes->size())));
    if (!p12)
        return QStringLiteral("%1 is not a PKCS#12 file (.p12, .pfx)").arg(path);
    if (!PKCS12_verify_mac(p12.get(), password.constData(), int(password.size())))
        return QStringLiteral("the password does not open %1").arg(path);
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    if (!PKCS12_parse(p12.get(), password.constData(), &key, &certificate, &chain)) {
        ERR_clear_error();
        return QStringLiteral("%1 cannot be read with that password").arg(path);
    }
    std::shared_ptr<SigningIdentity> identity(new SigningIdentity);
    identity->keys_ = std::make_unique<Keys>(Keys{Owned<EVP_PKEY, EVP_PKEY_free>(key),
                                                  Owned<X509, X509_free>(certificate),
                                                  Owned<STACK_OF(X509), freeChain>(chain)});
    if (!key)
        return QStringLiteral("%1 holds no private key to sign with").arg(path);
    if (!certificate)
        return QStringLiteral("%1 holds no certificate").arg(path);
    if (!X509_check_private_key(certificate, key)) {
        ERR_clear_error();
        return QStringLiteral("the private key in %1 does not belong to its certificate")
            .arg(path);
    }
    const auto date = [](const ASN1_TIME* t) {
        struct tm when = {};
        ASN1_TIME_to_tm(t, &when);
        return QStringLiteral("%1-%2-%3")
            .arg(when.tm_year + 1900)
            .arg(when.tm_mon + 1, 2, 10, QLatin1Char('0'))
            .arg(when.tm_mday, 2, 10, QLatin1Char('0'));
    };
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) < 0)
        return QStringLiteral("the certificate in %1 expired on %2")
            .arg(path, date(X509_get0_notAfter(certificate)));
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) > 0)
        return QStringLiteral("the certificate in %1 is not valid before %2")
            .arg(path, date(X509_get0_notBefore(certificate)));
    return identity;
}

QString SigningIdentity::name() const
{
    char name[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(keys_->certificate.get()), NID_commonName,
                              name, sizeof name);
    return QString::fromUtf8(name);
}

std::variant<QByteArray, QString> SigningIdentity::sign(const QByteArray& digest) const
{
    const auto failed = [](const char* what) {
        ERR_clear_error();
        return QStringLiteral("the signature could not be made (%1)").arg(QLatin1String(what));
    };
    constexpr unsigned Flags = CMS_DETACHED | CMS_BINARY | CMS_NOSMIMECAP | CMS_PARTIAL;
    Owned<CMS_ContentInfo, CMS_ContentInfo_free> cms(
        CMS_sign(nullptr, nullptr, nullptr, nullptr, Flags));
    if (!cms)
        return failed("CMS");
    // The signing certificate goes among the signed attributes (CAdES); the signing time does
    // not: the document says when, in the signature's /M.
    CMS_SignerInfo* signer = CMS_add1_signer(cms.get(), keys_->certificate.get(), keys_->key.get(),
                                             EVP_sha256(), Flags | CMS_CADES);
    if (!signer)
        return failed("signer");
    for (int i = 0; keys_->chain && i < sk_X509_num(keys_->chain.get()); ++i)
        CMS_add1_cert(cms.get(), sk_X509_value(keys_->chain.get(), i));
    if (!CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                     OBJ_nid2obj(NID_pkcs7_data), -1) ||
        !CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING,
                                     digest.constData(), int(digest.size())))
        return failed("attributes");
    // The signature covers the signed attributes as a DER set.
    Owned<STACK_OF(X509_ATTRIBUTE), freeList> attributes(
        sk_X509_ATTRIBUTE_new_null());
    for (int i = 0; i < CMS_signed_get_attr_count(signer); ++i)
        sk_X509_ATTRIBUTE_push(attributes.get(), CMS_signed_get_attr(signer, i));
    unsigned char* der = nullptr;
    const int derLength = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(attributes.get()), &der,
                                        ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
    if (derLength <= 0)
        return failed("attributes' encoding");
    Owned<unsigned char, freeBytes> encoded(der);
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    size_t length = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, keys_->key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, der, size_t(derLength)) != 1)
        return failed("key");
    QByteArray signature(qsizetype(length), Qt::Uninitialized);
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       der, size_t(derLength)) != 1)
        return failed("signing");
    signature.truncate(qsizetype(length));
    ASN1_STRING_set(CMS_SignerInfo_get0_signature(signer), signature.constData(),
                    int(signature.size()));
    unsigned char* out = nullptr;
    const int outLength = i2d_CMS_ContentInfo(cms.get(), &out);
    if (outLength <= 0)
        return failed("encoding");
    QByteArray result(reinterpret_cast<const char*>(out), outLength);
    OPENSSL_free(out);
    return result;
}

std::variant<QByteArray, QString> signingPassword(const QString& file)
{
    if (!file.isEmpty()) {
        QString why;
        const std::optional<QByteArray> bytes = readRegularFile(file, 64 * 1024, &why);
        if (!bytes)
            return QStringLiteral("cannot read %1: %2").arg(file, why);
        QByteArray line = bytes->left(bytes->indexOf('\n') < 0 ? bytes->size()
                                                               : bytes->indexOf('\n'));
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return QStringLiteral("no terminal to ask the password on: give --password-file");
    std::fputs("Password for the signing identity: ", tty);
    std::fflush(tty);
    termios before = {};
    const bool quiet = ::tcgetattr(fileno(tty), &before) == 0;
    if (quiet) {
        termios hidden = before;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fileno(tty), TCSAFLUSH, &hidden);
    }
    QByteArray password;
    for (int c = std::fgetc(tty); c != EOF && c != '\n'; c = std::fgetc(tty))
        password += char(c);
    if (quiet)
        ::tcsetattr(fileno(tty), TCSAFLUSH, &before);
    std::fputs("\n", tty);
    std::fclose(tty);
    return password;
}
