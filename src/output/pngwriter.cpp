#include "pngwriter.h"

#include <QIODevice>

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int BandRows = 16;

// The picture in the 32-bit format the rows are read from; no copy when it is in it already.
QImage inRowFormat(const QImage& image)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return image.format() == format ? image : image.convertToFormat(format);
}

// One row as PNG keeps it: a filter byte, then RGB or RGBA with each byte less the one a pixel
// before ("sub"), which costs little and compresses pictures well.
void appendRow(const QRgb* pixels, int width, bool alpha, QByteArray& out)
{
    const int channels = alpha ? 4 : 3;
    const qsizetype start = out.size();
    out.resize(start + 1 + qsizetype(width) * channels);
    auto* row = reinterpret_cast<uchar*>(out.data()) + start;
    *row++ = 1; // sub
    if (!alpha) {
        uint r0 = 0, g0 = 0, b0 = 0;
        for (int x = 0; x < width; ++x) {
            const QRgb c = pixels[x];
            const uint r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            row[0] = uchar(r - r0);
            row[1] = uchar(g - g0);
            row[2] = uchar(b - b0);
            row += 3;
            r0 = r;
            g0 = g;
            b0 = b;
        }
        return;
    }
    uchar previous[4] = {0, 0, 0, 0};
    for (int x = 0; x < width; ++x) {
        const QRgb c = qUnpremultiply(pixels[x]);
        const uchar now[4] = {uchar(qRed(c)), uchar(qGreen(c)), uchar(qBlue(c)), uchar(qAlpha(c))};
        for (int k = 0; k < 4; ++k) {
            *row++ = uchar(now[k] - previous[k]);
            previous[k] = now[k];
        }
    }
}

// The filtered rows [first, last]; each row from `changed` where it holds it, else from the
// background.
QByteArray filteredRows(const QImage& background, const QImage& changed, int firstChanged,
                        int first, int last)
{
    const bool alpha = background.hasAlphaChannel();
    QByteArray raw;
    raw.reserve(qsizetype(last - first + 1) * (1 + background.width() * (alpha ? 4 : 3)));
    for (int y = first; y <= last; ++y) {
        const int inChanged = y - firstChanged;
        const QImage& from = inChanged >= 0 && inChanged < changed.height() ? changed : background;
        const int row = &from == &changed ? inChanged : y;
        appendRow(reinterpret_cast<const QRgb*>(from.constScanLine(row)), background.width(), alpha,
                  raw);
    }
    return raw;
}

// libdeflate's checksums: the same numbers as zlib's, several times as fast, which a batch
// notices (zlib's took a tenth of the time spent compressing).
quint32 adlerOf(const QByteArray& raw)
{
    return libdeflate_adler32(1, raw.constData(), size_t(raw.size()));
}

// A raw deflate piece that ends on a full flush: byte-aligned and referring to nothing before
// it, so that pieces made at different times can be joined.
bool deflatePiece(const QByteArray& raw, QByteArray& out)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(qsizetype(deflateBound(&stream, uLong(raw.size()))) + 16);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
    stream.avail_in = uInt(raw.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const bool ok = deflate(&stream, Z_FULL_FLUSH) == Z_OK && stream.avail_in == 0;
    out.resize(out.size() - qsizetype(stream.avail_out));
    deflateEnd(&stream);
    return ok;
}

// The last part of a stream, final block included: libdeflate compresses about twice as fast
// as zlib's quickest level, but only whole streams.
bool deflateTail(const QByteArray& raw, QByteArray& out)
{
    static thread_local std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)>
        compressor(libdeflate_alloc_compressor(1), libdeflate_free_compressor);
    if (!compressor)
        return false;
    const size_t bound = libdeflate_deflate_compress_bound(compressor.get(), size_t(raw.size()));
    const qsizetype start = out.size();
    out.resize(start + qsizetype(bound));
    const size_t n = libdeflate_deflate_compress(compressor.get(), raw.constData(),
                                                 size_t(raw.size()), out.data() + start, bound);
    out.resize(start + qsizetype(n));
    return n > 0;
}

