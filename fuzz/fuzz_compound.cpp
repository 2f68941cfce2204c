// The compound-surname lookup and the split of a name, in characters as a person sees them,
// into head, middle and tail.
#include "fuzz.h"
#include "render/names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString input = utf16Of(data, size);
    // The list and the name, split at the first NUL.
    const qsizetype cut = input.indexOf(QChar(0));
    const QString text = cut < 0 ? input : input.left(cut);
    const CompoundSurnames list = parseCompoundSurnames(text);
    const QString name = cut < 0 ? QString() : input.mid(cut + 1);
    const QStringList chars = characters(name);
    FUZZ_CHECK(chars.join(QString()) == name);
    const std::optional<QString> glyph = compoundSurnameGlyph(list, name);
    if (glyph)
        FUZZ_CHECK(text.contains(*glyph) &&
                   text.contains(u' ' + chars.mid(0, 2).join(QString()) + u'-'));
    const Pieces chinese = splitChinese(name, list);
    if (!glyph)
        FUZZ_CHECK(chinese.head + chinese.middle + chinese.tail == name);
    else
        FUZZ_CHECK(chars.size() <= 2 || chinese.tail == chars.last());
    const Pieces latin = splitLatin(name);
    FUZZ_CHECK(latin.head + latin.middle + latin.tail == name);
    FUZZ_CHECK(completedSealName(name).startsWith(name));
    return 0;
}
