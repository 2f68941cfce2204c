#include "placement.h"

#include <cmath>

static long long wholeOf(double v)
{
    return std::isfinite(v) ? static_cast<long long>(std::nearbyint(v)) : 0;
}

QPoint centredPosition(double screenWidthTwips, double screenHeightTwips, double twipsPerPixelX,
                       double twipsPerPixelY, QSize frame)
{
    const long long tx = wholeOf(twipsPerPixelX);
    const long long ty = wholeOf(twipsPerPixelY);
    const long long screenW = tx != 0 ? wholeOf(screenWidthTwips) / tx : 0;
    const long long screenH = ty != 0 ? wholeOf(screenHeightTwips) / ty : 0;
    const long long w = frame.width();
    const long long h = frame.height();
    return QPoint(int((screenW - w) / 2), int((screenH - h) / 2));
}
