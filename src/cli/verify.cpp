#include "verify.h"

#include "base/regularfile.h"
#include "job.h"
#include "options.h"
#include "pdf/signatures.h"
#include "pdf/signingidentity.h"
#include "signmessages.h"

#include <QTextStream>

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'");

QString trustWords(CmsCheck::Trust trust)
{
    switch (trust) {
    case CmsCheck::Trust::Trusted:
        return QStringLiteral("certificate trusted by this system");
    case CmsCheck::Trust::SelfSigned:
        return QStringLiteral("certificate self-signed, not trusted");
    case CmsCheck::Trust::IssuerNotTrusted:
        return QStringLiteral("certificate's issuer not trusted");
    case CmsCheck::Trust::NotForSigning:
        return QStringLiteral("CERTIFICATE NOT FOR SIGNING: its key usage is for something else");
    case CmsCheck::Trust::Expired:
        return QStringLiteral("CERTIFICATE EXPIRED at the time the signature can be trusted to");
    case CmsCheck::Trust::NotYetValid:
        return QStringLiteral("CERTIFICATE NOT YET VALID at the time the signature can be "
                              "trusted to");
    case CmsCheck::Trust::Revoked:
        return QStringLiteral("CERTIFICATE REVOKED, as the document's own validation data says");
    case CmsCheck::Trust::NotChecked:
        break;
    }
    return QStringLiteral("certificate not checked");
}

QString unclearWords(const SignatureReport& r, const Verification& v)
{
    using U = SignatureReport::Unclear;
    switch (r.unclear) {
    case U::Ranges:
        return QStringLiteral("its byte ranges are not four numbers from the file's start, "
                              "ascending, within the file");
    case U::Gap:
        return QStringLiteral("what its byte ranges leave out is not its own signature value");
    case U::NotRevisionEnd:
        return QStringLiteral("the bytes it signs end inside a revision, not at its end");
    case U::NotItsRevision:
        return QStringLiteral("its dictionary was not written in the revision it signs");
    case U::ChainUnreadable:
        return QStringLiteral("the document's revisions cannot be read as incremental updates "
                              "(at byte %1)")
            .arg(v.fault ? v.fault->at : 0);
    case U::None:
        break;
    }
    return {};
}

QString subtype(const QString& name)
{
    return name.startsWith(u'/') ? name.mid(1) : name;
}

// What one change did, in a few words; a signature added is named by who signed it.
QString changeWords(const Change& c, int revision, const Verification& v)
{
    using W = Change::What;
    const QString page = QString::number(c.page);
    switch (c.what) {
    case W::ValidationData:
        return QStringLiteral("added validation data");
    case W::DocumentTimeStamp:
        return QStringLiteral("added a document time stamp");
    case W::Metadata:
        return QStringLiteral("changed the document's metadata");
    case W::SignatureAdded:
        for (const SignatureReport& r : v.signatures)
            if (r.revision == revision && r.field == c.name && !r.signer().isEmpty())
                return QStringLiteral("added a signature by %1").arg(r.signer());
        return QStringLiteral("added a signature in field \"%1\"").arg(c.name);
    case W::EmptySignatureField:
        return QStringLiteral("added the empty signature field \"%1\"").arg(c.name);
    case W::FieldFilled:
        return QStringLiteral("filled in the form field \"%1\"").arg(c.name);
    case W::FormDefaults:
        return QStringLiteral("changed how the form's fields show by default");
    case W::AnnotationAdded:
        return QStringLiteral("added a %1 annotation on page %2").arg(subtype(c.name), page);
    case W::AnnotationChanged:
        return QStringLiteral("changed a %1 annotation on page %2").arg(subtype(c.name), page);
    case W::AnnotationRemoved:
        return QStringLiteral("removed a %1 annotation from page %2").arg(subtype(c.name), page);
    case W::PageContent:
        return QStringLiteral("replaced the content of page %1").arg(page);
    case W::PageResources:
        return c.name.isEmpty()
                   ? QStringLiteral("changed the resources of page %1").arg(page)
                   : QStringLiteral("changed the %1 resources of page %2").arg(subtype(c.name), page);
    case W::PageProperties:
        return c.page > 0 ? QStringLiteral("changed %1 of page %2").arg(c.key, page)
                          : QStringLiteral("changed %1 of every page below a node of the page tree")
                                .arg(c.key);
    case W::PageAdded:
        return QStringLiteral("added page %1").arg(page);
    case W::PageRemoved:
        return QStringLiteral("removed page %1").arg(page);
    case W::PageTree:
        return QStringLiteral("changed the pages' order");
    case W::Catalog:
        return QStringLiteral("changed the document's %1").arg(c.name);
    case W::OpenAction:
        return QStringLiteral("added an action the reader runs by itself (%1)").arg(c.name);
    case W::OptionalContent:
        return QStringLiteral("changed which optional content shows");
    case W::FieldAdded:
        return c.page > 0
                   ? QStringLiteral("added the form field \"%1\" on page %2").arg(c.name, page)
                   : QStringLiteral("added the form field \"%1\"").arg(c.name);
    case W::FieldRemoved:
        return QStringLiteral("removed the form field \"%1\"").arg(c.name);
    case W::FieldChanged:
        return c.key.isEmpty()
                   ? QStringLiteral("changed the form field \"%1\"").arg(c.name)
                   : QStringLiteral("changed %1 of the form field \"%2\"").arg(c.key, c.name);
    case W::SignatureRemoved:
        return QStringLiteral("took the signature in field \"%1\" out of the form").arg(c.name);
    case W::SignatureReplaced:
        return QStringLiteral("replaced the signature in field \"%1\"").arg(c.name);
    case W::SignatureRedefined:
        return QStringLiteral("wrote the signature dictionary of field \"%1\" again").arg(c.name);
    case W::Trailer:
        return QStringLiteral("pointed the document at another %1").arg(c.name);
    case W::DefinedTwice:
        return QStringLiteral("defined object %1 twice").arg(c.object);
    case W::ObjectChanged:
        return QStringLiteral("changed object %1").arg(c.object);
    case W::ObjectFreed:
        return QStringLiteral("removed object %1").arg(c.object);
    case W::DanglingFilled:
        return QStringLiteral("defined object %1, which the signed revision referred to without "
                              "defining")
            .arg(c.object);
    }
    return {};
}

