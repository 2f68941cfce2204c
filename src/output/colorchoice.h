#pragma once

#include <QPoint>
#include <QRect>

// Where CenterDialogHook moves a dialog: centred on the whole primary screen, whose size in
// pixels comes from its size in twips and the twips per pixel, each rounded to a whole number
// (halves to even), the quotients truncated toward zero.
QPoint CenterDialogHook(double screenWidthTwips, double screenHeightTwips, double twipsPerPixelX,
                        double twipsPerPixelY, const QRect& dialog);
