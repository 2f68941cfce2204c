#include "csvtable.h"

#include "text.h"

#include <QStringDecoder>

namespace {

QString decodedText(const QByteArray& bytes, QString& encoding)
{
    const QByteArray mark("\xEF\xBB\xBF");
    const QByteArray body = bytes.startsWith(mark) ? bytes.mid(mark.size()) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(body);
    if (!utf8.hasError()) {
        encoding = QStringLiteral("UTF-8");
        return text;
    }
    encoding = QStringLiteral("GB18030");
    return decodeGbk(bytes);
}

} // namespace

CsvTable readCsv(const QByteArray& bytes)
{
    CsvTable table;
    QStringList lines = decodedText(bytes, table.encoding).split(u'\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    table.rows.reserve(lines.size());
    // Trimming takes the CR of a CR LF line end too.
    for (const QString& line : std::as_const(lines))
        table.rows << csvFields(line.trimmed());
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
