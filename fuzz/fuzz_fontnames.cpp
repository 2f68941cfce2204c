// Font files as a person may hand them over: every face renamed, or the file left alone.
#include "catalogue/fontnames.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The check of a file's tables reads any bytes; renaming keeps a whole file whole.
    const bool whole = tablesLieWithin(bytes);
    const std::optional<RenamedFont> renamed = withFamilyName(bytes, QStringLiteral("F"));
    if (!renamed)
        return 0;
    if (whole)
        FUZZ_CHECK(tablesLieWithin(renamed->bytes));
    FUZZ_CHECK(!renamed->formerFamilies.isEmpty() && renamed->formerFamilies.size() <= 64);
    FUZZ_CHECK(renamed->bytes.startsWith(bytes.left(12)));
    // What was renamed reads again, with the first names as its only ones.
    const std::optional<RenamedFont> again = withFamilyName(renamed->bytes, QStringLiteral("G"));
    FUZZ_CHECK(again && again->formerFamilies.size() == renamed->formerFamilies.size());
    for (qsizetype i = 0; i < again->formerFamilies.size(); ++i)
        FUZZ_CHECK(
            again->formerFamilies[i] ==
            QStringList{renamedFamily(QStringLiteral("F"), i, again->formerFamilies.size())});
    return 0;
}
