#pragma once

#include <QByteArray>
#include <QImage>

#include <vector>

class QIODevice;

// A background's PNG data compressed once: rows in bands, each band compressed on its own, so
// that a picture drawn over the background reuses the bands above its drawing. A batch of
// signatures over one background compresses much of every picture only once.
class PngBackground
{
public:
    // `background` as the pictures show it: the same size and transparency.
    explicit PngBackground(const QImage& background);

    struct Band
    {
        QByteArray deflated; // ends on a full flush: byte-aligned, independent of the others
        quint32 adler = 1;
        qsizetype length = 0; // of the data before compression; -1 when it failed
    };
    const std::vector<Band>& bands() const { return bands_; }
    const QImage& picture() const { return picture_; }
    qint64 cacheKey() const { return cacheKey_; }

private:
    QImage picture_;
    std::vector<Band> bands_;
    qint64 cacheKey_;
};

// Writes a PNG fast: the cheap "sub" row filter and a quick compression. Opaque pictures are
// written as RGB, others as RGBA; the density is kept.
bool writeFastPng(const QImage& image, QIODevice& device);

// The same for a picture that is `background` but for the rows `changed` holds, which begin at
// row `firstChanged`.
bool writeFastPng(const PngBackground& background, const QImage& changed, int firstChanged,
                  QIODevice& device);
