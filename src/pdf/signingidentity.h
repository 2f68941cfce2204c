#pragma once

#include "secret.h"
#include "signerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

// A signing identity from a PKCS#12 file: the private key, its certificate and the chain that
// came with it. Held in memory only, for as long as the signing takes.
class SigningIdentity
{
public:
    // The identity in `path`, opened with `password`; or why it cannot sign: a wrong password,
    // no key, a key that is not the certificate's, a certificate out of date, a kind of key no
    // CMS signature can be made with here.
    static std::variant<std::shared_ptr<SigningIdentity>, SignError>
    load(const QString& path, const SecretBytes& password);
    ~SigningIdentity();
    SigningIdentity(const SigningIdentity&) = delete;
    SigningIdentity& operator=(const SigningIdentity&) = delete;

    // The certificate's common name, as a signature shows who signed; its issuer's; and the
    // time it is valid from and to.
    QString name() const;
    QString issuer() const;
    QDateTime validFrom() const;
    QDateTime validTo() const;
    // The certificate, DER.
    QByteArray certificate() const;

    // Whether its key asks for its PIN again at every signature (a token's key marked so), and
    // where that PIN then comes from: asked of the person each time; without it, each such
    // signature is refused.
    bool asksPinEachSignature() const;
    void setPinSource(std::function<std::optional<SecretBytes>()> ask) const;

    // A detached CMS signature, CAdES style (the signing certificate among the signed
    // attributes, no signing time), over content whose SHA-256 digest is `digest`: DER.
    std::variant<QByteArray, SignError> sign(const QByteArray& digest) const;

    // The identity of a certificate in a PKCS#11 token (an RFC 7512 pkcs11: URI naming its token
    // and object, and where the token's module is not p11-kit's, its module-path) or in an NSS
    // database (nss:NICKNAME, the user's database in ~/.pki/nssdb), unlocked with `pin`.
    static std::variant<std::shared_ptr<SigningIdentity>, SignError>
    fromToken(const QString& uri, const SecretBytes& pin);
    // A file's identity or a token's, by what `source` is.
    static std::variant<std::shared_ptr<SigningIdentity>, SignError>
    open(const QString& source, const SecretBytes& secret);

    struct Keys;

private:
    SigningIdentity() = default;
    std::unique_ptr<Keys> keys_;
};

// The password for a PKCS#12 file: the first line of `file` (a regular file or a pipe, such as
// bash's <(…)), or where no file is given, asked on the terminal without showing it.
std::variant<SecretBytes, SignError> signingPassword(const QString& file);
