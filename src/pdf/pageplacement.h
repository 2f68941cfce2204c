#pragma once

#include "signerror.h"

#include <QPointF>

#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <optional>
#include <string>
#include <variant>

inline constexpr double PointsPerMm = 72 / 25.4;

// A page as a viewer shows it: the crop box where it lies on the media box, in the page's own
// units (which /UserUnit makes larger than points), turned by /Rotate.
struct ShownPage
{
    QPDFObjectHandle::Rectangle box;
    int rotate = 0;             // 0, 90, 180 or 270
    double pointsPerUnit = 1;
    double width = 0, height = 0; // as shown, in units

    static ShownPage of(QPDFPageObjectHelper& page);
};

// What part of the signature a page shows and where: the matrix that puts the signature's form
// there, and the part of the form's box that shows (all of it, or a seal's slice).
struct PagePlacement
{
    std::string matrix;
    QPDFObjectHandle::Rectangle slice;
};

// Where the signature's form, whose box is `own`, goes on `page`: its top-left corner at `atMm`
// as the page shows, `widthMm` wide (its own width where none), upright whatever the page's
// turn; across pages, the k-th of n slices at the page's right edge. Refused where less than a
// millimetre of it would show, or it would be narrower than that.
std::variant<PagePlacement, SignError> placeOnPage(const ShownPage& page,
                                                   const QPDFObjectHandle::Rectangle& own,
                                                   QPointF atMm, std::optional<double> widthMm,
                                                   int k, int n);

// The matrix that puts the form, `own`, whole and upright in the middle of `rect`, a rectangle
// in page space (a signature field's widget), as large as it fits.
std::string fittedInto(const QPDFObjectHandle::Rectangle& own,
                       const QPDFObjectHandle::Rectangle& rect);

// Where `slice` of a form falls on the page under `matrix`.
QPDFObjectHandle::Rectangle placedRectangle(const std::string& matrix,
                                            const QPDFObjectHandle::Rectangle& slice);

// The least a signature may show of itself on a page, or be wide, in millimetres: less is a
// mark nobody can see.
inline constexpr double LeastVisibleMm = 1;
