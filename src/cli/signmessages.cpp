#include "signmessages.h"

namespace {

QString permissionWords(SignError::Permission permission)
{
    switch (permission) {
    case SignError::Permission::Annotate:
        return QStringLiteral("adding annotations");
    case SignError::Permission::FillForms:
        return QStringLiteral("filling in its form fields");
    case SignError::Permission::Modify:
        return QStringLiteral("changing its pages' content");
    case SignError::Permission::AddFields:
        return QStringLiteral("adding form fields (a new signature field)");
    case SignError::Permission::None:
        break;
    }
    return QStringLiteral("changes");
}

QString requirementWords(SignError::Requirement requirement)
{
    switch (requirement) {
    case SignError::Requirement::Filter:
        return QStringLiteral("another signature handler");
    case SignError::Requirement::SubFilter:
        return QStringLiteral("another signature encoding");
    case SignError::Requirement::DigestMethod:
        return QStringLiteral("another digest than SHA-256");
    case SignError::Requirement::Reason:
        return QStringLiteral("a reason from its own list (--reason)");
    case SignError::Requirement::Certificate:
        return QStringLiteral("a particular certificate");
    case SignError::Requirement::Certification:
        return QStringLiteral("a certifying signature");
    case SignError::Requirement::TimeStamp:
        return QStringLiteral("a trusted time-stamp");
    case SignError::Requirement::RevocationInfo:
        return QStringLiteral("revocation information inside the signature");
    case SignError::Requirement::None:
        break;
    }
    return QStringLiteral("what this signature cannot give");
}

// Who restricts the change: the certification, or a signed field's lock.
QString restrictedBy(const SignError& e)
{
    return e.field2.isEmpty()
               ? QStringLiteral("%1 is certified by its author").arg(e.path)
               : QStringLiteral("the signature in field \"%1\" of %2 locks it").arg(e.field2, e.path);
}

} // namespace

