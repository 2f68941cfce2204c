// Reading size texts: the leading number of a style pick, the size the renderer accepts.
#include "catalogue/stylerules.h"
#include "fuzz.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const double leading = leadingNumber(text);
    FUZZ_CHECK(std::isfinite(leading));
    if (const std::optional<double> points = fontSizeFromText(text))
        FUZZ_CHECK(*points >= SmallestFontSize && *points <= LargestFontSize);
    for (const char* style : {"篆印体", "公文签"}) {
        const StyleRule rule = styleRuleFor(QString::fromUtf8(style));
        const QString capped = cappedSizeText(text, rule);
        FUZZ_CHECK(capped == text || leadingNumber(capped) == rule.largestSize);
    }
    return 0;
}
