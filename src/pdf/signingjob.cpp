#include "signingjob.h"

#include "base/temporaries.h"
#include "output/signerlines.h"
#include "pagestack.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace {

using Step = std::function<std::variant<SignedCopy, SignError>(const QString& path)>;

// The revisions that follow a signature asked to last, each read from the copy the step before
// wrote.
std::vector<Step> stepsToLast(const SigningJob& job)
{
    std::vector<Step> steps;
    const SecretBytes* password = job.place.documentPassword.get();
    if (job.keepValidation)
        steps.push_back([&job, password](const QString& path) -> std::variant<SignedCopy, SignError> {
            auto needs = validationNeeds(path, password);
            if (auto* why = std::get_if<SignError>(&needs))
                return *why;
            auto data = validationData(std::get<ValidationNeeds>(needs), job.fetch,
                                       job.offline ? &*job.offline : nullptr);
            if (auto* why = std::get_if<SignError>(&data))
                return *why;
            return addValidationData(path, password, std::get<ValidationData>(data));
        });
    if (job.archive)
        steps.push_back([password, transport = job.place.timeStamp](const QString& path) {
            return addDocumentTimeStamp(path, password, transport);
        });
    return steps;
}

} // namespace

SignatureLevel SigningJob::level() const
{
    if (!place.signer || !place.timeStamp)
        return SignatureLevel::BB;
    return !keepValidation ? SignatureLevel::BT
           : !archive      ? SignatureLevel::BLT
                           : SignatureLevel::BLTA;
}

void SigningJob::setLevel(SignatureLevel level)
{
    keepValidation = level == SignatureLevel::BLT || level == SignatureLevel::BLTA;
    archive = level == SignatureLevel::BLTA;
}

std::optional<SignError> jobProblem(const SigningJob& job)
{
    using K = SignError::Kind;
    const bool lasting = job.keepValidation || job.archive;
    if ((job.place.timeStamp || lasting) && !job.place.signer)
        return SignError{K::TrustedTimeNeedsCertificate, job.document};
    if (lasting && !job.place.timeStamp)
        return SignError{K::LastingNeedsTimeStamp, job.document};
    if (job.keepValidation && !job.fetch && !job.offline)
        return SignError{K::NoRevocationSource, job.document};
    if (job.place.signer && job.place.flatten)
        return SignError{K::CertificateDrawnIn, job.document};
    return std::nullopt;
}

std::variant<SignedCopy, SignError> sign(const SigningJob& job)
{
    if (auto problem = jobProblem(job))
        return *problem;
    auto stamped = stampPdf(job.document, job.picture, job.place);
    if (std::holds_alternative<SignError>(stamped))
        return stamped;
    const SignedCopy first = std::get<SignedCopy>(std::move(stamped));
    const std::vector<Step> steps = stepsToLast(job);
    if (steps.empty())
        return first;
    // The copies in between are made where no one else looks, and go with the run however it
    // ends; the folder lives as long as the last copy, which reads from it.
    auto work = std::make_shared<QTemporaryDir>(runFolderTemplate(QDir::tempPath()));
    if (!work->isValid())
        return SignError{SignError::Kind::CannotWrite, work->path()};
    SignedCopy last = first;
    for (size_t i = 0; i < steps.size(); ++i) {
        const QString between = work->filePath(QStringLiteral("revision-%1.pdf").arg(i + 2));
        if (auto error = last.writeTo(between))
            return *error;
        auto next = steps[i](between);
        if (auto* why = std::get_if<SignError>(&next)) {
            // The document is named as the person gave it, not as the copy in between.
            if (why->path == between)
                why->path = job.document;
            return *why;
        }
        last = std::get<SignedCopy>(std::move(next));
        last.documentPath = between;
    }
    // Written over the document it began from only if no one changed that meanwhile; what the
    // signing did is the first copy's to say.
    last.origin = first.document;
    last.originPath = job.document;
    last.keep = work;
    last.signedPages = first.signedPages;
    last.field = first.field;
    last.newFieldAfterCertification = first.newFieldAfterCertification;
    last.coveredPages = first.coveredPages;
    last.coveredFields = first.coveredFields;
    return last;
}

std::optional<QByteArray> withSignerLines(const QByteArray& picture, const QStringList& families,
                                          const QString& signer, const QDateTime& when,
                                          const QString& reason, const QString& location)
{
    if (families.isEmpty())
        return std::nullopt;
    const QByteArray stacked =
        stackedPdf(picture, linesPdf(signerLines(signer, when, reason, location), families));
    if (stacked.isEmpty())
        return std::nullopt;
    return stacked;
}
