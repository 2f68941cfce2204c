// Reading a drawn signature's file and drawing it: whatever the file holds, it is refused or
// drawn, in a bounded time, and what is read back writes the same file again.
#include "fuzz.h"
#include "output/handwritingfiles.h"
#include "render/handwriting.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto read = readHandwriting(json);
    const auto* writing = std::get_if<Handwriting>(&read);
    if (!writing)
        return 0;
    const QByteArray again = handwritingJson(*writing);
    const auto reread = readHandwriting(again);
    FUZZ_CHECK(std::holds_alternative<Handwriting>(reread));
    FUZZ_CHECK(handwritingJson(std::get<Handwriting>(reread)) == again);
    const Handwriting kept = trimmed(*writing, 2);
    FUZZ_CHECK(kept.size.width() <= 2 * 4000 + 100 && kept.size.height() <= 2 * 4000 + 100);
    handwritingSvg(kept);
    return 0;
}
