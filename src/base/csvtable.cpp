#include "csvtable.h"

#include "text.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>

namespace {

bool isAscii(QByteArrayView bytes)
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
    table.body_ = asEightBit(bytes);
    const QByteArray& body = table.body_;
    // A quote or a line end is never part of a longer character in UTF-8 or GB18030, so the
    // records are found before anything is decoded. A quote opens a quoted field only where a
    // field starts; elsewhere it is a character of its field. CR LF, LF and CR end a record.
    auto& records = table.records_;
    const auto record = [&](qsizetype from, qsizetype to) {
        records.push_back({quint32(from), quint32(to - from), true});
    };
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
            record(start, i);
            if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        fieldStart = !quoted && (c == ',' || c == '\n' || c == '\r');
    }
    if (quoted)
        table.unclosedQuote = qsizetype(records.size());
    record(start, body.size());
    const auto blank = [&body](const CsvTable::Record& r) {
        return QByteArrayView(body).sliced(r.start, r.length).trimmed().isEmpty();
    };
    while (!records.empty() && blank(records.back()))
        records.pop_back();

    // A list edited in two programs may hold rows of both; a GB18030 row is seldom valid UTF-8.
    qsizetype utf8 = 0;
    qsizetype other = 0;
    for (CsvTable::Record& r : records) {
        const QByteArrayView bytes = QByteArrayView(body).sliced(r.start, r.length);
        r.utf8 = QUtf8StringView(bytes).isValidUtf8();
        if (!isAscii(bytes))
            ++(r.utf8 ? utf8 : other);
    }
    table.encoding = other == 0  ? QStringLiteral("UTF-8")
                     : utf8 == 0 ? QStringLiteral("GB18030")
                                 : QStringLiteral("UTF-8 and GB18030");
    // The file's encoding where every row reads as one, else each row's own.
    for (CsvTable::Record& r : records)
        r.utf8 = other == 0 || (utf8 > 0 && r.utf8);
    return table;
}

QStringList CsvTable::row(qsizetype i, Fault* fault) const
{
    const Record& r = records_.at(size_t(i));
    if (r.length > MaxRowBytes) {
        if (fault)
            *fault = Fault::TooLong;
        return {QString()};
    }
    const QByteArray bytes = body_.sliced(r.start, r.length);
    bool whole = true;
    const QString text = r.utf8 ? QString::fromUtf8(bytes) : decodeGbk(bytes, &whole);
    if (fault)
        *fault = !whole ? Fault::Undecodable : bytes.contains('\0') ? Fault::Nul : Fault::None;
    return csvFields(text.trimmed());
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
