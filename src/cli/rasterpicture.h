#pragma once

#include "output/pngwriter.h"

#include <QImage>
#include <QString>

#include <memory>
#include <optional>

// A finished raster picture, with what a PNG writer may reuse: the background's compressed
// rows, and the rows the drawing changed.
struct RasterPicture
{
    QImage image; // the whole picture; null when `background` and `changed` make it
    std::shared_ptr<const PngBackground> background;
    QImage changed; // the rows the drawing changed, from row firstChanged on
    int firstChanged = 0;

    // Its bytes in the format `path` asks for; none when it cannot be encoded.
    std::optional<QByteArray> encoded(const QString& path) const;
    // Writes it to `path`; the reason when that fails.
    std::optional<QString> writeTo(const QString& path) const;
    // The whole picture.
    QImage whole() const;
};
