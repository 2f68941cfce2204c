#pragma once

#include "geometry.h"

#include <QDateTime>
#include <QImage>
#include <QString>

// A background larger than this is refused rather than decoded (a few bytes of PNG can claim
// gigabytes of pixels).
inline constexpr qint64 MaxBackgroundPixels = 40'000'000;
inline constexpr qint64 MaxBackgroundFileBytes = 160 * 1024 * 1024;

// A background picture as it shows: unscaled from the top-left, over the box's own colour, cut
// to the box's size, composed once so that each drawing starts from a plain copy.
class BackgroundPicture
{
public:
    // With `reuse`, a file already loaded is not read again while its size and modification
    // time stay the same. Returns false, with a reason, when the picture cannot be shown.
    bool load(const QString& path, bool reuse);
    // While trusted, a file already loaded is taken as it is without asking the file system:
    // a drag redraws many times a second and its files do not change under it.
    void setTrusted(bool trusted) { trusted_ = trusted; }
    // The same from a file's bytes.
    bool decode(const QByteArray& bytes);

    const QImage& image() const { return image_; } // null when there is none
    const QString& error() const { return error_; }

private:
    QImage image_;
    QString path_;
    qint64 size_ = -1;
    QDateTime modified_;
    QString error_;
    bool trusted_ = false;
};
