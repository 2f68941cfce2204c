#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class FontTable;

// A face as the layout selected it, all a painter needs to draw with it: the family its
// registration answers to, the registration itself (two files whose fonts share a family are
// never taken for one another), and the faces that draw what it lacks.
struct RunFace
{
    QString family;
    QString source;
    QStringList fallbacks;

    bool operator==(const RunFace&) const = default;
};

// Where the ink of a text lies, band by band down from `top` (twips from the text's top-left
// corner): the leftmost and rightmost ink in each band. A band without ink holds left > right.
// No bands: nothing is known of the ink's shape.
struct InkProfile
{
    double top = 0;
    double band = 0;
    std::vector<double> left, right;
};

// The least room between two characters' ink, and the height of a profile's bands: a hair, a
// fiftieth of the size.
inline double hairAt(double points)
{
    return points * 20 / 50;
}

// Keeps a font file registered for as long as it is held.
using FontHold = std::shared_ptr<const void>;

// What the layout measures with: the faces of font files, and text measured in them at the
// 96-dpi reference, in twips, whatever the output.
class Faces
{
public:
    virtual ~Faces() = default;

    // The face `face` of the file at `file`, registered while `hold` lives, with the faces that
    // draw the characters of `text` it lacks.
    virtual RunFace select(const QString& file, const QString& face, const QString& text,
                           FontHold& hold) = 0;
    // The advance of `text`, the line height, and where the ink of `text` falls relative to its
    // top-left corner (empty where it has none).
    virtual double width(const RunFace& face, double points, const QString& text) = 0;
    virtual double height(const RunFace& face, double points) = 0;
    virtual QRectF ink(const RunFace& face, double points, const QString& text) = 0;
    // The shape of the ink of `text`, in bands a hair high.
    virtual InkProfile profile(const RunFace&, double, const QString&) { return {}; }
    // Whether a character of `text` is drawn by another face than `face`: in another hand.
    virtual bool fallsBack(const RunFace&, double, const QString&) { return false; }
    // Whether a character of `text` shows as the empty box the face draws for what it lacks.
    virtual bool lacksGlyphs(const RunFace&, double, const QString&) { return false; }
};
