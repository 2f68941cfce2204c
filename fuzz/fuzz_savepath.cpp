// The completion of a chosen save path: never fails, changes a path at most once, and leaves a
// name whose last component has an extension.
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
    FUZZ_CHECK(completeSavePath(done, filter) == done);
    FUZZ_CHECK(completeSavePath(done, 3 - filter) == done);
    FUZZ_CHECK(done.mid(done.lastIndexOf(u'/') + 1).contains(u'.'));
    const QString added = done.mid(path.size());
    FUZZ_CHECK(added.isEmpty() || added == QLatin1String(".bmp") ||
               added == QLatin1String(".jpg") || added == QLatin1String(".png"));
    imageFormatFor(done);
    return 0;
}
