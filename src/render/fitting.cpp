#include "fitting.h"

#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <optional>

double fittedSize(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames)
{
    if (!spec.style)
        return spec.points;
    const QSizeF inside((SurfaceWidthPx - 2 * FitMarginPx) * TwipsPerPixel,
                        (SurfaceHeightPx - 2 * FitMarginPx) * TwipsPerPixel);
    SignatureSpec trial = spec;
    trial.position.reset();
    const auto inkAt = [&](double points) {
        trial.points = points;
        return layOut(trial, faces, surnames).inkBox;
    };
    const auto fits = [&](const QRectF& ink) {
        return ink.width() <= inside.width() && ink.height() <= inside.height();
    };
    const QRectF usual = inkAt(spec.points);
    if (usual.isEmpty() || fits(usual))
        return spec.points;

    // Half points. Ink grows about in proportion to the size, so the size that would just fit
    // in proportion is tried first, then its neighbour; a bisection of what is left finds the
    // answer where the guess was off. Never below 8 points, nor below a smaller size asked.
    int lo = int(SmallestFittedSize * 2);
    int hi = int(std::ceil(spec.points * 2)) - 1;
    if (lo > hi)
        return spec.points;
    const auto probe = [&](int halves) {
        if (fits(inkAt(halves / 2.0)))
            lo = halves;
        else
            hi = halves - 1;
    };
    const double k = std::min(inside.width() / usual.width(), inside.height() / usual.height());
    const int guess = std::clamp(int(std::floor(spec.points * 2 * k)), lo, hi);
    probe(guess);
    if (lo == guess && guess < hi)
        probe(guess + 1);
    else if (hi == guess - 1 && guess - 1 >= lo)
        probe(guess - 1);
    while (lo < hi)
        probe(lo + (hi - lo + 1) / 2);
    return lo / 2.0;
}