// "revision 3 replaced the content of page 1; revision 4 added a signature by 王晓明 and
// validation data"
QString laterWords(const std::vector<RevisionChanges>& later, const Verification& v)
{
    QStringList revisions;
    for (const RevisionChanges& r : later) {
        QStringList said;
        for (const Change& c : r.changes) {
            const QString words = changeWords(c, r.revision, v);
            if (!said.contains(words))
                said << words;
        }
        QString joined = said.join(QStringLiteral(", "));
        if (said.size() > 1)
            joined = said.mid(0, said.size() - 1).join(QStringLiteral(", ")) +
                     QStringLiteral(" and ") + said.last();
        revisions << QStringLiteral("revision %1 %2").arg(r.revision).arg(joined);
    }
    return revisions.join(QStringLiteral("; "));
}

QString cryptoWords(const CmsCheck& c)
{
    QStringList said;
    if (c.brokenDigest())
        said << QStringLiteral("BROKEN DIGEST %1: it proves nothing").arg(c.digestName);
    else if (c.weakDigest())
        said << QStringLiteral("its digest SHA-1 is broken for signatures");
    if (c.keyTooSmall())
        said << QStringLiteral("RSA KEY OF %1 BITS: too small to prove anything").arg(c.keyBits);
    else if (c.weakKey())
        said << QStringLiteral("its RSA key of %1 bits is weaker than signatures need").arg(c.keyBits);
    return said.isEmpty() ? QString() : QStringLiteral("; ") + said.join(QStringLiteral("; "));
}

QString timeStampWords(const SignatureReport& r)
{
    using F = TimeStampCheck::Fault;
    const TimeStampCheck& stamp = r.check.timeStamp;
    if (r.type == SignatureReport::Type::DocumentTimeStamp)
        return {};
    if (!stamp.present)
        return QStringLiteral("; level B-B (no trusted time)");
    if (!stamp.holds) {
        QString why;
        switch (stamp.fault) {
        case F::NotOver:
            why = QStringLiteral("it is not over this signature");
            break;
        case F::SelfSigned:
            why = QStringLiteral("its authority %1 vouches for itself").arg(stamp.authority);
            break;
        case F::AuthorityNotValid:
            why = QStringLiteral("its authority's certificate was not valid at %1")
                      .arg(stamp.time.toString(TimeFormat));
            break;
        case F::InFuture:
            why = QStringLiteral("it gives a time still to come, %1").arg(stamp.time.toString(TimeFormat));
            break;
        case F::BeforeCertificate:
            why = QStringLiteral("it gives a time before the signer's certificate was valid");
            break;
        default:
            why = QStringLiteral("it is not its authority's");
            break;
        }
        return QStringLiteral("; TIME STAMP INVALID: %1").arg(why);
    }
    const auto level = r.level();
    return QStringLiteral("; level %1, time-stamped %2 by %3 (%4)%5")
        .arg(level == SignatureReport::Level::BLTA  ? QStringLiteral("B-LTA")
             : level == SignatureReport::Level::BLT ? QStringLiteral("B-LT")
                                                    : QStringLiteral("B-T"),
             stamp.time.toString(TimeFormat), stamp.authority,
             stamp.trusted ? QStringLiteral("trusted") : QStringLiteral("authority not trusted"),
             level == SignatureReport::Level::BLTA  ? QStringLiteral(", its validation data kept and time-stamped")
             : level == SignatureReport::Level::BLT ? QStringLiteral(", its validation data kept")
                                                    : QString());
}

