#include "scannedink.h"

#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Worked on at most this many pixels on its long side: a signature's strokes stay several
// pixels wide, and a camera's picture is read in a fraction of a second.
constexpr int WorkingSide = 2400;
constexpr int LeastInkPixels = 40;

// The paper's brightness everywhere: the bright end of each block, blocks joined smoothly.
std::vector<float> paperLight(const std::vector<float>& grey, int w, int h)
{
    const int block = std::max(16, std::min(w, h) / 12);
    const int bw = (w + block - 1) / block, bh = (h + block - 1) / block;
    std::vector<float> blocks(size_t(bw) * size_t(bh));
    std::vector<float> values;
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            values.clear();
            for (int y = by * block; y < std::min(h, (by + 1) * block); ++y)
                for (int x = bx * block; x < std::min(w, (bx + 1) * block); ++x)
                    values.push_back(grey[size_t(y) * size_t(w) + size_t(x)]);
            // Most of a block is paper: its 80th percentile is the paper's light there, however
            // much ink crosses it.
            auto at = values.begin() + qsizetype(values.size() * 8 / 10);
            std::nth_element(values.begin(), at, values.end());
            blocks[size_t(by) * size_t(bw) + size_t(bx)] = std::max(*at, 0.02f);
        }
    std::vector<float> light(grey.size());
    for (int y = 0; y < h; ++y) {
        const float fy = std::clamp((y + 0.5f) / block - 0.5f, 0.0f, float(bh - 1));
        const int y0 = int(fy), y1 = std::min(y0 + 1, bh - 1);
        const float ty = fy - float(y0);
        for (int x = 0; x < w; ++x) {
            const float fx = std::clamp((x + 0.5f) / block - 0.5f, 0.0f, float(bw - 1));
            const int x0 = int(fx), x1 = std::min(x0 + 1, bw - 1);
            const float tx = fx - float(x0);
            const auto b = [&](int bx, int by) { return blocks[size_t(by) * size_t(bw) + size_t(bx)]; };
            light[size_t(y) * size_t(w) + size_t(x)] =
                (b(x0, y0) * (1 - tx) + b(x1, y0) * tx) * (1 - ty) +
                (b(x0, y1) * (1 - tx) + b(x1, y1) * tx) * ty;
        }
    }
    return light;
}

// Otsu's threshold over how much darker than the paper each pixel is (0 to 1).
float threshold(const std::vector<float>& dark)
{
    std::array<double, 256> histogram{};
    for (const float d : dark)
        histogram[size_t(std::clamp(int(d * 255), 0, 255))] += 1;
    const double total = double(dark.size());
    double sum = 0;
    for (int i = 0; i < 256; ++i)
        sum += i * histogram[size_t(i)];
    double below = 0, belowSum = 0, best = 0;
    int at = 0;
    for (int i = 0; i < 256; ++i) {
        below += histogram[size_t(i)];
        belowSum += i * histogram[size_t(i)];
        if (below == 0 || below == total)
            continue;
        const double m0 = belowSum / below, m1 = (sum - belowSum) / (total - below);
        const double between = below * (total - below) * (m0 - m1) * (m0 - m1);
        if (between > best) {
            best = between;
            at = i;
        }
    }
    return float(at) / 255;
}

} // namespace

QSizeF scanSize(const QImage& ink)
{
    const QSizeF pad = PadSize;
    const QSizeF own = ink.size();
    return own.width() <= pad.width() && own.height() <= pad.height()
               ? own
               : own.scaled(pad, Qt::KeepAspectRatio);
}

std::variant<QImage, ScanError> readScan(const QString& path)
{
    // Every photograph up to the largest this program takes is read, however Qt caps them.
    constexpr int Megabytes = int(LargestScanPixels * 4 / (1024 * 1024)) + 16;
    if (QImageReader::allocationLimit() < Megabytes)
        QImageReader::setAllocationLimit(Megabytes);
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid())
        return ScanError::Unreadable;
    if (qint64(size.width()) * size.height() > LargestScanPixels)
        return ScanError::TooLarge;
    // Read at the working size at once: a large photograph is never held whole.
    const double scale = std::min(1.0, double(WorkingSide) / std::max(size.width(), size.height()));
    if (scale < 1)
        reader.setScaledSize((QSizeF(size) * scale).toSize().expandedTo(QSize(1, 1)));
    const QImage photo = reader.read();
    if (photo.isNull())
        return ScanError::Unreadable;
    return inkFromScan(photo);
}

