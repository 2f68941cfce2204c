#include "csvtable.h"

#include "text.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>

namespace {

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

namespace {

// A list saved as UTF-16 (with its byte-order mark) is read as the same text in UTF-8.
QByteArray asEightBit(const QByteArray& bytes)
{
    const QByteArray utf8Mark("\xEF\xBB\xBF");
    if (bytes.startsWith(utf8Mark))
        return bytes.mid(utf8Mark.size());
    const bool little = bytes.startsWith("\xFF\xFE");
    if (!little && !bytes.startsWith("\xFE\xFF"))
        return bytes;
    QStringDecoder decode(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return QString(decode(bytes.mid(2))).toUtf8();
}

} // namespace

CsvTable readCsv(const QByteArray& bytes)
{
    CsvTable table;
    const QByteArray body = asEightBit(bytes);
    // A quote or a line end is never part of a longer character in UTF-8 or GB18030, so the
    // records are found before anything is decoded. A quote opens a quoted field only where a
    // field starts; elsewhere it is a character of its field. CR LF, LF and CR end a record.
    QList<QByteArray> records;
    bool quoted = false;
    bool fieldStart = true;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (quoted) {
            if (c == '"' && i + 1 < body.size() && body[i + 1] == '"')
                ++i;
            else if (c == '"')
                quoted = false;
        } else if (c == '"' && fieldStart) {
            quoted = true;
        } else if (c == '\n' || c == '\r') {
            records << body.mid(start, i - start);
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        fieldStart = !quoted && (c == ',' || c == '\n' || c == '\r');
    }
    if (quoted)
        table.unclosedQuote = records.size();
    records << body.mid(start);
    while (!records.isEmpty() && records.last().trimmed().isEmpty())
        records.removeLast();

    // A list edited in two programs may hold rows of both; a GB18030 row is seldom valid UTF-8.
    QList<bool> valid;
    valid.reserve(records.size());
    qsizetype utf8 = 0;
    qsizetype other = 0;
    for (const QByteArray& r : std::as_const(records)) {
        valid << QUtf8StringView(r).isValidUtf8();
        if (!isAscii(r))
            ++(valid.last() ? utf8 : other);
    }
    table.encoding = other == 0  ? QStringLiteral("UTF-8")
                     : utf8 == 0 ? QStringLiteral("GB18030")
                                 : QStringLiteral("UTF-8 and GB18030");
    table.rows.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QByteArray& r = records[i];
        if (r.contains('\0'))
            table.withNul.insert(i);
        QString text;
        if (other == 0 || (utf8 > 0 && valid[i])) {
            text = QString::fromUtf8(r);
        } else {
            bool whole = true;
            text = decodeGbk(r, &whole);
            if (!whole)
                table.undecodable.insert(table.rows.size());
        }
        table.rows << csvFields(text.trimmed());
    }
    return table;
}

QStringList csvFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool wasQuoted = false; // the field had its quotes: a quote after them is a character
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
        } else if (c == u',') {
            wasQuoted = false;
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}
