#include "signingidentity.h"

#include "signingkeys.h"

#include "base/regularfile.h"
#include "openssltypes.h"

#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdio>
#include <mutex>
#include <termios.h>
#include <unistd.h>

namespace {

// The attributes stay the signer's: only the list goes.
void freeList(STACK_OF(X509_ATTRIBUTE)* list)
{
    sk_X509_ATTRIBUTE_free(list);
}

void freeSafes(STACK_OF(PKCS7)* safes)
{
    sk_PKCS7_pop_free(safes, PKCS7_free);
}

void freeBags(STACK_OF(PKCS12_SAFEBAG)* bags)
{
    sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
}

SignError identityError(SignError::Kind kind, const QString& path, const QString& detail = {})
{
    SignError e{kind, path};
    e.detail = detail;
    return e;
}

// Files made by older tools encrypt their keys with RC2 or 3DES, which OpenSSL 3 keeps in its
// legacy provider: loaded beside the default one, which then no longer loads by itself.
void loadLegacyCiphers()
{
    // Unloaded at exit, before OpenSSL cleans up after itself, so that nothing is left behind.
    static const struct Providers
    {
        OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
        OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        ~Providers()
        {
            if (legacy)
                OSSL_PROVIDER_unload(legacy);
            if (standard)
                OSSL_PROVIDER_unload(standard);
        }
    } providers;
    ERR_clear_error();
}

bool macOpens(PKCS12* p12, const SecretBytes& password)
{
    if (PKCS12_verify_mac(p12, password.data(), password.size()))
        return true;
    // An empty password may have been taken as none when the file was made.
    return password.isEmpty() && PKCS12_verify_mac(p12, nullptr, 0);
}

// RSASSA-PSS with SHA-256, MGF1 with SHA-256 and a salt as long as the digest: what an RSA-PSS
// key signs with here, said in the SignerInfo so that a reader checks it as PSS.
bool setPssAlgorithm(X509_ALGOR* algorithm)
{
    Owned<RSA_PSS_PARAMS, RSA_PSS_PARAMS_free> pss(RSA_PSS_PARAMS_new());
    Owned<X509_ALGOR, X509_ALGOR_free> mgfHash(X509_ALGOR_new());
    if (!pss || !mgfHash)
        return false;
    pss->hashAlgorithm = X509_ALGOR_new();
    pss->maskGenAlgorithm = X509_ALGOR_new();
    pss->saltLength = ASN1_INTEGER_new();
    if (!pss->hashAlgorithm || !pss->maskGenAlgorithm || !pss->saltLength)
        return false;
    X509_ALGOR_set_md(pss->hashAlgorithm, EVP_sha256());
    X509_ALGOR_set_md(mgfHash.get(), EVP_sha256());
    ASN1_STRING* mgfParameters =
        ASN1_item_pack(mgfHash.get(), ASN1_ITEM_rptr(X509_ALGOR), nullptr);
    if (!mgfParameters)
        return false;
    if (X509_ALGOR_set0(pss->maskGenAlgorithm, OBJ_nid2obj(NID_mgf1), V_ASN1_SEQUENCE,
                        mgfParameters) != 1) {
        ASN1_STRING_free(mgfParameters);
        return false;
    }
    if (ASN1_INTEGER_set(pss->saltLength, 32) != 1)
        return false;
    ASN1_STRING* parameters = ASN1_item_pack(pss.get(), ASN1_ITEM_rptr(RSA_PSS_PARAMS), nullptr);
    return parameters &&
           X509_ALGOR_set0(algorithm, OBJ_nid2obj(NID_rsassaPss), V_ASN1_SEQUENCE, parameters);
}

// A file without a MAC, read bag by bag as PKCS12_parse would (which refuses such a file): the
// key, and the certificates, all in `chain`. False where its contents do not decrypt with the
// password.
bool parseWithoutMac(PKCS12* p12, const SecretBytes& password, EVP_PKEY** key,
                     STACK_OF(X509)** chain)
{
    Owned<STACK_OF(PKCS7), freeSafes> safes(PKCS12_unpack_authsafes(p12));
    if (!safes)
        return false;
    *chain = sk_X509_new_null();
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
        PKCS7* safe = sk_PKCS7_value(safes.get(), i);
        const int type = OBJ_obj2nid(safe->type);
        Owned<STACK_OF(PKCS12_SAFEBAG), freeBags> bags(
            type == NID_pkcs7_data        ? PKCS12_unpack_p7data(safe)
            : type == NID_pkcs7_encrypted ? PKCS12_unpack_p7encdata(safe, password.data(),
                                                                    password.size())
                                          : nullptr);
        if (!bags)
            return false;
        for (int j = 0; j < sk_PKCS12_SAFEBAG_num(bags.get()); ++j) {
            const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags.get(), j);
            switch (PKCS12_SAFEBAG_get_nid(bag)) {
            case NID_keyBag:
                if (!*key)
                    *key = EVP_PKCS82PKEY(PKCS12_SAFEBAG_get0_p8inf(bag));
                break;
            case NID_pkcs8ShroudedKeyBag:
                if (!*key) {
                    Owned<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free> info(
                        PKCS12_decrypt_skey(bag, password.data(), password.size()));
                    if (!info)
                        return false;
                    *key = EVP_PKCS82PKEY(info.get());
                }
                break;
            case NID_certBag:
                if (X509* certificate = PKCS12_SAFEBAG_get1_cert(bag);
                    certificate && sk_X509_push(*chain, certificate) <= 0) {
                    X509_free(certificate);
                    return false;
                }
                break;
            default:
                break;
            }
        }
    }
    return true;
}

} // namespace


