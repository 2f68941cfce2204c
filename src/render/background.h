#pragma once

#include <QDateTime>
#include <QImage>
#include <QString>

// The drawable area of picMain: 388 x 261 pixels at 96 dpi.
inline constexpr int SurfaceWidthPx = 388;
inline constexpr int SurfaceHeightPx = 261;
inline constexpr int TwipsPerPixel = 15;
// picMain's outer box in the window, which printing uses.
inline constexpr int OuterWidthTwips = 5820;
inline constexpr int OuterHeightTwips = 3920;
// A background larger than this is refused rather than decoded (a few bytes of PNG can claim
// gigabytes of pixels).
inline constexpr qint64 MaxBackgroundPixels = 40'000'000;
inline constexpr QRgb BackColor = 0xFFFFFFFF; // the window-background colour of the picture box

// A background picture as it shows: unscaled from the top-left, over the box's own colour, cut
// to the box's size, composed once so that each drawing starts from a plain copy.
class BackgroundPicture
{
public:
    // With `reuse`, a file already loaded is not read again while its size and modification
    // time stay the same. Returns false, with a reason, when the picture cannot be shown.
    bool load(const QString& path, bool reuse);

    const QImage& image() const { return image_; } // null when there is none
    const QString& error() const { return error_; }

private:
    QImage image_;
    QString path_;
    qint64 size_ = -1;
    QDateTime modified_;
    QString error_;
};
