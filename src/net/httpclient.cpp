#include "httpclient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// A time-stamp reply or an OCSP response is a few kilobytes, a revocation list rarely more
// than a few megabytes; far more is no answer.
constexpr qint64 LargestReply = 8 * 1024 * 1024;

} // namespace

std::variant<QByteArray, QString> httpExchange(const QUrl& url, const QByteArray& body,
                                               const QString& contentType, int timeoutSeconds)
{
    QNetworkAccessManager network;
    QNetworkRequest asked(url);
    if (!body.isNull())
        asked.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    asked.setTransferTimeout(timeoutSeconds * 1000);
    QNetworkReply* reply = body.isNull() ? network.get(asked) : network.post(asked, body);
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [reply](qint64 received, qint64) {
        if (received > LargestReply)
            reply->abort();
    });
    deadline.start(timeoutSeconds * 1000);
    loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
        reply->deleteLater();
        return QStringLiteral("no answer within %1 s").arg(timeoutSeconds);
    }
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError && status == 0)
        return reply->errorString();
    if (status != 200)
        return QStringLiteral("HTTP %1").arg(status);
    const QByteArray answer = reply->read(LargestReply + 1);
    if (answer.size() > LargestReply)
        return QStringLiteral("an answer of more than %1 MB").arg(LargestReply >> 20);
    return answer;
}

TimeStampTransport httpTimeStamper(const QUrl& url, int timeoutSeconds)
{
    return [url, timeoutSeconds](const QByteArray& request) -> std::variant<QByteArray, SignError> {
        auto answer = httpExchange(url, request, QStringLiteral("application/timestamp-query"),
                                   timeoutSeconds);
        if (const QString* why = std::get_if<QString>(&answer)) {
            SignError e{SignError::Kind::TimeStampUnreachable};
            e.detail = url.toDisplayString();
            e.field2 = *why;
            return e;
        }
        return std::get<QByteArray>(std::move(answer));
    };
}

Fetch httpFetch(int timeoutSeconds)
{
    return [timeoutSeconds](const QString& address, const QByteArray& body,
                            const QString& contentType) -> std::variant<QByteArray, SignError> {
        const QUrl url(address, QUrl::StrictMode);
        const auto failed = [&](const QString& why) {
            SignError e{SignError::Kind::RevocationUnreachable};
            e.detail = address;
            e.field2 = why;
            return e;
        };
        if (!url.isValid() || url.host().isEmpty() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
            return failed(QStringLiteral("not an http or https address"));
        auto answer = httpExchange(url, body, contentType, timeoutSeconds);
        if (const QString* why = std::get_if<QString>(&answer))
            return failed(*why);
        return std::get<QByteArray>(std::move(answer));
    };
}