SigningIdentity::~SigningIdentity() = default;

std::variant<std::shared_ptr<SigningIdentity>, SignError>
SigningIdentity::load(const QString& path, const SecretBytes& password)
{
    using Kind = SignError::Kind;
    QString why;
    const std::optional<QByteArray> bytes = readRegularFile(path, 1 << 20, &why);
    if (!bytes)
        return identityError(Kind::IdentityUnreadable, path, why);
    loadLegacyCiphers();
    const auto* at = reinterpret_cast<const unsigned char*>(bytes->constData());
    Owned<PKCS12, PKCS12_free> p12(d2i_PKCS12(nullptr, &at, long(bytes->size())));
    ERR_clear_error();
    if (!p12)
        return identityError(Kind::NotPkcs12, path);
    // A file without a MAC has nothing to check the password against but its contents.
    if (PKCS12_mac_present(p12.get()) && !macOpens(p12.get(), password)) {
        ERR_clear_error();
        return identityError(Kind::IdentityPassword, path);
    }
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed =
        !PKCS12_mac_present(p12.get())
            ? parseWithoutMac(p12.get(), password, &key, &chain)
            : PKCS12_parse(p12.get(), password.data(), &key, &certificate, &chain) ||
                  (password.isEmpty() &&
                   PKCS12_parse(p12.get(), nullptr, &key, &certificate, &chain));
    if (!parsed) {
        const unsigned long error = ERR_peek_last_error();
        ERR_clear_error();
        EVP_PKEY_free(key);
        freeCertificates(chain);
        // Without a MAC, a wrong password shows as contents that do not decrypt.
        if (!PKCS12_mac_present(p12.get()))
            return identityError(Kind::IdentityPassword, path);
        return identityError(Kind::IdentityCorrupt, path,
                             QString::fromLatin1(ERR_reason_error_string(error)));
    }
    std::shared_ptr<SigningIdentity> identity(new SigningIdentity);
    identity->keys_ = std::make_unique<Keys>(Keys{nullptr, Owned<EVP_PKEY, EVP_PKEY_free>(key),
                                                  Owned<X509, X509_free>(certificate),
                                                  Owned<STACK_OF(X509), freeCertificates>(chain)});
    Keys& keys = *identity->keys_;
    if (!key)
        return identityError(Kind::NoPrivateKey, path);
    // A key whose certificate was not marked as its own leaves every certificate in the chain:
    // its own is the one it opens.
    for (int i = 0; !keys.certificate && keys.chain && i < sk_X509_num(keys.chain.get()); ++i) {
        X509* candidate = sk_X509_value(keys.chain.get(), i);
        if (X509_check_private_key(candidate, key)) {
            keys.certificate.reset(sk_X509_delete(keys.chain.get(), i));
            break;
        }
    }
    ERR_clear_error();
    if (!keys.certificate)
        return identityError(keys.chain && sk_X509_num(keys.chain.get()) > 0 ? Kind::KeyMismatch
                                                                             : Kind::NoCertificate,
                             path);
    if (!X509_check_private_key(keys.certificate.get(), key)) {
        ERR_clear_error();
        return identityError(Kind::KeyMismatch, path);
    }
    if (auto why = unusable(keys, path))
        return *why;
    return identity;
}