// One signature in one line: who, when, what kind, what it covers, what was checked, and what
// came after it.
QString line(const SignatureReport& r, const Verification& v)
{
    const QString who = r.signer().isEmpty() ? QStringLiteral("an unknown signer") : r.signer();
    const QDateTime when = r.time();
    QString kind;
    switch (r.type) {
    case SignatureReport::Type::Approval:
        kind = QStringLiteral("signature");
        break;
    case SignatureReport::Type::Certification:
        kind = QStringLiteral("certification (P=%1)").arg(r.certifiedP);
        break;
    case SignatureReport::Type::DocumentTimeStamp:
        kind = QStringLiteral("document time-stamp");
        break;
    }
    const QString covers =
        r.coverage == SignatureReport::Coverage::Unclear
            ? QStringLiteral("WHAT IT COVERS IS UNCLEAR: %1").arg(unclearWords(r, v))
        : r.wholeDocument() ? QStringLiteral("covers the whole document (revision %1 of %2)")
                                  .arg(r.revision)
                                  .arg(r.revisions)
                            : QStringLiteral("covers revision %1 of %2").arg(r.revision).arg(r.revisions);
    const QString checked =
        r.coverage == SignatureReport::Coverage::Unclear && !r.check.readable
            ? QStringLiteral("not checked")
        : !r.check.readable ? QStringLiteral("its signature cannot be read")
        : !r.check.digestMatches
            ? QStringLiteral("DIGEST MISMATCH: the bytes it covers are not those signed")
        : !r.check.valueVerifies
            ? QStringLiteral("SIGNATURE VALUE INVALID: it does not verify with its certificate")
            : QStringLiteral("digest matches, signature value verifies");
    QString after;
    switch (r.after) {
    case SignatureReport::After::Nothing:
        break;
    case SignatureReport::After::SignaturesOnly:
        after = QStringLiteral("; later: %1").arg(laterWords(r.later, v));
        break;
    case SignatureReport::After::Allowed:
        after = QStringLiteral("; CHANGED AFTER SIGNING, as it allows: %1").arg(laterWords(r.later, v));
        break;
    case SignatureReport::After::Beyond:
        after = QStringLiteral("; MODIFIED AFTER SIGNING beyond what it allows: %1")
                    .arg(laterWords(r.later, v));
        break;
    }
    return QStringLiteral("%1: %2 by %3, %4, %5 (%6); %7; %8%9; %10")
               .arg(r.field.isEmpty() ? QStringLiteral("(unnamed)") : r.field, kind, who,
                    when.isValid() ? when.toString(TimeFormat) : QStringLiteral("time not given"),
                    r.check.issuer.isEmpty() ? QStringLiteral("issuer unknown")
                                             : QStringLiteral("issued by %1").arg(r.check.issuer),
                    r.subFilter, covers, checked, cryptoWords(r.check), trustWords(r.check.trust)) +
           timeStampWords(r) +
           (r.inForm ? QString() : QStringLiteral("; NO LONGER IN THE DOCUMENT'S FORM")) + after;
}

} // namespace

std::optional<Failure> verifyDocument(const Options& options, QTextStream& out)
{
    std::optional<SecretBytes> password;
    if (!options.documentPasswordFile.isEmpty()) {
        auto read = signingPassword(options.documentPasswordFile);
        if (auto* why = std::get_if<SignError>(&read))
            return signingFailure(*why);
        password = std::move(std::get<SecretBytes>(read));
    }
    std::vector<QByteArray> trusted;
    for (const QString& file : options.trustFiles) {
        QString why;
        const auto bytes = readRegularFile(file, 16 << 20, &why);
        if (!bytes || !bytes->contains("-----BEGIN CERTIFICATE-----"))
            return Failure{ExitBadArguments,
                           QStringLiteral("%1 holds no PEM certificate to trust%2")
                               .arg(file, why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why))};
        trusted.push_back(*bytes);
    }
    const TrustStore store(trusted);
    const auto verified = verifySignatures(options.verifyFile, password ? &*password : nullptr, &store);
    if (auto* why = std::get_if<SignError>(&verified))
        return signingFailure(*why);
    const Verification& v = std::get<Verification>(verified);
    if (v.signatures.empty()) {
        out << options.verifyFile << ": no signatures" << Qt::endl;
        return std::nullopt;
    }
    int broken = 0;
    for (const SignatureReport& report : v.signatures) {
        out << line(report, v) << Qt::endl;
        broken += report.intact() ? 0 : 1;
    }
    const QString file = options.verifyFile;
    switch (v.verdict()) {
    case Verification::Verdict::Invalid:
        return Failure{ExitSignatureInvalid,
                       QStringLiteral("%1 of %2 signature(s) of %3 do not hold or cannot be judged")
                           .arg(broken)
                           .arg(v.signatures.size())
                           .arg(file)};
    case Verification::Verdict::ChangedBeyond:
        return Failure{ExitChangedBeyond,
                       QStringLiteral("%1 was changed after signing beyond what its signatures "
                                      "allow")
                           .arg(file)};
    default:
        break;
    }
    if (options.requireTrusted && !v.allTrusted())
        return Failure{ExitNotTrusted,
                       QStringLiteral("a certificate of %1's signatures is not trusted").arg(file)};
    if (v.verdict() == Verification::Verdict::ChangedAllowed)
        return Failure{ExitChangedAllowed,
                       QStringLiteral("%1 was changed after signing (form filling or annotations "
                                      "its signatures allow)")
                           .arg(file)};
    return std::nullopt;
}
