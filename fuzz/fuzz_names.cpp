// The catalogue's reading of file names: style names, face names, background display names.
#include "catalogue/catalogue.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = utf16Of(data, size);
    const QString style = styleNameOfFile(name);
    FUZZ_CHECK(name.startsWith(style));
    const QString face = faceNameOfFontFile(QStringLiteral("/kit/fonts/电脑字/") + name);
    FUZZ_CHECK(!name.contains(u'(') || !face.contains(u')'));
    const QString folderFace = faceNameOfFolderFont(QStringLiteral("/kit/fonts/s/") + name);
    FUZZ_CHECK(!folderFace.contains(u'.') && !folderFace.contains(u'/'));
    const QString shown = backgroundDisplayName(name);
    FUZZ_CHECK(name.contains(shown));
    FUZZ_CHECK(!shown.isEmpty() || name.isEmpty());
    return 0;
}