std::optional<SignError> unusable(const SigningIdentity::Keys& keys, const QString& path)
{
    using Kind = SignError::Kind;
    // OpenSSL here makes no CMS signature with Edwards-curve keys.
    const int type = EVP_PKEY_get_base_id(keys.key.get());
    if (type == EVP_PKEY_ED25519 || type == EVP_PKEY_ED448)
        return identityError(Kind::UnsupportedKey, path,
                             type == EVP_PKEY_ED25519 ? QStringLiteral("Ed25519")
                                                      : QStringLiteral("Ed448"));
    const auto date = [](const ASN1_TIME* t) {
        return asnTime(t).date().toString(Qt::ISODate);
    };
    if (X509_cmp_current_time(X509_get0_notAfter(keys.certificate.get())) < 0)
        return identityError(Kind::CertificateExpired, path,
                             date(X509_get0_notAfter(keys.certificate.get())));
    if (X509_cmp_current_time(X509_get0_notBefore(keys.certificate.get())) > 0)
        return identityError(Kind::CertificateNotYetValid, path,
                             date(X509_get0_notBefore(keys.certificate.get())));
    return std::nullopt;
}

QString SigningIdentity::name() const
{
    return commonName(X509_get_subject_name(keys_->certificate.get()));
}

QString SigningIdentity::issuer() const
{
    return commonName(X509_get_issuer_name(keys_->certificate.get()));
}

QDateTime SigningIdentity::validFrom() const
{
    return asnTime(X509_get0_notBefore(keys_->certificate.get()));
}

QDateTime SigningIdentity::validTo() const
{
    return asnTime(X509_get0_notAfter(keys_->certificate.get()));
}

QByteArray SigningIdentity::certificate() const
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(keys_->certificate.get(), &der);
    if (length <= 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return bytes;
}

bool SigningIdentity::asksPinEachSignature() const
{
    return keys_->pinEachTime;
}

void SigningIdentity::setPinSource(std::function<std::optional<SecretBytes>()> ask) const
{
    if (!keys_->pins)
        return;
    const std::lock_guard<std::mutex> one(keys_->pins->lock);
    keys_->pins->ask = std::move(ask);
}

