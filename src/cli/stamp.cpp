#include "stamp.h"

#include "base/temporaries.h"

#include "base/programvalues.h"
#include "base/text.h"
#include "catalogue/fonttable.h"
#include "drawing.h"
#include "options.h"
#include "output/signerlines.h"
#include "pdf/pagestack.h"
#include "pdf/signingidentity.h"
#include "pdf/stamp.h"
#include "signmessages.h"
#include "tsaclient.h"

#include "base/regularfile.h"
#include "pdf/longterm.h"

#include <QDir>
#include <QTemporaryDir>

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

// The signature with who signed it, when, why and where written under it.
std::optional<QByteArray> withSignerLines(const Options& options, const QByteArray& signature,
                                          const SigningIdentity& signer)
{
    ProgramValues values;
    values.appPath = withTrailingSlash(kitFolder(options));
    AppFontTable fonts;
    fonts.useFallback(fallbackFontPath(values));
    const QStringList families = fonts.plainFamilies();
    if (families.isEmpty())
        return std::nullopt;
    const QByteArray lines =
        linesPdf(signerLines(signer.name(), QDateTime::currentDateTime(), options.stamp.reason,
                             options.stamp.location),
                 families);
    const QByteArray stacked = stackedPdf(signature, lines);
    if (stacked.isEmpty())
        return std::nullopt;
    return stacked;
}

// The revision-by-revision steps that follow a signature asked to last: each reads the copy the
// step before wrote, and the last writes the output. Nothing reaches the output unless every
// step succeeded.
using Step = std::function<std::variant<SignedCopy, SignError>(const QString& path)>;

std::vector<Step> stepsToLast(const Options& options, const StampPlace& place)
{
    std::vector<Step> steps;
    const SecretBytes* password = place.documentPassword.get();
    if (options.longTerm) {
        steps.push_back([&options, password](const QString& path)
                            -> std::variant<SignedCopy, SignError> {
            auto needs = validationNeeds(path, password);
            if (auto* why = std::get_if<SignError>(&needs))
                return *why;
            std::vector<QByteArray> files;
            if (!options.validationFolder.isEmpty()) {
                const QDir folder(options.validationFolder);
                for (const QString& name : folder.entryList(QDir::Files | QDir::Readable, QDir::Name)) {
                    QString why;
                    if (auto bytes = readRegularFile(folder.filePath(name), 8 * 1024 * 1024, &why))
                        files.push_back(*bytes);
                }
            }
            auto data = validationData(std::get<ValidationNeeds>(needs),
                                       httpFetch(options.timeStampTimeout),
                                       options.validationFolder.isEmpty() ? nullptr : &files);
            if (auto* why = std::get_if<SignError>(&data))
                return *why;
            return addValidationData(path, password, std::get<ValidationData>(data));
        });
    }
    if (options.archiveTimeStamp)
        steps.push_back([password, transport = place.timeStamp](const QString& path) {
            return addDocumentTimeStamp(path, password, transport);
        });
    return steps;
}

} // namespace

std::optional<Failure> stampDocument(const Options& options, QByteArray signature,
                                     QJsonObject report, QTextStream& out, QTextStream& err)
{
    StampPlace place = options.stamp;
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
        auto identity =
            SigningIdentity::open(options.signingIdentity, std::get<SecretBytes>(password));
        if (auto* why = std::get_if<SignError>(&identity))
            return signingFailure(*why);
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
        if (options.signerLines) {
            auto stacked = withSignerLines(options, signature, *place.signer);
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
    const auto stamped = stampPdf(options.stampFile, signature, place);
    if (const auto* failure = std::get_if<SignError>(&stamped))
        return signingFailure(*failure);
    const QString& output = options.job.output;
    const SignedCopy& copy = std::get<SignedCopy>(stamped);
    const std::vector<Step> steps = stepsToLast(options, place);
    SignedCopy last = copy;
    // The copies in between are made where no one else looks, and go with the run, however it
    // ends.
    std::optional<QTemporaryDir> work;
    if (!steps.empty())
        work.emplace(runFolderTemplate(QDir::tempPath()));
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!work->isValid())
            return signingFailure(SignError{SignError::Kind::CannotWrite, work->path()});
        const QString between = work->filePath(QStringLiteral("revision-%1.pdf").arg(i + 2));
        if (auto error = last.writeTo(between))
            return signingFailure(*error);
        auto next = steps[i](between);
        if (auto* why = std::get_if<SignError>(&next)) {
            // The document is named as the person gave it, not as the copy in between.
            if (why->path == between)
                why->path = options.stampFile;
            return signingFailure(*why);
        }
        last = std::get<SignedCopy>(std::move(next));
        last.documentPath = between;
        // Written over the document it began from only if no one changed that meanwhile.
        last.origin = copy.document;
        last.originPath = options.stampFile;
    }
    if (auto error = last.writeTo(output))
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
        const auto facts = inspectPdf(options.stampFile, place.documentPassword.get());
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
