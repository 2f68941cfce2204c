// Background pictures from any bytes: every format the program reads, headers that lie
// included. A picture shows as the picture box's size or not at all, with a reason.
#include "fuzz.h"
#include "render/background.h"

#include <QGuiApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    BackgroundPicture picture;
    if (picture.decode(bytes)) {
        FUZZ_CHECK(picture.image().size() == QSize(SurfaceWidthPx, SurfaceHeightPx));
        FUZZ_CHECK(picture.error().isEmpty());
    } else {
        FUZZ_CHECK(picture.image().isNull());
        FUZZ_CHECK(!picture.error().isEmpty());
    }
    return 0;
}
