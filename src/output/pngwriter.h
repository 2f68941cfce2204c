#pragma once

#include <QImage>

class QIODevice;

// Writes a PNG fast: zlib's quickest level and the cheap "sub" row filter instead of libpng's
// adaptive choice, which on a textured background costs more than the drawing itself.
// Opaque pictures are written as RGB, others as RGBA; the density is kept.
bool writeFastPng(const QImage& image, QIODevice& device);
