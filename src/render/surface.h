#pragma once

#include "layout.h"

#include <QString>

// A picture a layout is painted on, its background first. Positions and sizes are twips (15
// twips make one pixel at 96 dpi; 20 twips make one point), origin top-left, y downwards.
class Surface : public Painter
{
public:
    virtual void clear() = 0;
    // False when the file cannot be loaded; the surface then shows no picture.
    virtual bool setBackground(const QString& path) = 0;
};

// Draws a picture afresh: its background (none where `background` is empty), then the layout.
inline void drawPicture(Surface& surface, const QString& background, const Layout& layout)
{
    surface.clear();
    surface.setBackground(background);
    paint(layout, surface);
}
