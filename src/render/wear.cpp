#include "wear.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

quint32 mix(quint32 h)
{
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

double lattice(int x, int y, quint32 seed)
{
    return mix(quint32(x) * 0x9e3779b1U ^ mix(quint32(y) + seed)) / 4294967296.0;
}

// Smooth noise in [0, 1): values on a unit lattice, eased between.
double noise(double x, double y, quint32 seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const auto ease = [](double t) { return t * t * (3 - 2 * t); };
    const double u = ease(x - fx), v = ease(y - fy);
    const double top = lattice(ix, iy, seed) * (1 - u) + lattice(ix + 1, iy, seed) * u;
    const double bottom = lattice(ix, iy + 1, seed) * (1 - u) + lattice(ix + 1, iy + 1, seed) * u;
    return top * (1 - v) + bottom * v;
}

QRgb blend(QRgb from, QRgb to, double keep)
{
    const auto channel = [keep](int a, int b) { return int(std::lround(a + (b - a) * keep)); };
    return qRgba(channel(qRed(from), qRed(to)), channel(qGreen(from), qGreen(to)),
                 channel(qBlue(from), qBlue(to)), channel(qAlpha(from), qAlpha(to)));
}

// How deep, in reference pixels, the edges are eaten at most, and the noise's grain.
constexpr double EdgeDepth = 1.4;
constexpr double EdgeGrain = 3.5;
constexpr double SpeckGrain = 2.2;
constexpr double SpeckShare = 0.93; // noise above this is a speck
constexpr int Breaks = 3;

} // namespace

quint32 wearSeed(const QString& name)
{
    quint32 h = 2166136261U;
    for (const QChar c : name) {
        h ^= c.unicode();
        h *= 16777619U;
    }
    return mix(h);
}

void wearSeal(QImage& image, const QRect& area, qreal scale, const SealWear& wear,
              const std::function<QRgb(int, int)>& background)
{
    const QRect r = area.intersected(image.rect());
    if (r.isEmpty() || scale <= 0)
        return;
    const int w = r.width(), h = r.height();
    // Distance from each ink pixel to the nearest pixel without ink, in output pixels (a
    // chamfer of 3 straight, 4 diagonal, in thirds).
    constexpr int Far = 1 << 28;
    std::vector<int> dist(size_t(w) * size_t(h));
    const auto apart = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
    };
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(r.top() + y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = row[r.left() + x], back = background(r.left() + x, r.top() + y);
            const bool ink = wear.filled ? apart(p, wear.ink) < apart(p, back) : p != back;
            dist[size_t(y) * w + x] = ink ? Far : 0;
        }
    }
    const auto at = [&](int x, int y) -> int {
        return x < 0 || y < 0 || x >= w || y >= h ? 0 : dist[size_t(y) * w + x];
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (int& d = dist[size_t(y) * w + x]; d)
                d = std::min({d, at(x - 1, y) + 3, at(x, y - 1) + 3, at(x - 1, y - 1) + 4,
                              at(x + 1, y - 1) + 4});
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x)
            if (int& d = dist[size_t(y) * w + x]; d)
                d = std::min({d, at(x + 1, y) + 3, at(x, y + 1) + 3, at(x + 1, y + 1) + 4,
                              at(x - 1, y + 1) + 4});

    // The frame's breaks: short stretches across its line, at places along its four sides.
    struct Break
    {
        int side;        // 0 top, 1 right, 2 bottom, 3 left
        double along;    // reference pixels from the side's start
        double length;   // reference pixels
    };
    std::array<Break, Breaks> breaks{};
    const double widthRef = w / scale, heightRef = h / scale;
    for (int i = 0; i < Breaks; ++i) {
        const quint32 pick = mix(wear.seed + quint32(i) * 0x68e31da4U);
        const int side = int(pick % 4);
        const double span = side % 2 ? heightRef : widthRef;
        breaks[size_t(i)] = {side, span * (0.15 + 0.7 * ((pick >> 8) % 1000) / 1000.0),
                             2.5 + 3.0 * ((pick >> 20) % 100) / 100.0};
    }
    const double line = wear.frameLinePx + 0.5;
    const auto inBreak = [&](double x, double y) {
        for (const Break& b : breaks) {
            const double across = b.side == 0 ? y : b.side == 1 ? widthRef - x
                                : b.side == 2 ? heightRef - y : x;
            const double along = b.side % 2 ? y : x;
            // A filled seal's break is a bite out of its edge, not a cut through it.
            const double reach = wear.filled ? line * (1 - std::abs(along - b.along) / b.length)
                                             : line;
            if (std::abs(along - b.along) < b.length / 2 && across < reach)
                return true;
        }
        return false;
    };

    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(r.top() + y));
        for (int x = 0; x < w; ++x) {
            const int d = dist[size_t(y) * w + x];
            if (!d)
                continue;
            const double rx = (x + 0.5) / scale, ry = (y + 0.5) / scale;
            const double depth = EdgeDepth * std::pow(noise(rx / EdgeGrain, ry / EdgeGrain,
                                                            wear.seed), 2);
            double keep = std::clamp(d / 3.0 / scale - depth, 0.0, 1.0);
            if (noise(rx / SpeckGrain, ry / SpeckGrain, wear.seed ^ 0x5bd1e995U) > SpeckShare ||
                inBreak(rx, ry))
                keep = 0;
            if (keep < 1) {
                // Inside a filled seal the ink nearest is worn towards its cut characters,
                // at its edge towards what it lies on.
                const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
                const bool nearCut = wear.filled && d / 3 < edge;
                QRgb& p = row[r.left() + x];
                p = blend(nearCut ? wear.cut : background(r.left() + x, r.top() + y), p, keep);
            }
        }
    }
}
