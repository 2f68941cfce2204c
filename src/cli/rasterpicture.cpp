#include "rasterpicture.h"

#include "output/filewrite.h"
#include "output/saveimage.h"

#include <cstring>

std::optional<QByteArray> RasterPicture::encoded(const QString& path) const
{
    return background ? encodePngOver(*background, changed, firstChanged)
                      : encodeImage(image, imageFormatFor(path));
}

std::optional<QString> RasterPicture::writeTo(const QString& path) const
{
    const std::optional<QByteArray> bytes = encoded(path);
    return bytes ? writeFile(path, *bytes) : std::optional<QString>(CannotEncode);
}

QImage RasterPicture::whole() const
{
    if (!background)
        return image;
    QImage picture = background->picture().copy();
    for (int y = 0; y < changed.height(); ++y)
        std::memcpy(picture.scanLine(firstChanged + y), changed.constScanLine(y),
                    size_t(changed.bytesPerLine()));
    return picture;
}
