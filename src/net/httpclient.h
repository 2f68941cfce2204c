#pragma once

#include "pdf/longterm.h"
#include "pdf/timestamp.h"

#include <QUrl>

#include <variant>

// One HTTP exchange: a POST of `body` as `contentType`, or where `body` is null a GET, waiting
// at most `timeoutSeconds` for the whole answer. Its body, or why not.
std::variant<QByteArray, QString> httpExchange(const QUrl& url, const QByteArray& body,
                                               const QString& contentType, int timeoutSeconds);

// Asks the time-stamping authority at `url` by HTTP POST (application/timestamp-query), waiting
// at most `timeoutSeconds` for its whole answer.
TimeStampTransport httpTimeStamper(const QUrl& url, int timeoutSeconds);

// Asks OCSP responders and fetches revocation lists by HTTP.
Fetch httpFetch(int timeoutSeconds);
