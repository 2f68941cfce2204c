#pragma once

#include "timestamp.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

typedef struct x509_store_st X509_STORE;

// The certificates a signature's chain may end in: the system's, and those a person names.
// Made once for every signature a verification checks, when the first asks; the system's
// certificates are looked up by their names as a chain needs them, not all read first.
class TrustStore
{
public:
    // The system's trusted certificates and the PEM certificates of `extra`.
    explicit TrustStore(std::vector<QByteArray> extra = {});
    ~TrustStore();
    TrustStore(const TrustStore&) = delete;
    TrustStore& operator=(const TrustStore&) = delete;
    X509_STORE* get() const;

private:
    std::vector<QByteArray> extra_;
    mutable X509_STORE* store_ = nullptr;
};

// What a CMS signature says of itself, checked: whether the digest it signs is that of the
// content, whether its value verifies with its signer's key, and whether that key's certificate
// is one the system trusts, for signing, at the time the signature can be trusted to have
// been made.
struct CmsCheck
{
    enum class Trust {
        Trusted,
        SelfSigned,
        IssuerNotTrusted,
        NotChecked,
        NotForSigning,  // its key usage or extended key usage is for something else
        Expired,        // not valid at the trusted time (or now, without one)
        NotYetValid,
        Revoked,        // the document's own validation data says so
    };

    bool readable = false;         // a CMS signature with a signer
    bool digestMatches = false;    // the content is what was signed
    bool valueVerifies = false;    // the signature value is the signer's over what it signs
    bool signedAttributes = false; // it signs attributes (the digest among them), not the digest
    Trust trust = Trust::NotChecked;
    QString signer, issuer;        // the certificate's common names
    QDateTime signingTime;         // the signing-time attribute, where it has one
    QString digestName;            // "SHA256", …
    QString keyKind;               // "RSA", "EC", …
    int keyBits = 0;
    TimeStampCheck timeStamp;      // its time stamp, where it has one
    QByteArray certificate;        // the signer's, DER
    std::vector<QByteArray> certificates; // all it carries

    // Digests with known collisions: MD5 and older are broken for signatures; SHA-1 is said.
    bool brokenDigest() const;
    bool weakDigest() const;
    // RSA keys under 1024 bits are refused, under 2048 said.
    bool keyTooSmall() const { return keyKind == QLatin1String("RSA") && keyBits < 1024; }
    bool weakKey() const { return keyKind == QLatin1String("RSA") && keyBits < 2048; }
    // Its value verifies over what it covers, with cryptography that still counts.
    bool sound() const
    {
        return readable && digestMatches && valueVerifies && !brokenDigest() && !keyTooSmall();
    }
};

// `der` checked against the content: `digestOf` gives the content's digest by the algorithm the
// signature names (none where it cannot). With `store`, the signer's certificate is checked
// against it at the time its time stamp gives, or now. With `encapsulatedSha1`, the signature
// signs the SHA-1 digest of the content, carried inside it (adbe.pkcs7.sha1).
CmsCheck checkCms(const QByteArray& der,
                  const std::function<std::optional<QByteArray>(const char* algorithm)>& digestOf,
                  const TrustStore* store, bool encapsulatedSha1 = false);