QString describe(const SignError& e)
{
    if (e.before) {
        SignError last = e;
        last.before.reset();
        return QStringLiteral("%1; before that, %2").arg(describe(last), describe(*e.before));
    }
    using K = SignError::Kind;
    const QString& p = e.path;
    switch (e.kind) {
    case K::CannotRead:
        return QStringLiteral("cannot read %1: %2").arg(p, e.detail);
    case K::NotPdf:
        return QStringLiteral("%1 is not a PDF or is damaged (%2)").arg(p, e.detail);
    case K::Damaged:
        return e.page > 0 ? QStringLiteral("%1 is damaged: page %2's content cannot be read, so "
                                           "where the signature would show cannot be known")
                                .arg(p)
                                .arg(e.page)
                          : QStringLiteral("%1 is damaged; it cannot be signed here").arg(p);
    case K::NeedsPassword:
        return QStringLiteral("%1 is encrypted with a password; give it with "
                              "--document-password-file")
            .arg(p);
    case K::WrongPassword:
        return QStringLiteral("the document password given does not open %1").arg(p);
    case K::Rc4:
        return QStringLiteral("%1 is encrypted with RC4, an old cipher this program does not "
                              "write; only AES-encrypted documents can be signed")
            .arg(p);
    case K::TooLarge:
        return QStringLiteral("%1 is too large to sign here: reading it would take more than "
                              "%2 MB of memory")
            .arg(p)
            .arg(e.number, 0, 'f', 0);
    case K::ContentTooLarge:
        return QStringLiteral("page %1 of %2 holds more than %3 MB of content once uncompressed, "
                              "more than is read here to draw into it")
            .arg(e.page)
            .arg(p)
            .arg(e.number, 0, 'f', 0);
    case K::OutOfMemory:
        return QStringLiteral("%1 is too large to sign here: there is not enough memory for it")
            .arg(p);
    case K::PageTreeTooDeep:
        return QStringLiteral("%1 has a page tree deeper than %2 levels; it cannot be signed here")
            .arg(p)
            .arg(e.count);
    case K::TooManyObjects:
        return QStringLiteral("%1 numbers its objects up to %2, past the 8,388,607 a PDF may "
                              "have; it cannot be signed here")
            .arg(p)
            .arg(e.count);
    case K::BytesBeforeHeader:
        return QStringLiteral("%1 has %2 bytes before its PDF header, which readers count in "
                              "different ways: a certificate signature over it could not be "
                              "checked, so none is made")
            .arg(p)
            .arg(e.count);
    case K::NotPermitted:
        return QStringLiteral("%1 is encrypted, and its author's permissions do not allow %2")
            .arg(p, permissionWords(e.permission));
    case K::CertifiedNoChanges:
        return QStringLiteral("%1 to allow no changes at all; a signature cannot be added")
            .arg(restrictedBy(e));
    case K::CertifiedFormsOnly:
        return QStringLiteral("%1 to allow only form filling and signature fields, not a "
                              "signature drawn on a page")
            .arg(restrictedBy(e));
    case K::CertifiedNoContent:
        return QStringLiteral("%1, which allows no change of its pages' content: the signature "
                              "cannot be drawn into them")
            .arg(restrictedBy(e));
    case K::FieldLocked:
        return QStringLiteral("the field \"%1\" of %2 is locked by the signature in field \"%3\"")
            .arg(e.detail, p, e.field2);
    case K::SeedValue:
        return QStringLiteral("the signature field \"%1\" of %2 asks for %3, which this "
                              "signature cannot give")
            .arg(e.detail, p, requirementWords(e.requirement));
    case K::NoSuchField:
        return QStringLiteral("%1 has no form field \"%2\"").arg(p, e.detail);
    case K::FieldNotEmpty:
        return QStringLiteral("the signature field \"%1\" of %2 is already signed").arg(e.detail, p);
    case K::FieldNotSignature:
        return QStringLiteral("the field \"%1\" of %2 is not a signature field").arg(e.detail, p);
    case K::WouldBreakSignatures:
        return QStringLiteral("%1 carries %2 digital signature(s), which flattening a signature "
                              "into it would break; sign it without --flatten, or add "
                              "--break-signatures")
            .arg(p)
            .arg(e.count);
    case K::BadPageList:
        return QStringLiteral("page \"%1\" is not a page number, a range such as 3-5, \"last\" "
                              "or \"all\"")
            .arg(e.detail);
    case K::NoPages:
        return QStringLiteral("%1 has no pages to sign").arg(p);
    case K::NoSuchPage:
        return QStringLiteral("%1 has %2 page(s); there is no page %3")
            .arg(p)
            .arg(e.count)
            .arg(e.page);
    case K::AcrossNeedsPages:
        return QStringLiteral("a seal across pages needs at least two pages; %1 gives %2")
            .arg(p)
            .arg(e.count);
    case K::SliceTooNarrow:
        return QStringLiteral("across that many pages of %1 each slice of the seal would be "
                              "%2 mm wide, too narrow to see; at this width it can go across "
                              "at most %3 pages")
            .arg(p)
            .arg(e.number, 0, 'f', 2)
            .arg(e.count);
    case K::NoPageArea:
        return QStringLiteral("page %1 of %2 has no area to sign on").arg(e.page).arg(p);
    case K::OffPage:
        return QStringLiteral("the signature would fall off page %1 of %2: less than 1 mm of it "
                              "would show")
            .arg(e.page)
            .arg(p);
    case K::TooSmall:
        return QStringLiteral("the signature would be %1 mm wide or high on page %2 of %3; at "
                              "least 1 mm is needed to be seen")
            .arg(e.number, 0, 'g', 3)
            .arg(e.page)
            .arg(p);
    case K::Busy:
        return QStringLiteral("%1 is being signed by another program; try again when it has "
                              "finished")
            .arg(p);
    case K::ChangedMeanwhile:
        return QStringLiteral("%1 changed while it was being signed; nothing was written").arg(p);
    case K::CannotWrite:
        return QStringLiteral("cannot write %1: %2").arg(p, e.detail);
    case K::UpdateFailed:
        return QStringLiteral("%1 cannot be signed here: %2").arg(p, e.detail);
    case K::ReadBackFailed:
        return QStringLiteral("%1 was not signed: the signed copy, read back, %2")
            .arg(p, e.detail);
    case K::IdentityUnreadable:
        return QStringLiteral("cannot read %1: %2").arg(p, e.detail);
    case K::NotPkcs12:
        return QStringLiteral("%1 is not a PKCS#12 file (.p12, .pfx)").arg(p);
    case K::IdentityPassword:
        return QStringLiteral("the password does not open %1").arg(p);
    case K::IdentityCorrupt:
        return QStringLiteral("%1 cannot be read: it holds what cannot be decoded (%2)")
            .arg(p, e.detail);
    case K::NoPrivateKey:
        return QStringLiteral("%1 holds no private key to sign with").arg(p);
    case K::NoCertificate:
        return QStringLiteral("%1 holds no certificate").arg(p);
    case K::KeyMismatch:
        return QStringLiteral("the private key in %1 does not belong to any certificate it holds")
            .arg(p);
    case K::CertificateExpired:
        return QStringLiteral("the certificate in %1 expired on %2").arg(p, e.detail);
    case K::CertificateNotYetValid:
        return QStringLiteral("the certificate in %1 is not valid before %2").arg(p, e.detail);
    case K::UnsupportedKey:
        return QStringLiteral("the key in %1 is an %2 key, with which no PDF signature can be "
                              "made here; use an RSA or ECDSA key")
            .arg(p, e.detail);
    case K::SigningFailed:
        return QStringLiteral("the signature could not be made (%1)").arg(e.detail);
    case K::SignatureTooLarge:
        return QStringLiteral("the signature is larger than the room made for it");
    case K::NoPasswordSource:
        return QStringLiteral("no terminal to ask the password on: give --password-file");
    case K::PasswordUnreadable:
        return QStringLiteral("cannot read the password from %1: %2").arg(p, e.detail);
    case K::TimeStampUnreachable:
        return QStringLiteral("the time-stamping authority %1 did not answer (%2): nothing was "
                              "written")
            .arg(e.detail, e.field2);
    case K::TimeStampRefused:
        return QStringLiteral("the time-stamping authority refused the request%1: nothing was "
                              "written")
            .arg(e.detail.isEmpty() ? QString() : QStringLiteral(" (\"%1\")").arg(e.detail));
    case K::TimeStampUnreadable:
        return QStringLiteral("the time-stamping authority's answer is no time-stamp reply: "
                              "nothing was written");
    case K::TimeStampMismatch:
        return QStringLiteral("the time-stamping authority answered with a token for another "
                              "request (its nonce or imprint is not ours): nothing was written");
    case K::TimeStampNotTrusted:
        return QStringLiteral("the time stamp is not signed by a time-stamping certificate%1: "
                              "nothing was written")
            .arg(e.detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(e.detail));
    case K::RevocationOutOfDate:
        return QStringLiteral("the answer that the certificate \"%1\" is not revoked is out of date "
                              "(its next update has passed, or it names none and is more than a "
                              "day old): nothing was written")
            .arg(e.detail);
    case K::TrustedTimeNeedsCertificate:
        return QStringLiteral("a trusted time and what checks a signature later are for a "
                              "certificate signature: give --sign-with");
    case K::LastingNeedsTimeStamp:
        return QStringLiteral("what is kept for later is checked against a trusted time: give --tsa");
    case K::NoTimeStampAuthority:
        return QStringLiteral("a trusted time needs a time-stamping authority: give --tsa URL");
    case K::CertificateDrawnIn:
        return QStringLiteral("a certificate signature is appended to the document, not drawn into "
                              "its pages: leave out --flatten");
    case K::AmbiguousIdentity:
        return QStringLiteral("%1 names more than one certificate in its token: %2; add id=… to name "
                              "the one to sign with: nothing was written")
            .arg(e.path, e.detail);
    case K::TimeStampSelfSigned:
        return QStringLiteral("the time-stamping authority \"%1\" vouches for itself (its "
                              "certificate is self-signed): its time proves nothing, nothing was "
                              "written")
            .arg(e.detail);
    case K::TimeStampAuthorityNotValid:
        return QStringLiteral("the time-stamping authority's certificate (\"%1\") was not valid "
                              "at the time it gives, %2: nothing was written")
            .arg(e.detail, e.field2);
    case K::TimeStampTimeOff:
        return QStringLiteral("the time stamp gives %1, not now: nothing was written").arg(e.detail);
    case K::TimeStampBeforeCertificate:
        return QStringLiteral("the time stamp gives %1, before the signing certificate was valid "
                              "(from %2): nothing was written")
            .arg(e.detail, e.field2);
    case K::ChainIncomplete:
        return QStringLiteral("the issuer of the certificate \"%1\" is not among the signature's "
                              "certificates: its status cannot be asked (--ltv), nothing was "
                              "written")
            .arg(e.detail);
    case K::NoRevocationSource:
        return e.count > 0
                   ? QStringLiteral("no OCSP response or revocation list in the --ltv-offline "
                                    "folder answers for the certificate \"%1\": nothing was "
                                    "written")
                         .arg(e.detail)
                   : QStringLiteral("the certificate \"%1\" names no OCSP responder and no "
                                    "revocation list: give them with --ltv-offline; nothing was "
                                    "written")
                         .arg(e.detail);
    case K::RevocationUnreachable:
        return QStringLiteral("%1 did not answer (%2): nothing was written").arg(e.detail, e.field2);
    case K::RevocationUnusable:
        return QStringLiteral("the status of the certificate \"%1\" could not be known (%2): "
                              "nothing was written")
            .arg(e.detail, e.field2);
    case K::CertificateRevoked:
        return QStringLiteral("the certificate \"%1\" is revoked: nothing was written").arg(e.detail);
    case K::NoSignatures:
        return QStringLiteral("%1 has no signature to keep validation data for").arg(p);
    }
    return QStringLiteral("%1 cannot be signed").arg(p);
}

