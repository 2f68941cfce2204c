#include "stamp.h"

#include "base/programvalues.h"
#include "base/text.h"
#include "catalogue/fonttable.h"
#include "drawing.h"
#include "options.h"
#include "pdf/signingidentity.h"
#include "pdf/stamp.h"
#include "signmessages.h"
#include "net/httpclient.h"
#include "pdf/signingjob.h"
#include "documentbatch.h"

#include "base/regularfile.h"
#include "pdf/longterm.h"

#include <QDir>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "pdf/documentfacts.h"
#include <QTextStream>

std::optional<Failure> stampDocument(const Options& options, SignatureRenderer& renderer,
                                     QTextStream& out, QTextStream& err)
{
    QJsonObject report;
    const auto signature = renderer.inkBoxPdf(options.job, &report);
    if (const auto* failure = std::get_if<Failure>(&signature))
        return *failure;
    return stampDocument(options, std::get<QByteArray>(signature), report, out, err);
}

namespace {

// The signature with who signed it, when, why and where written under it, in the kit's plain face.
std::optional<QByteArray> signedWithLines(const Options& options, const QByteArray& signature,
                                          const SigningIdentity& signer)
{
    ProgramValues values;
    values.appPath = withTrailingSlash(kitFolder(options));
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    return withSignerLines(signature, fonts.plainFamilies(), signer.name(),
                           QDateTime::currentDateTime(), options.stamp.reason,
                           options.stamp.location);
}

// The revocation answers among a folder's files.
std::vector<QByteArray> answersIn(const QString& folderPath)
{
    std::vector<QByteArray> files;
    const QDir folder(folderPath);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Readable, QDir::Name)) {
        QString why;
        if (auto bytes = readRegularFile(folder.filePath(name), 8 * 1024 * 1024, &why))
            files.push_back(*bytes);
    }
    return files;
}

// What every document of this run is signed with: the identity opened and unlocked once, the
// picture with its signer's lines, the level and where its answers come from.
std::variant<SigningJob, Failure> jobFrom(const Options& options, QByteArray signature, QTextStream& err)
{
    SigningJob job;
    job.place = options.stamp;
    StampPlace& place = job.place;
    if (!options.documentPasswordFile.isEmpty()) {
        auto password = signingPassword(options.documentPasswordFile);
        if (auto* why = std::get_if<SignError>(&password))
            return signingFailure(*why);
        place.documentPassword =
            std::make_shared<const SecretBytes>(std::move(std::get<SecretBytes>(password)));
    }
    if (!options.signingIdentity.isEmpty()) {
        auto password = signingPassword(options.passwordFile);
        if (auto* why = std::get_if<SignError>(&password))
            return signingFailure(*why);
        auto pin = std::make_shared<SecretBytes>(std::move(std::get<SecretBytes>(password)));
        auto identity = SigningIdentity::open(options.signingIdentity, *pin);
        if (auto* why = std::get_if<SignError>(&identity))
            return signingFailure(*why);
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
        // A key that asks for its PIN at every signature is said before anything is signed,
        // and asked: on the terminal each time, or from the file it was given in.
        if (place.signer->asksPinEachSignature()) {
            err << "sorvex-sign-render: note: the key of " << options.signingIdentity
                << " asks for its PIN at every signature; it is "
                << (options.passwordFile.isEmpty() ? "asked on the terminal" : "given from " + options.passwordFile)
                << " for each" << Qt::endl;
            if (options.passwordFile.isEmpty())
                place.signer->setPinSource([]() -> std::optional<SecretBytes> {
                    auto asked = signingPassword(QString());
                    if (auto* typed = std::get_if<SecretBytes>(&asked))
                        return std::move(*typed);
                    return std::nullopt;
                });
            else
                place.signer->setPinSource([pin]() -> std::optional<SecretBytes> {
                    return SecretBytes(QByteArray(pin->data(), pin->size()));
                });
        }
        if (options.signerLines) {
            auto stacked = signedWithLines(options, signature, *place.signer);
            if (!stacked)
                return Failure{ExitFailure,
                               QStringLiteral("the signer's lines cannot be written: no face for "
                                              "them in %1")
                                   .arg(kitFolder(options))};
            signature = *stacked;
        }
        if (!options.timeStampAuthority.isEmpty())
            place.timeStamp = httpTimeStamper(QUrl(options.timeStampAuthority),
                                              options.timeStampTimeout);
    }
    job.picture = signature;
    job.keepValidation = options.longTerm;
    job.archive = options.archiveTimeStamp;
    job.fetch = httpFetch(options.timeStampTimeout);
    if (!options.validationFolder.isEmpty())
        job.offline = answersIn(options.validationFolder);
    return job;
}

} // namespace

