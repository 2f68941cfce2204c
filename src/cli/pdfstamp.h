#pragma once

#include <QByteArray>
#include <QPointF>
#include <QString>

#include <optional>
#include <variant>

// Where a signature goes on a document: page `page` (from 1), its top-left corner `atMm`
// millimetres from the page's top-left corner as the page shows, `widthMm` wide (its own
// width when unset).
struct StampPlace
{
    int page = 1;
    QPointF atMm;
    std::optional<double> widthMm;
    // A digitally signed document is refused unless its signatures may break.
    bool breakSignatures = false;
};

inline constexpr qint64 MaxDocumentBytes = 512 * 1024 * 1024;

struct StampFailure
{
    enum Kind { Unreadable, Refused, NoSuchPage };
    Kind kind;
    QString message;
};

// The document at `documentPath` with the one-page PDF `signature` put onto one page as a form
// XObject, placed and scaled; every other object is copied as it was, streams untouched.
// Encrypted and damaged documents are refused, and signed ones unless `place` allows breaking
// their signatures.
std::variant<QByteArray, StampFailure>
stampPdf(const QString& documentPath, const QByteArray& signature, const StampPlace& place);
