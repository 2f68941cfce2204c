#include "background.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

bool BackgroundPicture::load(const QString& path, bool reuse)
{
    const QFileInfo info(path);
    if (reuse && path == path_ && info.size() == size_ && info.lastModified() == modified_)
        return error_.isEmpty();

    path_ = path;
    size_ = info.size();
    modified_ = info.lastModified();
    image_ = QImage();
    error_.clear();

    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!info.isFile()) {
        error_ = QStringLiteral("文件不存在或不能访问");
        return false;
    }
    if (size.isValid() && qint64(size.width()) * size.height() > MaxBackgroundPixels) {
        error_ = QStringLiteral("图片太大（%1 × %2 像素）").arg(size.width()).arg(size.height());
        return false;
    }
    // Only the part that shows is decoded where the format allows.
    if (size.isValid())
        reader.setClipRect(QRect(0, 0, std::min(size.width(), SurfaceWidthPx),
                                 std::min(size.height(), SurfaceHeightPx)));
    const QImage picture = reader.read();
    if (picture.isNull()) {
        error_ = reader.errorString();
        return false;
    }
    image_ = QImage(SurfaceWidthPx, SurfaceHeightPx, QImage::Format_RGB32);
    image_.fill(BackColor);
    QPainter p(&image_);
    p.drawImage(QPointF(0, 0), picture);
    return true;
}
