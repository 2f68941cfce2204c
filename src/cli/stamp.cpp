#include "stamp.h"

#include "output/certsign.h"
#include "drawing.h"
#include "options.h"
#include "output/pdfstamp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

std::optional<Failure> stampDocument(const Options& options, SignatureRenderer& renderer,
                                     QTextStream& out)
{
    const auto signature = renderer.textBoxPdf(options.job);
    if (const auto* failure = std::get_if<Failure>(&signature))
        return *failure;
    StampPlace place = options.stamp;
    if (!options.signingIdentity.isEmpty()) {
        const auto password = signingPassword(options.passwordFile);
        if (const QString* why = std::get_if<QString>(&password))
            return Failure{ExitFailure, *why};
        auto identity =
            SigningIdentity::load(options.signingIdentity, std::get<QByteArray>(password));
        if (const QString* why = std::get_if<QString>(&identity))
            return Failure{ExitFailure, *why};
        place.signer = std::get<std::shared_ptr<SigningIdentity>>(identity);
    }
    const auto stamped = stampPdf(options.stampFile, std::get<QByteArray>(signature), place);
    if (const auto* failure = std::get_if<StampFailure>(&stamped))
        return Failure{failure->kind == StampFailure::NoSuchPage ? ExitBadArguments : ExitFailure,
                       failure->message};
    const QString& output = options.job.output;
    const SignedCopy& copy = std::get<SignedCopy>(stamped);
    if (auto error = copy.writeTo(output))
        return Failure{ExitFailure, QStringLiteral("cannot write %1: %2").arg(output, *error)};
    if (options.report) {
        QJsonArray pages;
        for (const auto& [page, how] : copy.signedPages)
            pages.append(QJsonObject{{QStringLiteral("page"), page}, {QStringLiteral("how"), how}});
        out << QJsonDocument(QJsonObject{{QStringLiteral("document"), options.stampFile},
                                         {QStringLiteral("output"), output},
                                         {QStringLiteral("appended"), copy.document != nullptr},
                                         {QStringLiteral("pages"), pages}})
                   .toJson(QJsonDocument::Compact)
            << Qt::endl;
    }
    return std::nullopt;
}
