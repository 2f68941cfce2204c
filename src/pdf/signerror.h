#pragma once

#include <QString>

#include <memory>

// Why a document cannot be signed as asked, or a signing identity used: what went wrong and the
// facts a person needs to act on it. Nothing here is a sentence: the command line and the
// window each say it in their own words, and no one decides what happened from words.
struct SignError
{
    enum class Kind {
        // Reading the document
        CannotRead,       // path, detail: the system's reason
        NotPdf,           // path, detail: what the reader said
        Damaged,          // path, page where one page is at fault (0: the document)
        NeedsPassword,    // path: opened only with its user password
        WrongPassword,    // path: the password given does not open it
        Rc4,              // path: encrypted with RC4, which is not written here
        TooLarge,         // path, number: megabytes reading it would take
        ContentTooLarge,  // path, page, number: megabytes its content takes uncompressed
        OutOfMemory,      // path
        PageTreeTooDeep,  // path, count: levels
        TooManyObjects,   // path, count: the object numbers it claims
        BytesBeforeHeader, // path, count: bytes before "%PDF-"; no certificate signature then
        // What the document allows
        NotPermitted,     // path, permission
        // A certification's DocMDP permission, or where field2 names a signed field, its lock's
        CertifiedNoChanges, // path, field2
        CertifiedFormsOnly, // path, field2: no annotation
        CertifiedNoContent, // path, field2: no change of a page's content
        FieldLocked,      // path, detail: the field, field2: the signed field whose lock covers it
        SeedValue,        // path, detail: the field, requirement
        NoSuchField,      // path, detail: the name asked for
        FieldNotEmpty,    // path, detail: the field, already signed
        FieldNotSignature, // path, detail: the field
        WouldBreakSignatures, // path, count: signatures that would stop verifying
        // Pages and place
        BadPageList,      // detail: the item that is no page
        NoPages,          // path
        NoSuchPage,       // path, page, count: the document's pages
        AcrossNeedsPages, // path, count: pages given
        SliceTooNarrow,   // path, number: millimetres a slice would be, count: pages at most
        NoPageArea,       // path, page
        OffPage,          // path, page, number: millimetres of it that would show
        TooSmall,         // number: millimetres wide it would be
        // Writing
        Busy,             // path: another program is signing or writing it
        ChangedMeanwhile, // path
        CannotWrite,      // path, detail: the system's reason
        UpdateFailed,     // path, detail
        ReadBackFailed,   // path, detail: what reading the signed copy found
        // The signing identity
        IdentityUnreadable, // path, detail
        NotPkcs12,        // path
        IdentityPassword, // path
        IdentityCorrupt,  // path, detail: what the file holds that cannot be read
        NoPrivateKey,     // path
        NoCertificate,    // path
        AmbiguousIdentity, // path: a token's URI, detail: the certificates it matches
        KeyMismatch,      // path
        CertificateExpired, // path, detail: the date
        CertificateNotYetValid, // path, detail: the date
        UnsupportedKey,   // path, detail: the kind of key
        SigningFailed,    // detail: the step that failed
        SignatureTooLarge,
        NoPasswordSource, // nothing to read a password from
        PasswordUnreadable, // path, detail
        // The time-stamping authority
        TimeStampUnreachable, // detail: the address, field2: why (the transport's words)
        TimeStampRefused,  // detail: what the authority said
        TimeStampUnreadable, // its reply is no time-stamp reply
        TimeStampMismatch, // the token is not for this request (nonce or imprint)
        TimeStampNotTrusted, // detail: the signer, not a time-stamping certificate or not its signature
        TimeStampSelfSigned, // detail: the authority, whose certificate vouches for itself
        TimeStampAuthorityNotValid, // detail: the authority, field2: the time it gives
        TimeStampTimeOff,  // detail: the time it gives, not now
        TimeStampBeforeCertificate, // detail: the time it gives, field2: when the certificate begins
        // What validates a signature later
        ChainIncomplete,   // detail: the certificate whose issuer no signature carries
        NoRevocationSource, // detail: the certificate; count: 1 where offline files have no answer
        RevocationUnreachable, // detail: the address, field2: why (the transport's words)
        RevocationUnusable, // detail: the certificate, field2: what is wrong with the answers
        CertificateRevoked, // detail: the certificate
        RevocationOutOfDate, // detail: the certificate whose answer is older than it may be
        NoSignatures,      // path: nothing to keep validation data for
        // What a signing job asks for that cannot be
        TrustedTimeNeedsCertificate, // path: a trusted time or validation data without a certificate
        LastingNeedsTimeStamp, // path: validation data or a document time stamp without trusted time
        CertificateDrawnIn, // path: a certificate signature asked to be drawn into the pages
        NoTimeStampAuthority, // path: a trusted time asked for, no authority's address given
    };

    // The permission bits of an encrypted document's author that an addition needs.
    enum class Permission {
        None,
        Annotate,     // add or change annotations, and with Modify, form fields
        FillForms,    // fill in existing form fields, signature fields among them
        Modify,       // change the document otherwise: its pages' content
        AddFields,    // add form fields: Annotate and Modify together
    };

    // What a signature field's seed value asks for that this signature cannot give.
    enum class Requirement {
        None,
        Filter,
        SubFilter,
        DigestMethod,
        Reason,
        Certificate,
        Certification,
        TimeStamp,
        RevocationInfo,
    };

    Kind kind;
    QString path = {};
    int page = 0;
    qint64 count = 0;
    double number = 0;
    Permission permission = Permission::None;
    Requirement requirement = Requirement::None;
    QString detail = {};
    QString field2 = {};
    // What failed first, where trying another way failed too (an OCSP responder before a
    // revocation list).
    std::shared_ptr<SignError> before = {};
};
