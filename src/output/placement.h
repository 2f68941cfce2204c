#pragma once

#include <QPoint>
#include <QSize>

// Where a window goes to sit centred on the whole primary screen: the screen's size in pixels
// comes from its size in twips and the twips per pixel, each rounded to a whole number (halves
// to even), the quotients truncated toward zero; `frame` is the window's own outer rectangle.
QPoint centredPosition(double screenWidthTwips, double screenHeightTwips, double twipsPerPixelX,
                       double twipsPerPixelY, QSize frame);
