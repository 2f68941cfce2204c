#pragma once

#include <QByteArray>
#include <QString>

// Appends the separator unless the folder already ends in one (the root folder does).
QString withTrailingSlash(const QString& folder);

// Decodes GBK; a byte sequence that is not GBK becomes U+FFFD instead of ending the text, and
// `whole`, where given, says whether there was none.
QString decodeGbk(const QByteArray& bytes, bool* whole = nullptr);

// The text of a file's bytes: GBK decoded, one trailing CR LF dropped.
QString textOfFileBytes(const QByteArray& bytes);
