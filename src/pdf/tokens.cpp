#include "tokens.h"

#include "openssltypes.h"
#include "signingidentity.h"
#include "signingkeys.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <dlfcn.h>

#include <libp11.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <map>
#include <optional>

namespace {

// p11-kit's proxy: every module registered on the system, one after another.
constexpr const char* ProxyModule = "p11-kit-proxy.so";
// NSS's own token, opened on the user's database, read only.
constexpr const char* NssModule = "libsoftokn3.so";
constexpr const char* NssToken = "NSS Certificate DB";

// What a source names: the module and its arguments, the token and the object in it.
struct Address
{
    QString module;
    QString initArgs;
    std::map<QString, QByteArray> attributes; // token, object, id, serial, manufacturer, model
};

QString nssFolder()
{
    return QDir::home().filePath(QStringLiteral(".pki/nssdb"));
}

std::optional<Address> addressOf(const QString& source)
{
    Address address;
    if (source.startsWith(QLatin1String("nss:"))) {
        address.module = QString::fromLatin1(NssModule);
        address.initArgs = QStringLiteral("configdir='sql:%1' certPrefix='' keyPrefix='' "
                                          "secmod='secmod.db' flags=readOnly")
                               .arg(nssFolder());
        address.attributes[QStringLiteral("token")] = NssToken;
        address.attributes[QStringLiteral("object")] = source.mid(4).toUtf8();
        return address;
    }
    if (!source.startsWith(QLatin1String("pkcs11:")))
        return std::nullopt;
    // RFC 7512: path attributes split by ';', query attributes after '?' by '&', each
    // percent-encoded.
    const QString rest = source.mid(7);
    const qsizetype query = rest.indexOf(u'?');
    for (const QString& part : rest.left(query).split(u';', Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(u'=');
        if (equals <= 0)
            return std::nullopt;
        address.attributes[part.left(equals)] =
            QByteArray::fromPercentEncoding(part.mid(equals + 1).toUtf8());
    }
    if (query >= 0)
        for (const QString& part : rest.mid(query + 1).split(u'&', Qt::SkipEmptyParts))
            if (part.startsWith(QLatin1String("module-path=")))
                address.module = QString::fromUtf8(QByteArray::fromPercentEncoding(part.mid(12).toUtf8()));
    if (address.module.isEmpty())
        address.module = QString::fromLatin1(ProxyModule);
    return address;
}

// A module loaded and its slots listed, for as long as a key from it is used.
struct Session
{
    PKCS11_CTX* context = nullptr;
    PKCS11_SLOT* slots = nullptr;
    unsigned int count = 0;
    ~Session()
    {
        if (slots)
            PKCS11_release_all_slots(context, slots, count);
        if (context) {
            PKCS11_CTX_unload(context);
            PKCS11_CTX_free(context);
        }
        ERR_clear_error();
    }
};

std::shared_ptr<Session> opened(const Address& address, QString* why)
{
    auto session = std::make_shared<Session>();
    session->context = PKCS11_CTX_new();
    if (!session->context) {
        *why = QStringLiteral("out of memory");
        return nullptr;
    }
    const QByteArray args = address.initArgs.toUtf8();
    if (!args.isEmpty())
        PKCS11_CTX_init_args(session->context, args.constData());
    // Tried first without a word: the loader's own complaint would come before ours.
    const QByteArray module = QFile::encodeName(address.module);
    if (void* loadable = ::dlopen(module.constData(), RTLD_NOW | RTLD_LOCAL)) {
        ::dlclose(loadable);
    } else {
        PKCS11_CTX_free(session->context);
        session->context = nullptr;
        *why = QStringLiteral("its PKCS#11 module %1 cannot be loaded").arg(address.module);
        return nullptr;
    }
    if (PKCS11_CTX_load(session->context, module.constData()) != 0) {
        PKCS11_CTX_free(session->context);
        session->context = nullptr;
        *why = QStringLiteral("its PKCS#11 module %1 cannot be loaded").arg(address.module);
        return nullptr;
    }
    if (PKCS11_enumerate_slots(session->context, &session->slots, &session->count) != 0) {
        *why = QStringLiteral("its PKCS#11 module lists no slots");
        return nullptr;
    }
    return session;
}

QByteArray fieldOf(const char* text)
{
    return text ? QByteArray(text).trimmed() : QByteArray();
}

bool tokenMatches(const PKCS11_TOKEN* token, const Address& address)
{
    const auto wanted = [&](const char* key, const char* value) {
        const auto it = address.attributes.find(QString::fromLatin1(key));
        return it == address.attributes.end() || it->second == fieldOf(value);
    };
    return token && token->initialized && wanted("token", token->label) &&
           wanted("serial", token->serialnr) && wanted("manufacturer", token->manufacturer) &&
           wanted("model", token->model);
}

bool certificateMatches(const PKCS11_CERT& certificate, const Address& address)
{
    const auto object = address.attributes.find(QStringLiteral("object"));
    const auto id = address.attributes.find(QStringLiteral("id"));
    return (object == address.attributes.end() || object->second == fieldOf(certificate.label)) &&
           (id == address.attributes.end() ||
            id->second == QByteArray(reinterpret_cast<const char*>(certificate.id),
                                     qsizetype(certificate.id_len)));
}

QString percentEncoded(const QByteArray& value)
{
    return QString::fromLatin1(value.toPercentEncoding());
}

SignError tokenError(SignError::Kind kind, const QString& source, const QString& detail = {})
{
    ERR_clear_error();
    SignError e{kind, source};
    e.detail = detail;
    return e;
}

void listFrom(const Address& address, const QString& prefix, std::vector<TokenCertificate>& into)
{
    QString why;
    const auto session = opened(address, &why);
    if (!session)
        return;
    for (unsigned int s = 0; s < session->count; ++s) {
        PKCS11_TOKEN* token = session->slots[s].token;
        // The system's trusted authorities, which p11-kit serves as tokens too, sign nothing.
        if (!tokenMatches(token, address) || fieldOf(token->model) == "p11-kit-trust")
            continue;
        PKCS11_CERT* certificates = nullptr;
        unsigned int count = 0;
        if (PKCS11_enumerate_certs(token, &certificates, &count) != 0)
            continue;
        for (unsigned int c = 0; c < count; ++c) {
            const PKCS11_CERT& certificate = certificates[c];
            // An authority's certificate kept beside the person's, which it issued, signs no
            // document.
            bool issuedAnother = false;
            for (unsigned int o = 0; o < count && certificate.x509 && !issuedAnother; ++o)
                issuedAnother = o != c && certificates[o].x509 &&
                                X509_check_issued(certificate.x509, certificates[o].x509) == X509_V_OK;
            if (!certificate.x509 || issuedAnother)
                continue;
            TokenCertificate listed;
            listed.token = QString::fromUtf8(fieldOf(token->label));
            const QByteArray label = fieldOf(certificate.label);
            listed.source =
                !prefix.isEmpty()
                    ? prefix + QString::fromUtf8(label)
                    : QStringLiteral("pkcs11:token=%1;serial=%2;object=%3;id=%4")
                              .arg(percentEncoded(fieldOf(token->label)),
                                   percentEncoded(fieldOf(token->serialnr)), percentEncoded(label),
                                   percentEncoded(QByteArray(reinterpret_cast<const char*>(certificate.id),
                                                             qsizetype(certificate.id_len)))) +
                          (address.module != QLatin1String(ProxyModule)
                               ? QStringLiteral("?module-path=%1")
                                     .arg(percentEncoded(QFile::encodeName(address.module)))
                               : QString());
            listed.name = commonName(X509_get_subject_name(certificate.x509));
            listed.issuer = commonName(X509_get_issuer_name(certificate.x509));
            listed.validFrom = asnTime(X509_get0_notBefore(certificate.x509));
            listed.validTo = asnTime(X509_get0_notAfter(certificate.x509));
            into.push_back(listed);
        }
    }
}

} // namespace

bool isTokenSource(const QString& source)
{
    return source.startsWith(QLatin1String("pkcs11:")) || source.startsWith(QLatin1String("nss:"));
}

std::vector<TokenCertificate> tokenCertificates()
{
    std::vector<TokenCertificate> all;
    listFrom(Address{QString::fromLatin1(ProxyModule), {}, {}}, {}, all);
    if (QFileInfo(QDir(nssFolder()).filePath(QStringLiteral("cert9.db"))).isFile())
        listFrom(*addressOf(QStringLiteral("nss:")), QStringLiteral("nss:"), all);
    return all;
}

std::variant<std::shared_ptr<SigningIdentity>, SignError>
SigningIdentity::fromToken(const QString& source, const SecretBytes& pin)
{
    using Kind = SignError::Kind;
    const std::optional<Address> address = addressOf(source);
    if (!address)
        return tokenError(Kind::IdentityUnreadable, source, QStringLiteral("not a pkcs11: URI"));
    if (source.startsWith(QLatin1String("nss:")) &&
        !QFileInfo(QDir(nssFolder()).filePath(QStringLiteral("cert9.db"))).isFile())
        return tokenError(Kind::IdentityUnreadable, source,
                          QStringLiteral("there is no NSS database in %1").arg(nssFolder()));
    QString why;
    std::shared_ptr<Session> session = opened(*address, &why);
    if (!session)
        return tokenError(Kind::IdentityUnreadable, source, why);
    PKCS11_SLOT* slot = nullptr;
    for (unsigned int s = 0; s < session->count && !slot; ++s)
        if (tokenMatches(session->slots[s].token, *address))
            slot = &session->slots[s];
    if (!slot)
        return tokenError(Kind::IdentityUnreadable, source, QStringLiteral("no such token is present"));
    PKCS11_TOKEN* token = slot->token;
    // A PIN, where the token asks for one, opens it for the signing, and nothing is kept.
    if (token->loginRequired) {
        const SecretText secret(pin);
        const int refused = PKCS11_login(slot, 0, secret.c_str());
        if (refused != 0)
            return tokenError(Kind::IdentityPassword, source);
    }
    PKCS11_CERT* certificates = nullptr;
    unsigned int count = 0;
    if (PKCS11_enumerate_certs(token, &certificates, &count) != 0)
        return tokenError(Kind::IdentityUnreadable, source, QStringLiteral("its certificates cannot be listed"));
    // A name two identities answer to names neither: which key signs is never chance.
    PKCS11_CERT* chosen = nullptr;
    QStringList matching;
    for (unsigned int c = 0; c < count; ++c)
        if (certificates[c].x509 && certificateMatches(certificates[c], *address)) {
            chosen = chosen ? chosen : &certificates[c];
            matching << QStringLiteral("\"%1\" (id %2)")
                            .arg(QString::fromUtf8(fieldOf(certificates[c].label)),
                                 QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(certificates[c].id),
                                                                qsizetype(certificates[c].id_len))
                                                         .toHex()));
        }
    if (!chosen)
        return tokenError(Kind::NoCertificate, source);
    if (matching.size() > 1) {
        matching.sort(); // in the order of their ids, whatever order the token lists them in
        return tokenError(Kind::AmbiguousIdentity, source, matching.join(QStringLiteral(", ")));
    }
    PKCS11_KEY* key = PKCS11_find_key(chosen);
    EVP_PKEY* privateKey = key ? PKCS11_get_private_key(key) : nullptr;
    if (!privateKey)
        return tokenError(Kind::NoPrivateKey, source);

    std::shared_ptr<SigningIdentity> identity(new SigningIdentity);
    identity->keys_ = std::make_unique<Keys>(Keys{session, Owned<EVP_PKEY, EVP_PKEY_free>(privateKey),
                                                  Owned<X509, X509_free>(X509_dup(chosen->x509)),
                                                  Owned<STACK_OF(X509), freeCertificates>(sk_X509_new_null()),
                                                  std::make_unique<std::mutex>()});
    // A key that asks for its PIN at every signature asks through us: never on a terminal
    // behind the program's back, never answered without the person.
    identity->keys_->pins = std::make_shared<PinSource>();
    identity->keys_->pinEachTime =
        asksEachTime(QFile::encodeName(address->module), fieldOf(token->label), fieldOf(token->serialnr),
                     QByteArray(reinterpret_cast<const char*>(key->id), qsizetype(key->id_len)));
    PKCS11_set_ui_method(session->context, pinMethod(), identity->keys_->pins.get());
    // The token's certificates that issued it go with it, as a file's chain does.
    X509* link = chosen->x509;
    for (int depth = 0; depth < 8 && X509_check_issued(link, link) != X509_V_OK; ++depth) {
        X509* issuer = nullptr;
        for (unsigned int c = 0; c < count && !issuer; ++c)
            if (certificates[c].x509 && certificates[c].x509 != link &&
                X509_check_issued(certificates[c].x509, link) == X509_V_OK)
                issuer = certificates[c].x509;
        if (!issuer)
            break;
        sk_X509_push(identity->keys_->chain.get(), X509_dup(issuer));
        link = issuer;
    }
    ERR_clear_error();
    if (auto problem = unusable(*identity->keys_, source))
        return *problem;
    return identity;
}

std::variant<std::shared_ptr<SigningIdentity>, SignError>
SigningIdentity::open(const QString& source, const SecretBytes& secret)
{
    return isTokenSource(source) ? fromToken(source, secret) : load(source, secret);
}
