// The batch list: decoding UTF-8, UTF-16 or GB18030, rows and quoted fields.
#include "base/csvtable.h"
#include "fuzz.h"

#include <QStringDecoder>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const CsvTable table = readCsv(bytes);
    FUZZ_CHECK(table.encoding == QLatin1String("UTF-8") ||
               table.encoding == QLatin1String("GB18030") ||
               table.encoding == QLatin1String("UTF-8 and GB18030"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString asUtf8 = utf8(bytes);
    if (!utf8.hasError())
        FUZZ_CHECK(table.encoding == QLatin1String("UTF-8"));
    // CR, LF and CR LF end a row; in UTF-16 each is a byte of its own too.
    FUZZ_CHECK(table.size() <= bytes.count('\n') + bytes.count('\r') + 1);
    if (table.unclosedQuote)
        FUZZ_CHECK(bytes.contains('"'));
    for (qsizetype i = 0; i < table.size(); ++i) {
        CsvTable::Fault fault = CsvTable::Fault::None;
        const QStringList row = table.row(i, &fault);
        if (fault == CsvTable::Fault::Undecodable)
            FUZZ_CHECK(table.encoding != QLatin1String("UTF-8"));
        FUZZ_CHECK(!row.isEmpty());
        for (const QString& field : row)
            FUZZ_CHECK(field.size() <= bytes.size());
    }
    return 0;
}
