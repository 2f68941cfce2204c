#pragma once

#include "secret.h"
#include "signerror.h"
#include "stamp.h"
#include "timestamp.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <variant>
#include <vector>

// Signatures that can still be checked once their certificates have expired or been revoked:
// what checking them needs, kept in the document (its Document Security Store), and a document
// time stamp over all of it.

// A certificate of a signature's chain whose status must be known, its issuer, and where the
// issuer says it answers for it: OCSP responders, then revocation lists.
struct CertificateStatus
{
    QByteArray certificate, issuer; // DER
    QString name;                   // the certificate's common name
    QStringList ocsp, crl;          // addresses
};

// The certificates of `signer`'s chain (all DER) whose status must be known: each but its root,
// its issuer found among `certificates`. Where an issuer is not there, the chain stops and
// `incomplete`'s detail names the certificate.
std::vector<CertificateStatus> chainStatuses(const QByteArray& signer,
                                            const std::vector<QByteArray>& certificates,
                                            SignError* incomplete);

// What the signatures of a document need to be checked later: every certificate they carry
// (their signers' chains and their time-stamping authorities'), and the statuses to ask for:
// those of each signer's chain but its root.
struct ValidationNeeds
{
    std::vector<QByteArray> certificates;
    std::vector<CertificateStatus> statuses;
};
std::variant<ValidationNeeds, SignError> validationNeeds(const QString& path,
                                                         const SecretBytes* password = nullptr);

// Fetches `url`: a POST of `body` as `contentType`, or where `body` is null a GET. The reply's
// body, or why not (SignError::Kind::RevocationUnreachable). Supplied by the programs: the core
// reaches no network.
using Fetch = std::function<std::variant<QByteArray, SignError>(
    const QString& url, const QByteArray& body, const QString& contentType)>;

// The certificates and revocation data that validate a document's signatures.
struct ValidationData
{
    std::vector<QByteArray> certificates, ocsps, crls;
};

// Whether `kept` holds an answer for `status`'s certificate that its issuer signed and that
// does not say it is revoked: its time is that of the signing, not now.
bool keptAnswer(const CertificateStatus& status, const ValidationData& kept);
// Whether `kept` holds an answer its issuer signed that says `status`'s certificate is revoked.
bool keptRevoked(const CertificateStatus& status, const ValidationData& kept);

// Each status of `needs` answered: by its OCSP responders, else its revocation lists, asked
// through `fetch`; or, where `offline` is given, by the OCSP responses and lists among those
// files alone. An answer counts once it is signed by the certificate's issuer (or a responder
// it names), current, and says the certificate is not revoked; otherwise why not.
std::variant<ValidationData, SignError> validationData(const ValidationNeeds& needs,
                                                       const Fetch& fetch,
                                                       const std::vector<QByteArray>* offline);

// The document at `path` with `data` added to its Document Security Store in an update of its
// own (what it held already kept), read back before it is handed out.
std::variant<SignedCopy, SignError> addValidationData(const QString& path,
                                                      const SecretBytes* password,
                                                      const ValidationData& data);

// The document at `path` with a document time stamp (ETSI.RFC3161) in an update of its own, over
// all of the document but its own value, asked of `transport` and checked before it counts.
std::variant<SignedCopy, SignError> addDocumentTimeStamp(const QString& path,
                                                         const SecretBytes* password,
                                                         const TimeStampTransport& transport);
