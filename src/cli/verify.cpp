#include "verify.h"

#include "job.h"
#include "options.h"
#include "pdf/signatures.h"
#include "pdf/signingidentity.h"
#include "signmessages.h"

#include <QTextStream>

namespace {

QString trustWords(CmsCheck::Trust trust)
{
    switch (trust) {
    case CmsCheck::Trust::Trusted:
        return QStringLiteral("certificate trusted by this system");
    case CmsCheck::Trust::SelfSigned:
        return QStringLiteral("certificate self-signed, not trusted");
    case CmsCheck::Trust::IssuerNotTrusted:
        return QStringLiteral("certificate's issuer not trusted");
    case CmsCheck::Trust::NotChecked:
        break;
    }
    return QStringLiteral("certificate not checked");
}

// One signature in one line: who, when, what kind, what it covers, and what was checked.
QString line(const SignatureReport& r)
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
        !r.rangesSound ? QStringLiteral("its byte ranges are not sound")
        : r.wholeDocument()
            ? QStringLiteral("covers the whole document (revision %1 of %2)")
                  .arg(r.revision)
                  .arg(r.revisions)
            : QStringLiteral("covers revision %1 of %2; later changes follow (%3 bytes)")
                  .arg(r.revision)
                  .arg(r.revisions)
                  .arg(r.fileBytes - r.coveredBytes);
    const QString checked =
        !r.check.readable ? QStringLiteral("its signature cannot be read")
        : !r.check.digestMatches
            ? QStringLiteral("DIGEST MISMATCH: the bytes it covers are not those signed")
        : !r.check.valueVerifies
            ? QStringLiteral("SIGNATURE VALUE INVALID: it does not verify with its certificate")
            : QStringLiteral("digest matches, signature value verifies");
    // How long it can be trusted: with a time stamp over it, from when the authority says.
    const TimeStampCheck& stamp = r.check.timeStamp;
    const QString level =
        r.type == SignatureReport::Type::DocumentTimeStamp ? QString()
        : !stamp.present ? QStringLiteral("; level B-B (no trusted time)")
        : !stamp.holds
            ? QStringLiteral("; TIME STAMP INVALID: it is not over this signature, or not its "
                             "authority's")
            : QStringLiteral("; level %1, time-stamped %2 by %3%4")
                  .arg(r.level() == SignatureReport::Level::BLTA  ? QStringLiteral("B-LTA")
                       : r.level() == SignatureReport::Level::BLT ? QStringLiteral("B-LT")
                                                                  : QStringLiteral("B-T"),
                       stamp.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")),
                       stamp.authority,
                       r.level() == SignatureReport::Level::BLTA
                           ? QStringLiteral(", its validation data kept and time-stamped")
                       : r.level() == SignatureReport::Level::BLT
                           ? QStringLiteral(", its validation data kept")
                           : QString());
    return QStringLiteral("%1: %2 by %3, %4, %5 (%6); %7; %8; %9")
               .arg(r.field.isEmpty() ? QStringLiteral("(unnamed)") : r.field, kind, who,
                    when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))
                                   : QStringLiteral("time not given"),
                    r.check.issuer.isEmpty() ? QStringLiteral("issuer unknown")
                                             : QStringLiteral("issued by %1").arg(r.check.issuer),
                    r.subFilter, covers, checked, trustWords(r.check.trust)) +
           level;
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
    const auto verified =
        verifySignatures(options.verifyFile, password ? &*password : nullptr);
    if (auto* why = std::get_if<SignError>(&verified))
        return signingFailure(*why);
    const auto& reports = std::get<std::vector<SignatureReport>>(verified);
    if (reports.empty())
        out << options.verifyFile << ": no signatures" << Qt::endl;
    int broken = 0;
    for (const SignatureReport& report : reports) {
        out << line(report) << Qt::endl;
        broken += report.intact() ? 0 : 1;
    }
    if (broken > 0)
        return Failure{ExitFailure, QStringLiteral("%1 of %2 signature(s) of %3 do not verify")
                                        .arg(broken)
                                        .arg(reports.size())
                                        .arg(options.verifyFile)};
    return std::nullopt;
}
