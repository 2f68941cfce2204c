#pragma once

#include "changes.h"
#include "cmscheck.h"
#include "revisions.h"
#include "secret.h"
#include "signerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

// What one revision after a signature changed.
struct RevisionChanges
{
    int revision = 0; // 1-based
    std::vector<Change> changes;
};

// One signature of a document, as a person checking it needs to know it: every fact read from
// the bytes it signs, what it covers, whether those bytes are what was signed, and what came
// after it, judged against what it allows.
struct SignatureReport
{
    enum class Type { Approval, Certification, DocumentTimeStamp };
    // How much of the document it covers: all of it, a whole revision, or what no one can say
    // (which no one may call valid).
    enum class Coverage { Whole, Revision, Unclear };
    enum class Unclear {
        None,
        Ranges,           // its /ByteRange is not four numbers from the start, ascending, inside
        Gap,              // what it leaves out is not exactly its own /Contents string
        NotRevisionEnd,   // its bytes end inside a revision, not at one's "%%EOF"
        NotItsRevision,   // its dictionary was not written in the revision it ends
        ChainUnreadable,  // the revisions after it cannot be read as incremental updates
    };
    // What came after it, judged against what it and any certification before it allow.
    enum class After {
        Nothing,
        SignaturesOnly, // signatures, validation data, document time stamps
        Allowed,        // form filling or annotations its permissions allow
        Beyond,         // a change its permissions do not allow, or one to what a page shows
    };

    QString field;        // the field it is the value of
    Type type = Type::Approval;
    int certifiedP = 0;   // a certification's DocMDP permission
    QString subFilter;    // how it is encoded: ETSI.CAdES.detached, adbe.pkcs7.detached, …
    QString claimedName;  // /Name, as signed
    QDateTime claimedTime; // /M, as signed
    qint64 coveredBytes = 0; // through the end of its last byte range
    qint64 fileBytes = 0;
    int revision = 0, revisions = 0; // the revision it ends, of how many the file has
    Coverage coverage = Coverage::Unclear;
    Unclear unclear = Unclear::None;
    bool inForm = true;   // the document's form still shows it
    CmsCheck check;
    // The document keeps what checks its signer's certificates later (a Document Security
    // Store answering for each of its chain), and a document time stamp that holds covers that.
    bool validationKept = false;
    bool archived = false;
    std::vector<RevisionChanges> later; // every later revision that changed something
    After after = After::Nothing;
    // Fields a signature locks (its own /Lock, or FieldMDP): every field, or those named.
    bool locksAll = false;
    bool lockExcludes = false; // every field but those named
    std::vector<QString> locked;
    int lockP = 0; // a lock's own DocMDP-like permission (PDF 2.0), 0 where none

    // How long it can be checked: B-B while its certificate is valid, B-T with a trusted
    // time, B-LT with what checks it kept, B-LTA with that time-stamped.
    enum class Level { BB, BT, BLT, BLTA };
    Level level() const
    {
        if (!check.timeStamp.present || !check.timeStamp.holds)
            return Level::BB;
        return !validationKept ? Level::BT : !archived ? Level::BLT : Level::BLTA;
    }

    bool wholeDocument() const { return coverage == Coverage::Whole; }
    // Who signed: the certificate's name, or what the signature claims; empty where neither
    // says. When: the trusted time, the signed attributes' time, or what it claims.
    QString signer() const { return !check.signer.isEmpty() ? check.signer : claimedName; }
    QDateTime time() const;
    // Whether it locks the field of that name.
    bool locks(const QString& field) const;
    // Every byte it covers is what was signed, by the signer's key, with cryptography that still
    // counts, by a certificate fit and valid for it, over a whole revision.
    bool intact() const;
    bool trusted() const { return check.trust == CmsCheck::Trust::Trusted; }
};

// Everything a verification found: each signature, the revisions, and what each revision after
// the first signed one changed.
struct Verification
{
    std::vector<SignatureReport> signatures; // in the order the file holds them
    int revisions = 0;
    std::optional<RevisionFault> fault; // the revisions cannot be read as updates
    std::vector<RevisionChanges> changes;
    // What the signer of a new signature should know first: what forgeries build on.
    std::set<int> definedTwice, unlistedBodies;

    // The verdict on the whole, worst first: a signature that does not hold or cannot be
    // judged; a change beyond what the signatures allow; a change they allow; only signatures
    // and validation data after them; nothing after them.
    enum class Verdict { NoSignatures, Unchanged, SignaturesOnly, ChangedAllowed, ChangedBeyond,
                         Invalid };
    Verdict verdict() const;
    bool allTrusted() const;
};

// Every signature of the document at `path`, found by the signature dictionaries of its
// revisions and of its form; with `password` where it has one, and `trust` the certificates
// its chains may end in (the system's where null).
std::variant<Verification, SignError> verifySignatures(const QString& path,
                                                       const SecretBytes* password = nullptr,
                                                       const TrustStore* trust = nullptr);

// The document at `path` as it was when the signature ending at `coveredBytes` was made: its
// bytes up to there.
std::variant<QByteArray, SignError> signedRevision(const QString& path, qint64 coveredBytes);
