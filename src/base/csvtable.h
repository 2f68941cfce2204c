#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// The rows of a CSV file, read in the encoding the file is written in.
struct CsvTable
{
    QString encoding; // "UTF-8" or "GB18030"
    QList<QStringList> rows;
};

// UTF-8 (a byte-order mark dropped) when the bytes are valid UTF-8, else GB18030, of which GBK,
// the default of spreadsheets on Chinese Windows, is part. One row per line, CR LF or LF; blank
// lines at the end are dropped.
CsvTable readCsv(const QByteArray& bytes);

// Splits one CSV line: commas, fields in double quotes with "" for a quote.
QStringList csvFields(const QString& line);
