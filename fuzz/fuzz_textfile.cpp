// GBK decoding and the trailing CR LF rule of the compound-surname list.
#include "base/programvalues.h"
#include "base/text.h"
#include "fuzz.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString decoded = decodeGbk(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size()); // no byte gives more than one code unit
    const QString text = textOfFileBytes(bytes);
    FUZZ_CHECK(text.size() == decoded.size() - (decoded.endsWith(QLatin1String("\r\n")) ? 2 : 0));
    FUZZ_CHECK(decoded.startsWith(text));
    return 0;
}
