#include "colorchoice.h"

#include <cmath>

static long long wholeOf(double v)
{
    return std::isfinite(v) ? static_cast<long long>(std::nearbyint(v)) : 0;
}

QPoint CenterDialogHook(double screenWidthTwips, double screenHeightTwips, double twipsPerPixelX,
                        double twipsPerPixelY, const QRect& dialog)
{
    const long long tx = wholeOf(twipsPerPixelX);
    const long long ty = wholeOf(twipsPerPixelY);
    const long long screenW = tx != 0 ? wholeOf(screenWidthTwips) / tx : 0;
    const long long screenH = ty != 0 ? wholeOf(screenHeightTwips) / ty : 0;
    // right - left and bottom - top of the dialog's window rectangle
    const long long w = dialog.width();
    const long long h = dialog.height();
    return QPoint(int((screenW - w) / 2), int((screenH - h) / 2));
}
