#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <QSet>

// The rows of a CSV file, read in the encoding the file is written in.
struct CsvTable
{
    QString encoding; // "UTF-8", "GB18030", or "UTF-8 and GB18030" where rows differ
    QList<QStringList> rows;
    QSet<qsizetype> undecodable; // rows (from 0) that are text in neither
};

// UTF-8 (a byte-order mark dropped) or GB18030, of which GBK, the default of spreadsheets on
// Chinese Windows, is part: the file's, where every row that is not plain ASCII reads as the
// same one, else each row's own. One row per line, CR LF or LF, except inside a quoted field;
// blank lines at the end are dropped.
CsvTable readCsv(const QByteArray& bytes);

// Splits one CSV line: commas, fields in double quotes with "" for a quote.
QStringList csvFields(const QString& line);
