#pragma once

#include "pdf/timestamp.h"

#include <QUrl>

// Asks the time-stamping authority at `url` by HTTP POST (application/timestamp-query), waiting
// at most `timeoutSeconds` for its whole answer.
TimeStampTransport httpTimeStamper(const QUrl& url, int timeoutSeconds);