void bigEndian(QByteArray& out, quint32 v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(bytes, 4);
}

void chunk(QByteArray& out, const char* type, const QByteArray& data)
{
    bigEndian(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    bigEndian(out, libdeflate_crc32(0, out.constData() + start, size_t(out.size() - start)));
}

bool writePng(const QImage& picture, const QByteArray& zlibStream, QIODevice& device)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    bigEndian(header, quint32(picture.width()));
    bigEndian(header, quint32(picture.height()));
    const char rest[5] = {8, char(picture.hasAlphaChannel() ? 6 : 2), 0, 0, 0};
    header.append(rest, 5);
    chunk(png, "IHDR", header);
    if (picture.dotsPerMeterX() > 0 && picture.dotsPerMeterY() > 0) {
        QByteArray density;
        bigEndian(density, quint32(picture.dotsPerMeterX()));
        bigEndian(density, quint32(picture.dotsPerMeterY()));
        density.append(char(1)); // per metre
        chunk(png, "pHYs", density);
    }
    chunk(png, "IDAT", zlibStream);
    chunk(png, "IEND", {});
    return device.write(png) == png.size();
}

// The zlib stream of a picture: the background's bands down to the first changed one, then
// everything from there compressed afresh.
bool zlibStreamOf(const PngBackground* kept, const QImage& background, const QImage& changed,
                  int firstChanged, QByteArray& stream)
{
    stream = QByteArray("\x78\x01", 2);
    quint32 adler = 1;
    int from = 0;
    if (kept) {
        const int reusable = changed.isNull() ? background.height() : firstChanged;
        for (; from + BandRows <= std::max(reusable, 0) &&
               size_t(from / BandRows) < kept->bands().size();
             from += BandRows) {
            const PngBackground::Band& band = kept->bands()[size_t(from / BandRows)];
            if (band.length < 0)
                return false;
            stream.append(band.deflated);
            adler = quint32(adler32_combine(adler, band.adler, band.length));
        }
    }
    if (from >= background.height()) {
        stream.append("\x03\x00", 2); // an empty final block after the last full flush
    } else {
        const QByteArray raw =
            filteredRows(background, changed, firstChanged, from, background.height() - 1);
        if (!deflateTail(raw, stream))
            return false;
        adler = quint32(adler32_combine(adler, adlerOf(raw), raw.size()));
    }
    bigEndian(stream, adler);
    return true;
}

} // namespace

PngBackground::PngBackground(const QImage& background)
    : picture_(inRowFormat(background)), cacheKey_(background.cacheKey())
{
    for (int first = 0; first < picture_.height(); first += BandRows) {
        const int last = std::min(first + BandRows, picture_.height()) - 1;
        const QByteArray raw = filteredRows(picture_, QImage(), 0, first, last);
        Band band;
        band.length = raw.size();
        band.adler = adlerOf(raw);
        if (!deflatePiece(raw, band.deflated))
            band.length = -1;
        bands_.push_back(std::move(band));
    }
}

bool writeFastPng(const QImage& source, QIODevice& device)
{
    if (source.isNull())
        return false;
    const QImage image = inRowFormat(source);
    QByteArray stream;
    return zlibStreamOf(nullptr, image, QImage(), 0, stream) && writePng(image, stream, device);
}

bool writeFastPng(const PngBackground& background, const QImage& source, int firstChanged,
                  QIODevice& device)
{
    const QImage& picture = background.picture();
    if (picture.isNull())
        return false;
    const QImage changed = source.isNull() || source.format() == picture.format()
                               ? source
                               : source.convertToFormat(picture.format());
    QByteArray stream;
    return zlibStreamOf(&background, picture, changed, firstChanged, stream) &&
           writePng(picture, stream, device);
}
