#include "stamp.h"

#include "drawing.h"
#include "options.h"
#include "pdf/signingidentity.h"
#include "pdf/stamp.h"
#include "signmessages.h"
#include "tsaclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

std::optional<Failure> stampDocument(const Options& options, const QByteArray& signature,
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
            SigningIdentity::load(options.signingIdentity, std::get<SecretBytes>(password));
        if (auto* why = std::get_if<SignError>(&identity))
            return signingFailure(*why);
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
        if (!options.timeStampAuthority.isEmpty())
            place.timeStamp = httpTimeStamper(QUrl(options.timeStampAuthority),
                                              options.timeStampTimeout);
    }
    const auto stamped = stampPdf(options.stampFile, signature, place);
    if (const auto* failure = std::get_if<SignError>(&stamped))
        return signingFailure(*failure);
    const QString& output = options.job.output;
    const SignedCopy& copy = std::get<SignedCopy>(stamped);
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
        out << QJsonDocument(report).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    return std::nullopt;
}
