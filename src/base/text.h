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

// A file name's bytes as text and back, without loss: UTF-8, where each byte that is not part
// of a UTF-8 character stands as a lone surrogate (U+DC80 to U+DCFF), which no UTF-8 text
// decodes to. For UTF-8 names both are Qt's own conversions.
QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);