std::variant<QImage, ScanError> inkFromScan(const QImage& input)
{
    if (input.isNull())
        return ScanError::Unreadable;
    QImage photo = input.convertToFormat(QImage::Format_RGB32);
    if (std::max(photo.width(), photo.height()) > WorkingSide)
        photo = photo.scaled(WorkingSide, WorkingSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const int w = photo.width(), h = photo.height();
    std::vector<float> grey(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(photo.constScanLine(y));
        for (int x = 0; x < w; ++x)
            grey[size_t(y) * size_t(w) + size_t(x)] = float(qGray(row[x])) / 255;
    }
    const std::vector<float> light = paperLight(grey, w, h);
    std::vector<float> dark(grey.size());
    for (size_t i = 0; i < grey.size(); ++i)
        dark[i] = std::clamp(1 - grey[i] / light[i], 0.0f, 1.0f);
    // The grain of paper and a camera's noise stay below a sixth of the way to black.
    const float t = std::max(threshold(dark), 0.16f);

    std::vector<uchar> ink(dark.size(), 0);
    for (size_t i = 0; i < dark.size(); ++i)
        ink[i] = dark[i] > t;
    // Specks: pieces of ink smaller than a pen's dot at this size are the paper's.
    const int leastPiece = std::max(6, (w + h) / 400);
    std::vector<int> piece;
    int kept = 0;
    for (int start = 0; start < w * h; ++start) {
        if (ink[size_t(start)] != 1)
            continue;
        piece = {start};
        ink[size_t(start)] = 2;
        for (size_t k = 0; k < piece.size(); ++k) {
            const int x = piece[k] % w, y = piece[k] / w;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h)
                        continue;
                    const size_t n = size_t(ny) * size_t(w) + size_t(nx);
                    if (ink[n] == 1) {
                        ink[n] = 2;
                        piece.push_back(int(n));
                    }
                }
        }
        const bool speck = int(piece.size()) < leastPiece;
        for (const int i : piece)
            ink[size_t(i)] = speck ? 0 : 3;
        kept += speck ? 0 : int(piece.size());
    }
    if (kept < LeastInkPixels)
        return ScanError::NoInk;

    // The ink's colour: the mean of its darkest pixels, as the pen wrote it.
    QRect box;
    double r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (ink[i] != 3)
                continue;
            box |= QRect(x, y, 1, 1);
            if (dark[i] > (1 + t) / 2) {
                const QRgb p = photo.pixel(x, y);
                r += qRed(p), g += qGreen(p), b += qBlue(p), n += 1;
            }
        }
    const QRgb colour = n > 0 ? qRgb(int(r / n), int(g / n), int(b / n)) : qRgb(0, 0, 0);
    const int margin = std::max(2, (box.width() + box.height()) / 80);
    box = box.adjusted(-margin, -margin, margin, margin).intersected(photo.rect());
    QImage out(box.size(), QImage::Format_ARGB32);
    out.fill(Qt::transparent);
    for (int y = 0; y < box.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < box.width(); ++x) {
            const size_t i = size_t(y + box.top()) * size_t(w) + size_t(x + box.left());
            // Kept ink and its soft edge: how dark it is, from half the threshold to full ink.
            const bool nearInk = ink[i] == 3 ||
                                 (dark[i] > t / 2 && [&] {
                                     for (int dy = -1; dy <= 1; ++dy)
                                         for (int dx = -1; dx <= 1; ++dx) {
                                             const int nx = x + box.left() + dx, ny = y + box.top() + dy;
                                             if (nx >= 0 && ny >= 0 && nx < w && ny < h &&
                                                 ink[size_t(ny) * size_t(w) + size_t(nx)] == 3)
                                                 return true;
                                         }
                                     return false;
                                 }());
            if (!nearInk)
                continue;
            const float a = std::clamp((dark[i] - t / 2) / (std::min(1.0f, t * 2) - t / 2), 0.0f, 1.0f);
            row[x] = qRgba(qRed(colour), qGreen(colour), qBlue(colour), int(a * 255 + 0.5f));
        }
    }
    return out;
}

DrawnSignature drawnSignature(const QImage& ink)
{
    return {{}, ink, scanSize(ink)};
}
