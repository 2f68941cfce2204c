#pragma once

#include "render/handwriting.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>

class QPainter;

// A picture as a PNG file's bytes.
QByteArray pngBytes(const QImage& image);

// A drawn signature as the files it is kept as: each stroke one filled outline, in its ink or
// in `ink` where given. Pixels, SVG and PDF show the same outlines the pad shows.
void paintHandwriting(QPainter& painter, const std::vector<QPainterPath>& ink, QRgb color);
// Transparent, `scale` times the writing's size.
QImage handwritingImage(const Handwriting& writing, double scale, std::optional<QRgb> ink = {});
QByteArray handwritingSvg(const Handwriting& writing, std::optional<QRgb> ink = {});
// One page the writing's size: what is put onto a document.
QByteArray handwritingPdf(const Handwriting& writing, std::optional<QRgb> ink = {});

// A signature written on paper, its ink taken from a photograph (scannedink.h), as the same
// files: the picture at `scale` times its size, an SVG holding it, a PDF page its size.
QImage scanImage(const QImage& ink, double scale, std::optional<QRgb> color = {});
QByteArray scanSvg(const QImage& ink, std::optional<QRgb> color = {});
QByteArray scanPdf(const QImage& ink, std::optional<QRgb> color = {});

// Either kind of signature by hand as the files it becomes, whichever it is: the picture at a
// scale, the SVG, the PDF, and its size in reference pixels.
struct DrawnFiles
{
    std::function<QImage(double scale)> image;
    std::function<QByteArray()> svg;
    std::function<QByteArray()> pdf;
    QSizeF size;
};
DrawnFiles drawnFiles(const Handwriting& writing, std::optional<QRgb> ink = {});
DrawnFiles drawnFiles(const QImage& scannedInk, std::optional<QRgb> ink = {});
