#include "background.h"

#include "base/regularfile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

bool BackgroundPicture::load(const QString& path, bool reuse)
{
    if (reuse && trusted_ && path == path_)
        return error_.isEmpty();
    const QFileInfo info(path);
    if (reuse && path == path_ && info.size() == size_ && info.lastModified() == modified_)
        return error_.isEmpty();

    path_ = path;
    size_ = info.size();
    modified_ = info.lastModified();
    image_ = QImage();
    error_.clear();
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxBackgroundFileBytes, &error_);
    return bytes && decode(*bytes);
}

namespace {

quint32 le32(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 le16(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const uchar*>(b.constData()) + at;
    return quint16(p[0] | p[1] << 8);
}

// A BMP whose header promises pixels the file does not hold would be decoded from memory that
// was never written: the same file would give a different picture every time.
bool bmpHoldsItsPixels(const QByteArray& b)
{
    if (b.size() < 26)
        return false;
    const qint64 offset = le32(b, 10);
    const qint64 header = le32(b, 14);
    if (header < 12 || offset < 14 + header || offset > b.size())
        return false;
    qint64 width, height, bits, compression = 0;
    if (header == 12) {
        width = le16(b, 18);
        height = le16(b, 20);
        bits = le16(b, 24);
    } else {
        if (b.size() < 34)
            return false;
        width = qint32(le32(b, 18));
        height = std::abs(qint64(qint32(le32(b, 22))));
        bits = le16(b, 28);
        compression = le32(b, 30);
    }
    if (width <= 0 || height <= 0 || bits <= 0)
        return false;
    const bool packed = compression == 1 || compression == 2; // run-length encoded
    if (packed)
        return true;
    const qint64 row = (width * bits + 31) / 32 * 4;
    return row <= b.size() && height <= (b.size() - offset) / row;
}

} // namespace

bool BackgroundPicture::decode(const QByteArray& bytes)
{
    image_ = QImage();
    error_.clear();
    if (bytes.startsWith("BM") && !bmpHoldsItsPixels(bytes)) {
        error_ = QStringLiteral("图片文件已损坏：它的像素数据不完整");
        return false;
    }
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    // Qt refuses pictures above 128 MB decoded; ours is the limit that counts, four bytes a
    // pixel at most.
    reader.setAllocationLimit(int(MaxBackgroundPixels * 4 / (1024 * 1024)) + 1);
    const QSize size = reader.size();
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
        error_ = QStringLiteral("图片不能解码：格式不受支持，或文件已损坏");
        return false;
    }
    image_ = QImage(SurfaceWidthPx, SurfaceHeightPx, QImage::Format_RGB32);
    image_.fill(BackColor);
    QPainter p(&image_);
    p.drawImage(QPointF(0, 0), picture);
    return true;
}
