#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <variant>

// A signing identity from a PKCS#12 file: the private key, its certificate and the chain that
// came with it. Held in memory only, for as long as the signing takes.
class SigningIdentity
{
public:
    // The identity in `path`, opened with `password`; or, in a sentence, why it cannot sign: a
    // wrong password, no key, a key that is not the certificate's, a certificate out of date.
    static std::variant<std::shared_ptr<SigningIdentity>, QString> load(const QString& path,
                                                                        const QByteArray& password);
    ~SigningIdentity();
    SigningIdentity(const SigningIdentity&) = delete;
    SigningIdentity& operator=(const SigningIdentity&) = delete;

    // The certificate's common name, as a signature shows who signed.
    QString name() const;
    // A detached CMS signature, CAdES style (the signing certificate among the signed
    // attributes, no signing time), over content whose SHA-256 digest is `digest`: DER.
    std::variant<QByteArray, QString> sign(const QByteArray& digest) const;

private:
    SigningIdentity() = default;
    struct Keys;
    std::unique_ptr<Keys> keys_;
};

// The password for a PKCS#12 file: the first line of `file`, or where that is empty, asked on
// the terminal without showing it. None, with why, where neither can be had.
std::variant<QByteArray, QString> signingPassword(const QString& file);
