#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>
#include <vector>

// The rows of a CSV file, read in the encoding the file is written in. The table keeps the
// file's bytes and where each row lies, and decodes a row when it is asked for: a list of a
// million rows costs its bytes and a few more per row, not its text.
class CsvTable
{
public:
    QString encoding; // "UTF-8", "GB18030", or "UTF-8 and GB18030" where rows differ
    // A quoted field must close: where one does not, the row (from 0) where it opens, and the
    // list is not to be drawn.
    std::optional<qsizetype> unclosedQuote;

    qsizetype size() const { return qsizetype(records_.size()); }

    // What is wrong with a row's bytes, where something is.
    enum class Fault {
        None,
        Undecodable, // text in neither encoding
        Nul,         // a NUL byte, which no text has: UTF-16 without its mark
        TooLong,     // longer than MaxRowBytes: not decoded at all
    };
    // Far more than two names of the longest a picture takes, a style and a file name need.
    static constexpr qsizetype MaxRowBytes = 64 * 1024;
    // Row `i`'s fields; `fault`, where given, says what is wrong with it.
    QStringList row(qsizetype i, Fault* fault = nullptr) const;

private:
    friend CsvTable readCsv(const QByteArray& bytes);
    QByteArray body_; // UTF-8 or GB18030
    struct Record
    {
        quint32 start, length;
        bool utf8; // read as UTF-8, else as GB18030
    };
    std::vector<Record> records_;
};

// UTF-8 (a byte-order mark dropped), UTF-16 with its byte-order mark, or GB18030, of which
// GBK, the default of spreadsheets on Chinese Windows, is part: the file's, where every row
// that is not plain ASCII reads as the same one, else each row's own. One row per line, CR LF,
// LF or CR, except inside a quoted field; blank lines at the end are dropped.
CsvTable readCsv(const QByteArray& bytes);

// Splits one CSV line: commas, fields in double quotes with "" for a quote. A quote opens a
// quoted field only at the field's start; anywhere else it is a character.
QStringList csvFields(const QString& line);
