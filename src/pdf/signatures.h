#pragma once

#include "secret.h"
#include "signerror.h"
#include "timestamp.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <variant>
#include <vector>

// What a CMS signature says of itself, checked: whether the digest it signs is that of the
// content, whether its value verifies with its signer's key, and whether that key's certificate
// is one the system trusts.
struct CmsCheck
{
    enum class Trust { Trusted, SelfSigned, IssuerNotTrusted, NotChecked };

    bool readable = false;         // a CMS signature with a signer
    bool digestMatches = false;    // the content is what was signed
    bool valueVerifies = false;    // the signature value is the signer's over what it signs
    Trust trust = Trust::NotChecked;
    QString signer, issuer;        // the certificate's common names
    QDateTime signingTime;         // the signing-time attribute, where it has one
    QString digestName;            // "SHA256", …
    TimeStampCheck timeStamp;      // its time stamp, where it has one
    QByteArray certificate;        // the signer's, DER
    std::vector<QByteArray> certificates; // all it carries
};

// `der` checked against the content: `digestOf` gives the content's digest by the algorithm the
// signature names (none where it cannot). With `trust`, the signer's certificate is checked
// against the system's store of trusted certificates at `when` (the signing time where none).
CmsCheck checkCms(const QByteArray& der,
                  const std::function<std::optional<QByteArray>(const char* algorithm)>& digestOf,
                  bool trust, const QDateTime& when = {});

// One signature of a document, as a person checking it needs to know it.
struct SignatureReport
{
    enum class Type { Approval, Certification, DocumentTimeStamp };

    QString field;        // the field it is the value of
    Type type = Type::Approval;
    int certifiedP = 0;   // a certification's DocMDP permission
    QString subFilter;    // how it is encoded: ETSI.CAdES.detached, adbe.pkcs7.detached, …
    QString claimedName;  // /Name
    QDateTime claimedTime; // /M
    qint64 coveredBytes = 0; // through the end of its last byte range
    qint64 fileBytes = 0;
    int revision = 0, revisions = 0; // the revision it ends, of how many the file has
    bool rangesSound = false; // two ranges around its own value, within the file
    CmsCheck check;
    // The document keeps what checks its signer's certificates later (a Document Security
    // Store answering for each of its chain), and a document time stamp that holds covers that.
    bool validationKept = false;
    bool archived = false;

    // How long it can be checked: B-B while its certificate is valid, B-T with a trusted
    // time, B-LT with what checks it kept, B-LTA with that time-stamped.
    enum class Level { BB, BT, BLT, BLTA };
    Level level() const
    {
        if (!check.timeStamp.present || !check.timeStamp.holds)
            return Level::BB;
        return !validationKept ? Level::BT : !archived ? Level::BLT : Level::BLTA;
    }

    bool wholeDocument() const { return rangesSound && coveredBytes == fileBytes; }
    // Who signed: the certificate's name, or what the signature claims; empty where neither
    // says. When: what the signature claims, or its signing time.
    QString signer() const { return !check.signer.isEmpty() ? check.signer : claimedName; }
    QDateTime time() const { return claimedTime.isValid() ? claimedTime : check.signingTime; }
    // Every byte it covers is what was signed, by the signer's key.
    bool intact() const
    {
        return rangesSound && check.digestMatches && check.valueVerifies &&
               (!check.timeStamp.present || check.timeStamp.holds);
    }
};

// Every signature of the document at `path`, in the order the file holds them (the earliest
// first); with `password` where it has one.
std::variant<std::vector<SignatureReport>, SignError>
verifySignatures(const QString& path, const SecretBytes* password = nullptr);

// The document at `path` as it was when the signature ending at `coveredBytes` was made: its
// bytes up to there.
std::variant<QByteArray, SignError> signedRevision(const QString& path, qint64 coveredBytes);
