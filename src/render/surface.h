#pragma once

#include "wear.h"

#include <QPointF>
#include <QRectF>
#include <QRgb>
#include <QString>
#include <QStringList>

// The drawing surface the renderer draws on. Positions and sizes are twips (15 twips make one
// pixel at 96 dpi; 20 twips make one point), origin top-left, y downwards.
class Surface
{
public:
    virtual ~Surface() = default;

    virtual void clear() = 0;
    // False when the file cannot be loaded; the surface then shows no picture.
    virtual bool setBackground(const QString& path) = 0;
    virtual void setFontName(const QString& face) = 0;
    // Names the file the face just selected comes from, so that two files whose fonts share a
    // family name are never taken for one another.
    virtual void setFontSource(const QString&) {}
    // Faces that draw the characters a selected face lacks.
    virtual void setFallbackFaces(const QStringList&) {}
    virtual void setFontSize(double points) = 0;
    virtual void setInkColor(QRgb ink) = 0;

    virtual double textWidth(const QString& s) = 0;
    virtual double textHeight(const QString& s) = 0;
    // Where the ink of s falls when it is drawn with its top-left at the origin. A surface that
    // knows no outlines takes the text's box for its ink.
    virtual QRectF textInk(const QString& s) { return {0, 0, textWidth(s), textHeight(s)}; }
    virtual double innerWidth() const = 0;
    virtual double innerHeight() const = 0;

    // Draws s with its top-left corner at `at`.
    virtual void drawText(QPointF at, const QString& s) = 0;
    // A rectangle, corners inclusive: filled, or its outline `linePx` reference pixels wide
    // inside the corners.
    virtual void drawFrame(double x1, double y1, double x2, double y2, QRgb color, bool filled,
                           int linePx) = 0;
    // Wears what was drawn inside the rectangle as a seal wears: a picture's pixels do, a
    // vector drawing keeps its clean outlines.
    virtual void wear(double /*x1*/, double /*y1*/, double /*x2*/, double /*y2*/,
                      const SealWear& /*how*/) {}
};

// The rectangle of the handle over the drawn text, which a person takes hold of to drag it:
// twips inside the surface, in single precision as the drag arithmetic needs. Empty until a
// drawing places it.
struct TextHandleRect
{
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;

    void place(double l, double t, double w, double h)
    {
        left = float(l);
        top = float(t);
        width = float(w);
        height = float(h);
    }
};