std::optional<Failure> stampDocument(const Options& options, QByteArray signature,
                                     QJsonObject report, QTextStream& out, QTextStream& err)
{
    // The rows are read, and every row found wrong, before a password is asked.
    std::optional<std::vector<DocumentRow>> rows;
    if (!options.stampBatchFile.isEmpty() || QFileInfo(options.stampFile).isDir()) {
        auto read = documentRows(options);
        if (auto* failure = std::get_if<Failure>(&read))
            return *failure;
        rows = std::move(std::get<std::vector<DocumentRow>>(read));
    }
    auto made = jobFrom(options, std::move(signature), err);
    if (auto* failure = std::get_if<Failure>(&made))
        return *failure;
    SigningJob& job = std::get<SigningJob>(made);
    if (rows)
        return signDocuments(options, *rows, job, report, out, err, options.progressOnTerminal);
    job.document = options.stampFile;
    const auto signedCopy = sign(job);
    if (const auto* failure = std::get_if<SignError>(&signedCopy))
        return signingFailure(*failure);
    const QString& output = options.job.output;
    const SignedCopy& copy = std::get<SignedCopy>(signedCopy);
    if (auto error = copy.writeTo(output))
        return signingFailure(*error);
    const QString note = QStringLiteral(
        "a new signature field was added to a document certified for form filling and signing "
        "only, which has no empty signature field; some validators may flag this");
    if (copy.newFieldAfterCertification)
        err << "sorvex-sign-render: note: " << note << Qt::endl;
    if (options.report) {
        QJsonArray pages;
        for (const SignedPage& page : copy.signedPages)
            pages.append(QJsonObject{{QStringLiteral("page"), page.page},
                                     {QStringLiteral("how"), signedHowName(page.how)}});
        report.insert(QStringLiteral("document"), options.stampFile);
        report.insert(QStringLiteral("output"), output);
        report.insert(QStringLiteral("appended"), !copy.rewritten);
        report.insert(QStringLiteral("pages"), pages);
        if (!copy.field.isEmpty())
            report.insert(QStringLiteral("field"), copy.field);
        if (copy.newFieldAfterCertification)
            report.insert(QStringLiteral("note"), note);
        if (!copy.coveredFields.isEmpty())
            report.insert(QStringLiteral("covers"), QJsonArray::fromStringList(copy.coveredFields));
        // What the document carried that would let it show otherwise once signed.
        const auto facts = inspectPdf(options.stampFile, job.place.documentPassword.get());
        if (const auto* f = std::get_if<DocumentFacts>(&facts); f && f->risks.any()) {
            QJsonObject risks;
            const auto numbers = [](const std::set<int>& set) {
                QJsonArray a;
                for (const int n : set)
                    a.append(n);
                return a;
            };
            if (f->risks.unreadable)
                risks.insert(QStringLiteral("revisionsUnreadable"), true);
            if (!f->risks.definedTwice.empty())
                risks.insert(QStringLiteral("definedTwice"), numbers(f->risks.definedTwice));
            if (!f->risks.unlisted.empty())
                risks.insert(QStringLiteral("unlistedObjects"), numbers(f->risks.unlisted));
            if (!f->risks.fieldsOverText.isEmpty())
                risks.insert(QStringLiteral("fieldsOverText"),
                             QJsonArray::fromStringList(f->risks.fieldsOverText));
            report.insert(QStringLiteral("risks"), risks);
        }
        out << QJsonDocument(report).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    return std::nullopt;
}
