#pragma once

#include <QPointF>
#include <QString>

#include <optional>

// Where a signature goes on a page, as the command line and a batch's rows give it: "X,Y" in
// millimetres from the page's top-left corner, on a page (at most 5,080 mm each way); a width in
// millimetres.
std::optional<QPointF> placeOf(const QString& text);
std::optional<double> widthOf(const QString& text);