Failure signingFailure(const SignError& error)
{
    using K = SignError::Kind;
    const bool badArguments = error.kind == K::BadPageList || error.kind == K::NoSuchPage ||
                              error.kind == K::NoPages || error.kind == K::NoSuchField ||
                              error.kind == K::TrustedTimeNeedsCertificate ||
                              error.kind == K::LastingNeedsTimeStamp ||
                              error.kind == K::CertificateDrawnIn;
    return {badArguments ? ExitBadArguments : ExitFailure, describe(error)};
}

QString kindName(SignError::Kind kind)
{
    using K = SignError::Kind;
    switch (kind) {
    case K::CannotRead:
        return QStringLiteral("CannotRead");
    case K::NotPdf:
        return QStringLiteral("NotPdf");
    case K::Damaged:
        return QStringLiteral("Damaged");
    case K::NeedsPassword:
        return QStringLiteral("NeedsPassword");
    case K::WrongPassword:
        return QStringLiteral("WrongPassword");
    case K::Rc4:
        return QStringLiteral("Rc4");
    case K::TooLarge:
        return QStringLiteral("TooLarge");
    case K::ContentTooLarge:
        return QStringLiteral("ContentTooLarge");
    case K::OutOfMemory:
        return QStringLiteral("OutOfMemory");
    case K::PageTreeTooDeep:
        return QStringLiteral("PageTreeTooDeep");
    case K::TooManyObjects:
        return QStringLiteral("TooManyObjects");
    case K::BytesBeforeHeader:
        return QStringLiteral("BytesBeforeHeader");
    case K::NotPermitted:
        return QStringLiteral("NotPermitted");
    case K::CertifiedNoChanges:
        return QStringLiteral("CertifiedNoChanges");
    case K::CertifiedFormsOnly:
        return QStringLiteral("CertifiedFormsOnly");
    case K::CertifiedNoContent:
        return QStringLiteral("CertifiedNoContent");
    case K::FieldLocked:
        return QStringLiteral("FieldLocked");
    case K::SeedValue:
        return QStringLiteral("SeedValue");
    case K::NoSuchField:
        return QStringLiteral("NoSuchField");
    case K::FieldNotEmpty:
        return QStringLiteral("FieldNotEmpty");
    case K::FieldNotSignature:
        return QStringLiteral("FieldNotSignature");
    case K::WouldBreakSignatures:
        return QStringLiteral("WouldBreakSignatures");
    case K::BadPageList:
        return QStringLiteral("BadPageList");
    case K::NoPages:
        return QStringLiteral("NoPages");
    case K::NoSuchPage:
        return QStringLiteral("NoSuchPage");
    case K::AcrossNeedsPages:
        return QStringLiteral("AcrossNeedsPages");
    case K::SliceTooNarrow:
        return QStringLiteral("SliceTooNarrow");
    case K::NoPageArea:
        return QStringLiteral("NoPageArea");
    case K::OffPage:
        return QStringLiteral("OffPage");
    case K::TooSmall:
        return QStringLiteral("TooSmall");
    case K::Busy:
        return QStringLiteral("Busy");
    case K::ChangedMeanwhile:
        return QStringLiteral("ChangedMeanwhile");
    case K::CannotWrite:
        return QStringLiteral("CannotWrite");
    case K::UpdateFailed:
        return QStringLiteral("UpdateFailed");
    case K::ReadBackFailed:
        return QStringLiteral("ReadBackFailed");
    case K::IdentityUnreadable:
        return QStringLiteral("IdentityUnreadable");
    case K::NotPkcs12:
        return QStringLiteral("NotPkcs12");
    case K::IdentityPassword:
        return QStringLiteral("IdentityPassword");
    case K::IdentityCorrupt:
        return QStringLiteral("IdentityCorrupt");
    case K::NoPrivateKey:
        return QStringLiteral("NoPrivateKey");
    case K::NoCertificate:
        return QStringLiteral("NoCertificate");
    case K::AmbiguousIdentity:
        return QStringLiteral("AmbiguousIdentity");
    case K::KeyMismatch:
        return QStringLiteral("KeyMismatch");
    case K::CertificateExpired:
        return QStringLiteral("CertificateExpired");
    case K::CertificateNotYetValid:
        return QStringLiteral("CertificateNotYetValid");
    case K::UnsupportedKey:
        return QStringLiteral("UnsupportedKey");
    case K::SigningFailed:
        return QStringLiteral("SigningFailed");
    case K::SignatureTooLarge:
        return QStringLiteral("SignatureTooLarge");
    case K::NoPasswordSource:
        return QStringLiteral("NoPasswordSource");
    case K::PasswordUnreadable:
        return QStringLiteral("PasswordUnreadable");
    case K::TimeStampUnreachable:
        return QStringLiteral("TimeStampUnreachable");
    case K::TimeStampRefused:
        return QStringLiteral("TimeStampRefused");
    case K::TimeStampUnreadable:
        return QStringLiteral("TimeStampUnreadable");
    case K::TimeStampMismatch:
        return QStringLiteral("TimeStampMismatch");
    case K::TimeStampNotTrusted:
        return QStringLiteral("TimeStampNotTrusted");
    case K::TimeStampSelfSigned:
        return QStringLiteral("TimeStampSelfSigned");
    case K::TimeStampAuthorityNotValid:
        return QStringLiteral("TimeStampAuthorityNotValid");
    case K::TimeStampTimeOff:
        return QStringLiteral("TimeStampTimeOff");
    case K::TimeStampBeforeCertificate:
        return QStringLiteral("TimeStampBeforeCertificate");
    case K::ChainIncomplete:
        return QStringLiteral("ChainIncomplete");
    case K::NoRevocationSource:
        return QStringLiteral("NoRevocationSource");
    case K::RevocationUnreachable:
        return QStringLiteral("RevocationUnreachable");
    case K::RevocationUnusable:
        return QStringLiteral("RevocationUnusable");
    case K::CertificateRevoked:
        return QStringLiteral("CertificateRevoked");
    case K::RevocationOutOfDate:
        return QStringLiteral("RevocationOutOfDate");
    case K::NoSignatures:
        return QStringLiteral("NoSignatures");
    case K::TrustedTimeNeedsCertificate:
        return QStringLiteral("TrustedTimeNeedsCertificate");
    case K::LastingNeedsTimeStamp:
        return QStringLiteral("LastingNeedsTimeStamp");
    case K::CertificateDrawnIn:
        return QStringLiteral("CertificateDrawnIn");
    case K::NoTimeStampAuthority:
        return QStringLiteral("NoTimeStampAuthority");
    }
    return QStringLiteral("Unknown");
}
