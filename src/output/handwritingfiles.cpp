#include "handwritingfiles.h"

#include "pdfpicture.h"
#include "render/scannedink.h"

#include <QBuffer>
#include <QColor>
#include <QPainter>

#include <cmath>

QByteArray pngBytes(const QImage& image)
{
    // A picture that could not be made is no picture: nothing, rather than an empty PNG.
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void paintHandwriting(QPainter& painter, const std::vector<QPainterPath>& ink, QRgb color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QPainterPath& stroke : ink)
        painter.fillPath(stroke, QColor(color));
    painter.restore();
}

QImage handwritingImage(const Handwriting& writing, double scale, std::optional<QRgb> ink)
{
    const QSize size(int(std::ceil(writing.size.width() * scale)),
                     int(std::ceil(writing.size.height() * scale)));
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(scale, scale);
    paintHandwriting(painter, handwritingInk(writing), ink.value_or(writing.ink));
    painter.end();
    return image;
}

QByteArray handwritingSvg(const Handwriting& writing, std::optional<QRgb> ink)
{
    const auto number = [](double v) { return QByteArray::number(std::round(v * 100) / 100, 'g', 10); };
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                     number(writing.size.width()) + "px\" height=\"" +
                     number(writing.size.height()) + "px\" viewBox=\"0 0 " +
                     number(writing.size.width()) + ' ' + number(writing.size.height()) + "\">\n";
    const QByteArray fill = QColor(ink.value_or(writing.ink)).name().toLatin1();
    for (const QPainterPath& stroke : handwritingInk(writing)) {
        if (stroke.isEmpty())
            continue;
        QByteArray d;
        for (int i = 0; i < stroke.elementCount(); ++i) {
            const QPainterPath::Element e = stroke.elementAt(i);
            if (e.isMoveTo()) {
                if (!d.isEmpty())
                    d += 'Z';
                d += 'M';
            } else if (e.isLineTo()) {
                d += 'L';
            } else if (e.isCurveTo()) {
                d += 'C';
            } else {
                d += ' ';
            }
            d += number(e.x) + ' ' + number(e.y);
        }
        svg += "<path fill=\"" + fill + "\" fill-rule=\"" +
               (stroke.fillRule() == Qt::WindingFill ? "nonzero" : "evenodd") + "\" d=\"" + d +
               "Z\"/>\n";
    }
    return svg + "</svg>\n";
}

QByteArray handwritingPdf(const Handwriting& writing, std::optional<QRgb> ink)
{
    const std::vector<QPainterPath> paths = handwritingInk(writing);
    if (inkBounds(paths).isEmpty())
        return {};
    return drawnPdf(writing.size, [&](QPainter& painter) {
        paintHandwriting(painter, paths, ink.value_or(writing.ink));
    });
}

namespace {

// The ink in another colour, its shading kept.
QImage inked(const QImage& ink, std::optional<QRgb> color)
{
    return color ? recoloured(ink, *color) : ink.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage scanImage(const QImage& ink, double scale, std::optional<QRgb> color)
{
    const QSize size = (scanSize(ink) * scale).toSize().expandedTo(QSize(1, 1));
    return inked(ink, color).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray scanSvg(const QImage& ink, std::optional<QRgb> color)
{
    const QSizeF size = scanSize(ink);
    const QByteArray png = pngBytes(inked(ink, color));
    const QByteArray w = QByteArray::number(size.width(), 'g', 8), h = QByteArray::number(size.height(), 'g', 8);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" + w + "px\" height=\"" + h +
           "px\" viewBox=\"0 0 " + w + ' ' + h + "\">\n<image width=\"" + w + "\" height=\"" + h +
           "\" preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64," + png.toBase64() +
           "\"/>\n</svg>\n";
}

QByteArray scanPdf(const QImage& ink, std::optional<QRgb> color)
{
    const QSizeF size = scanSize(ink);
    const QImage picture = inked(ink, color);
    return drawnPdf(size, [&](QPainter& painter) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(0, 0), size), picture);
    });
}

DrawnFiles drawnFiles(const Handwriting& writing, std::optional<QRgb> ink)
{
    return {[writing, ink](double scale) { return handwritingImage(writing, scale, ink); },
            [writing, ink] { return handwritingSvg(writing, ink); },
            [writing, ink] { return handwritingPdf(writing, ink); }, writing.size};
}

DrawnFiles drawnFiles(const QImage& scannedInk, std::optional<QRgb> ink)
{
    return {[scannedInk, ink](double scale) { return scanImage(scannedInk, scale, ink); },
            [scannedInk, ink] { return scanSvg(scannedInk, ink); },
            [scannedInk, ink] { return scanPdf(scannedInk, ink); }, scanSize(scannedInk)};
}
