#include "tsaclient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// A time-stamp reply is a few kilobytes; far more is no reply.
constexpr qint64 LargestReply = 1024 * 1024;

} // namespace

TimeStampTransport httpTimeStamper(const QUrl& url, int timeoutSeconds)
{
    return [url, timeoutSeconds](const QByteArray& request) -> std::variant<QByteArray, SignError> {
        const auto failed = [&url](const QString& why) {
            SignError e{SignError::Kind::TimeStampUnreachable};
            e.detail = url.toDisplayString();
            e.field2 = why;
            return e;
        };
        QNetworkAccessManager network;
        QNetworkRequest asked(url);
        asked.setHeader(QNetworkRequest::ContentTypeHeader,
                        QStringLiteral("application/timestamp-query"));
        asked.setRawHeader("Accept", "application/timestamp-reply");
        asked.setTransferTimeout(timeoutSeconds * 1000);
        QNetworkReply* reply = network.post(asked, request);
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
            return failed(QStringLiteral("no answer within %1 s").arg(timeoutSeconds));
        }
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError && status == 0)
            return failed(reply->errorString());
        if (status != 200)
            return failed(QStringLiteral("HTTP %1").arg(status));
        const QByteArray answer = reply->read(LargestReply + 1);
        if (answer.size() > LargestReply)
            return failed(QStringLiteral("an answer of more than a megabyte"));
        return answer;
    };
}