std::variant<QByteArray, SignError> SigningIdentity::sign(const QByteArray& digest) const
{
    const auto failed = [](const char* what) {
        ERR_clear_error();
        SignError e{SignError::Kind::SigningFailed};
        e.detail = QLatin1String(what);
        return e;
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
    // A chain certificate left out would leave the signature unchecked where it is not known.
    for (int i = 0; keys_->chain && i < sk_X509_num(keys_->chain.get()); ++i)
        if (CMS_add1_cert(cms.get(), sk_X509_value(keys_->chain.get(), i)) != 1)
            return failed("chain certificate");
    if (!CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                     OBJ_nid2obj(NID_pkcs7_data), -1) ||
        !CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING,
                                     digest.constData(), int(digest.size())))
        return failed("attributes");
    // The signature covers the signed attributes as a DER set.
    Owned<STACK_OF(X509_ATTRIBUTE), freeList> attributes(sk_X509_ATTRIBUTE_new_null());
    for (int i = 0; i < CMS_signed_get_attr_count(signer); ++i)
        if (!attributes || sk_X509_ATTRIBUTE_push(attributes.get(), CMS_signed_get_attr(signer, i)) <= 0)
            return failed("attributes");
    unsigned char* der = nullptr;
    const int derLength = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(attributes.get()), &der,
                                        ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
    if (derLength <= 0)
        return failed("attributes' encoding");
    Owned<unsigned char, freeBytes> encoded(der);
    // An RSA-PSS key signs only with PSS, and the SignerInfo must say so: CMS would call the
    // signature rsaEncryption, and no reader could check it.
    const bool pss = EVP_PKEY_get_base_id(keys_->key.get()) == EVP_PKEY_RSA_PSS;
    std::unique_lock<std::mutex> turn;
    if (keys_->oneAtATime)
        turn = std::unique_lock<std::mutex>(*keys_->oneAtATime);
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    EVP_PKEY_CTX* keyContext = nullptr;
    size_t length = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), &keyContext, EVP_sha256(), nullptr,
                           keys_->key.get()) != 1 ||
        (pss && (EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PSS_PADDING) != 1 ||
                 EVP_PKEY_CTX_set_rsa_mgf1_md(keyContext, EVP_sha256()) != 1 ||
                 EVP_PKEY_CTX_set_rsa_pss_saltlen(keyContext, 32) != 1)) ||
        EVP_DigestSign(context.get(), nullptr, &length, der, size_t(derLength)) != 1)
        return failed("key");
    QByteArray signature(qsizetype(length), Qt::Uninitialized);
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       der, size_t(derLength)) != 1) {
        // A key that asks for its PIN at each signature, its PIN not given or not right.
        if (keys_->pinEachTime) {
            ERR_clear_error();
            return SignError{SignError::Kind::IdentityPassword};
        }
        return failed("signing");
    }
    signature.truncate(qsizetype(length));
    if (pss) {
        X509_ALGOR* algorithm = nullptr;
        CMS_SignerInfo_get0_algs(signer, nullptr, nullptr, nullptr, &algorithm);
        if (!algorithm || !setPssAlgorithm(algorithm))
            return failed("PSS parameters");
    }
    if (ASN1_STRING_set(CMS_SignerInfo_get0_signature(signer), signature.constData(),
                        int(signature.size())) != 1)
        return failed("signature value");
    unsigned char* out = nullptr;
    const int outLength = i2d_CMS_ContentInfo(cms.get(), &out);
    if (outLength <= 0)
        return failed("encoding");
    QByteArray result(reinterpret_cast<const char*>(out), outLength);
    OPENSSL_free(out);
    return result;
}

std::variant<SecretBytes, SignError> signingPassword(const QString& file)
{
    if (!file.isEmpty()) {
        QString why;
        std::optional<QByteArray> bytes = readFileOrPipe(file, 64 * 1024, &why);
        if (!bytes)
            return identityError(SignError::Kind::PasswordUnreadable, file, why);
        SecretBytes all(std::move(*bytes));
        const QByteArray view = QByteArray::fromRawData(all.data(), all.size());
        qsizetype end = view.indexOf('\n');
        if (end < 0)
            end = view.size();
        if (end > 0 && view[end - 1] == '\r')
            --end;
        return SecretBytes(QByteArray(all.data(), end));
    }
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return SignError{SignError::Kind::NoPasswordSource};
    std::fputs("Password for the signing identity: ", tty);
    std::fflush(tty);
    termios before = {};
    const bool quiet = ::tcgetattr(fileno(tty), &before) == 0;
    if (quiet) {
        termios hidden = before;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(fileno(tty), TCSAFLUSH, &hidden);
    }
    // Read into a buffer of its own, room made once, so that no grown copy is left behind.
    QByteArray password(4096, '\0');
    int n = 0;
    for (int c = std::fgetc(tty); c != EOF && c != '\n' && n < password.size();
         c = std::fgetc(tty))
        password[n++] = char(c);
    if (quiet)
        ::tcsetattr(fileno(tty), TCSAFLUSH, &before);
    std::fputs("\n", tty);
    std::fclose(tty);
    SecretBytes secret(QByteArray(password.constData(), n));
    SecretBytes::wipe(password);
    return secret;
}
