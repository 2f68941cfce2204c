// GBK decoding and the trailing CR LF rule of the compound-surname list; file names as text.
#include "base/programvalues.h"
#include "base/text.h"
#include "fuzz.h"

#include <QByteArray>
#include <QUtf8StringView>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString decoded = decodeGbk(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size()); // no byte gives more than one code unit
    const QString text = textOfFileBytes(bytes);
    FUZZ_CHECK(text.size() == decoded.size() - (decoded.endsWith(QLatin1String("\r\n")) ? 2 : 0));
    FUZZ_CHECK(decoded.startsWith(text));

    // A file name's bytes come back as they were; UTF-8 ones read as Qt reads them.
    const QString name = decodeFileName(bytes);
    FUZZ_CHECK(encodeFileName(name) == bytes);
    if (QUtf8StringView(bytes).isValidUtf8())
        FUZZ_CHECK(name == QString::fromUtf8(bytes));
    return 0;
}
