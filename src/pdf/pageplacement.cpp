#include "pageplacement.h"

#include <QRectF>

#include <qpdf/QUtil.hh>

#include <algorithm>
#include <cmath>

namespace {

// The matrix that puts the form's box, `height` points high at scale `s`, upright at `u`, `v`
// units from the top-left corner of the page as shown, whatever the page's /Rotate.
std::string placement(const QPDFObjectHandle::Rectangle& box, int rotate, double s, double u,
                      double v, double height)
{
    double a = s, b = 0, c = 0, d = s, e = box.llx + u, f = box.ury - v - height;
    switch (rotate) {
    case 90:
        a = 0, b = s, c = -s, d = 0, e = box.llx + v + height, f = box.lly + u;
        break;
    case 180:
        a = -s, b = 0, c = 0, d = -s, e = box.urx - u, f = box.lly + v + height;
        break;
    case 270:
        a = 0, b = -s, c = s, d = 0, e = box.urx - v - height, f = box.ury - u;
        break;
    default:
        break;
    }
    std::string m;
    for (double x : {a, b, c, d, e, f})
        m += QUtil::double_to_string(x, 6) + ' ';
    return m;
}

} // namespace

ShownPage ShownPage::of(QPDFPageObjectHelper& page)
{
    ShownPage shown;
    const QPDFObjectHandle::Rectangle media = page.getMediaBox().getArrayAsRectangle();
    const QPDFObjectHandle::Rectangle crop = page.getCropBox().getArrayAsRectangle();
    shown.box = QPDFObjectHandle::Rectangle(std::max(crop.llx, media.llx),
                                            std::max(crop.lly, media.lly),
                                            std::min(crop.urx, media.urx),
                                            std::min(crop.ury, media.ury));
    QPDFObjectHandle unit = page.getObjectHandle().getKey("/UserUnit");
    if (unit.isNumber() && unit.getNumericValue() > 0 && std::isfinite(unit.getNumericValue()))
        shown.pointsPerUnit = unit.getNumericValue();
    QPDFObjectHandle rotation = page.getAttribute("/Rotate", false);
    shown.rotate = rotation.isInteger() ? ((rotation.getIntValueAsInt() % 360) + 360) % 360 : 0;
    if (shown.rotate % 90 != 0)
        shown.rotate = 0;
    const bool turned = shown.rotate == 90 || shown.rotate == 270;
    const double w = shown.box.urx - shown.box.llx, h = shown.box.ury - shown.box.lly;
    shown.width = turned ? h : w;
    shown.height = turned ? w : h;
    return shown;
}

std::variant<PagePlacement, SignError> placeOnPage(const ShownPage& page,
                                                   const QPDFObjectHandle::Rectangle& own,
                                                   QPointF atMm, std::optional<double> widthMm,
                                                   int k, int n)
{
    if (!(page.width > 0 && page.height > 0) || !std::isfinite(page.width * page.height))
        return SignError{SignError::Kind::NoPageArea};
    const double ownWidth = own.urx - own.llx, ownHeight = own.ury - own.lly;
    const double unitsPerMm = PointsPerMm / page.pointsPerUnit;
    const double scale = (widthMm ? *widthMm * PointsPerMm / ownWidth : 1.0) / page.pointsPerUnit;
    const double wholeMm = ownWidth * scale / unitsPerMm;
    const double heightMm = ownHeight * scale / unitsPerMm;
    if (!(wholeMm >= LeastVisibleMm && heightMm >= LeastVisibleMm) || !std::isfinite(scale)) {
        SignError e{SignError::Kind::TooSmall};
        e.number = std::min(wholeMm, heightMm);
        return e;
    }
    // The part of the signature this page shows: all of it, or across the pages, its k-th slice
    // from the left, at the page's right edge, so that the pages fanned out show the whole seal.
    const bool across = n > 1;
    const double sliceWidth = across ? ownWidth / double(n) : ownWidth;
    if (across && wholeMm / n < LeastVisibleMm) {
        SignError e{SignError::Kind::SliceTooNarrow};
        e.number = wholeMm / n;
        e.count = qint64(std::floor(wholeMm / LeastVisibleMm));
        return e;
    }
    const double sliceLeft = across ? sliceWidth * double(k) : 0;
    const double atX = across ? page.width - sliceWidth * scale : atMm.x() * unitsPerMm;
    const double atY = atMm.y() * unitsPerMm;
    const QRectF shows = QRectF(0, 0, page.width, page.height)
                             .intersected(QRectF(atX, atY, sliceWidth * scale, ownHeight * scale));
    const double shownMm = std::min(shows.width(), shows.height()) / unitsPerMm;
    if (!(shownMm >= LeastVisibleMm)) {
        SignError e{SignError::Kind::OffPage};
        e.number = std::max(0.0, shownMm);
        return e;
    }
    return PagePlacement{placement(page.box, page.rotate, scale, atX - sliceLeft * scale, atY,
                                   ownHeight * scale),
                         QPDFObjectHandle::Rectangle(own.llx + sliceLeft, own.lly,
                                                     own.llx + sliceLeft + sliceWidth, own.ury)};
}

std::string fittedInto(const QPDFObjectHandle::Rectangle& own,
                       const QPDFObjectHandle::Rectangle& rect)
{
    const double ownWidth = own.urx - own.llx, ownHeight = own.ury - own.lly;
    const double width = std::abs(rect.urx - rect.llx), height = std::abs(rect.ury - rect.lly);
    const double s = std::min(width / ownWidth, height / ownHeight);
    const double e = std::min(rect.llx, rect.urx) + (width - ownWidth * s) / 2 - own.llx * s;
    const double f = std::min(rect.lly, rect.ury) + (height - ownHeight * s) / 2 - own.lly * s;
    std::string m;
    for (double x : {s, 0.0, 0.0, s, e, f})
        m += QUtil::double_to_string(x, 6) + ' ';
    return m;
}

QPDFObjectHandle::Rectangle placedRectangle(const std::string& matrix,
                                            const QPDFObjectHandle::Rectangle& slice)
{
    const QPDFObjectHandle::Matrix m =
        QPDFObjectHandle::parse("[" + matrix + "]").getArrayAsMatrix();
    double left = 1e300, bottom = 1e300, right = -1e300, top = -1e300;
    for (const double x : {slice.llx, slice.urx})
        for (const double y : {slice.lly, slice.ury}) {
            const double px = m.a * x + m.c * y + m.e, py = m.b * x + m.d * y + m.f;
            left = std::min(left, px), right = std::max(right, px);
            bottom = std::min(bottom, py), top = std::max(top, py);
        }
    return QPDFObjectHandle::Rectangle(left, bottom, right, top);
}
