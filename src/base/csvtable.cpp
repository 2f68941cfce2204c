#include "csvtable.h"

#include "text.h"

#include <QUtf8StringView>

#include <algorithm>

namespace {

bool isAscii(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

CsvTable readCsv(const QByteArray& bytes)
{
    const QByteArray mark("\xEF\xBB\xBF");
    const QByteArray body = bytes.startsWith(mark) ? bytes.mid(mark.size()) : bytes;
    // A quote or a line end is never part of a longer character in UTF-8 or GB18030, so the
    // records are found before anything is decoded.
    QList<QByteArray> records;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] == '"') {
            quoted = !quoted;
        } else if (body[i] == '\n' && !quoted) {
            records << body.mid(start, i - start);
            start = i + 1;
        }
    }
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
    CsvTable table;
    table.encoding = other == 0  ? QStringLiteral("UTF-8")
                     : utf8 == 0 ? QStringLiteral("GB18030")
                                 : QStringLiteral("UTF-8 and GB18030");
    table.rows.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const QByteArray& r = records[i];
        QString text;
        if (other == 0 || (utf8 > 0 && valid[i])) {
            text = QString::fromUtf8(r);
        } else {
            bool whole = true;
            text = decodeGbk(r, &whole);
            if (!whole)
                table.undecodable.insert(table.rows.size());
        }
        // Trimming takes the CR of a CR LF line end too.
        table.rows << csvFields(text.trimmed());
    }
    return table;
}

QStringList csvFields(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
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
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}
