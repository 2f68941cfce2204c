#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <QSet>

#include <optional>

// The rows of a CSV file, read in the encoding the file is written in.
struct CsvTable
{
    QString encoding; // "UTF-8", "GB18030", or "UTF-8 and GB18030" where rows differ
    QList<QStringList> rows;
    QSet<qsizetype> undecodable; // rows (from 0) that are text in neither
    QSet<qsizetype> withNul; // rows holding a NUL byte, which no text has: UTF-16 without a mark
    // A quoted field must close: where one does not, the row (from 0) where it opens, and the
    // list is not to be drawn.
    std::optional<qsizetype> unclosedQuote;
};

// UTF-8 (a byte-order mark dropped), UTF-16 with its byte-order mark, or GB18030, of which
// GBK, the default of spreadsheets on Chinese Windows, is part: the file's, where every row
// that is not plain ASCII reads as the same one, else each row's own. One row per line, CR LF,
// LF or CR, except inside a quoted field; blank lines at the end are dropped.
CsvTable readCsv(const QByteArray& bytes);

// Splits one CSV line: commas, fields in double quotes with "" for a quote. A quote opens a
// quoted field only at the field's start; anywhere else it is a character.
QStringList csvFields(const QString& line);
