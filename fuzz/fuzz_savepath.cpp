// The completion of a chosen save path with an extension.
#include "fuzz.h"
#include "output/saveimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int filter = data[0] % 4;
    const QString path = utf16Of(data + 1, size - 1);
    const QString done = completeSavePath(path, filter);
    FUZZ_CHECK(done.startsWith(path));
    const QString last = path.mid(path.lastIndexOf(u'/') + 1);
    if (last.contains(u'.'))
        FUZZ_CHECK(done == path);
    else
        FUZZ_CHECK(done == path + (filter == 1 ? QStringLiteral(".bmp") : QStringLiteral(".jpg")));
    imageFormatFor(done);
    return 0;
}
