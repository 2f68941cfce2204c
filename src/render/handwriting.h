#pragma once

#include <QByteArray>
#include <QImage>
#include <QPainterPath>

class QPainter;
#include <QRgb>
#include <QSizeF>

#include <variant>
#include <vector>

// A signature written by hand on the pad: the pen's points as they came, kept so that the ink
// can be drawn again, the same every time, at any size. Coordinates are reference pixels (the
// picture's: 96 to the inch).
struct PenPoint
{
    double x = 0;
    double y = 0;
    double ms = 0;        // since the stroke began
    double pressure = -1; // 0 to 1 as a pen reports it; below 0: none, taken from the speed
};
using PenStroke = std::vector<PenPoint>;

struct Handwriting
{
    std::vector<PenStroke> strokes;
    double penWidth = 5; // the full line, where the pen presses hardest or moves slowest
    QRgb ink = 0xFF000000;
    QSizeF size;         // of what it was written on, or trimmed to
};

// The pad written on, in reference pixels: three pictures across.
inline constexpr QSizeF PadSize{1164, 783};

// More points than a signature ever has: a file holding more is refused, not read for minutes.
constexpr int MostPenPoints = 200'000;

// The ink one stroke leaves: one outline, its width following the pressure (or the speed: a
// quick line is thinner), its points drawn toward the pen's path smoothly, its ends tapered;
// a tap is a dot of the pen's width.
// Its curve is drawn a point every `step` pixels at most.
inline constexpr double CurveStep = 1.5;
inline constexpr double MostCurveSamples = 100'000; // for a whole signature
QPainterPath strokeInk(const PenStroke& stroke, double penWidth, double step = CurveStep);
// Every stroke's ink, one outline a stroke, in the order written.
std::vector<QPainterPath> handwritingInk(const Handwriting& writing);

// A signature written by hand as a picture shows it: the ink of its strokes, or of a
// photograph of it, in reference pixels of the pad, the box `size` trimmed to the ink.
struct DrawnSignature
{
    std::vector<QPainterPath> strokes;
    QImage scan; // the photograph's ink, where it is one; any colour, its alpha the ink
    QSizeF size;
};
DrawnSignature drawnSignature(const Handwriting& writing);
// Paints `drawn` in `ink`, scaled into `box` (the painter's units).
void paintDrawn(QPainter& painter, const DrawnSignature& drawn, const QRectF& box, QRgb ink);
// A photograph's ink in `color`, its shading kept.
QImage recoloured(const QImage& ink, QRgb color);
// The box of all the ink; empty where there is none.
QRectF inkBounds(const std::vector<QPainterPath>& ink);
// The writing moved so that its ink lies `margin` from every edge of its new size.
Handwriting trimmed(const Handwriting& writing, double margin);

enum class HandwritingError {
    Unreadable,   // not JSON, or not an object
    NotOurs,      // JSON of something else
    NewerVersion, // written by a later version of the program
    Malformed,    // ours, but a value is missing, not a number or out of range
    TooManyPoints,
    NoInk,
};

// Kept as a small JSON file, versioned.
QByteArray handwritingJson(const Handwriting& writing);
std::variant<Handwriting, HandwritingError> readHandwriting(const QByteArray& json);
