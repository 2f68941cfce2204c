#include "stampoptions.h"

#include <QStringList>

namespace {

// A page is at most 5,080 mm (200 in) each way.
bool onAPage(double mm)
{
    return mm >= 0 && mm <= 5080;
}

} // namespace

std::optional<QPointF> placeOf(const QString& text)
{
    const QStringList xy = text.split(u',');
    bool okX = false, okY = false;
    if (xy.size() != 2)
        return std::nullopt;
    const QPointF at(xy[0].trimmed().toDouble(&okX), xy[1].trimmed().toDouble(&okY));
    if (!okX || !okY || !onAPage(at.x()) || !onAPage(at.y()))
        return std::nullopt;
    return at;
}

std::optional<double> widthOf(const QString& text)
{
    bool ok = false;
    const double mm = text.toDouble(&ok);
    if (!ok || !(mm > 0 && mm <= 5080))
        return std::nullopt;
    return mm;
}
