#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>

// A carved seal's wear: where its ink has worn away and its frame broken. Everything follows
// from the seed, so the same name always wears the same way; distances are reference pixels,
// so a picture at a larger scale shows the same wear, finer.
struct SealWear
{
    quint32 seed = 0;
    int frameLinePx = 1; // how wide the frame's line is, inside its edge
    bool filled = false; // an intaglio seal: a square of `ink` with the characters cut out
    QRgb ink = 0;        // the seal's colour
    QRgb cut = 0;        // a filled seal's characters' colour: worn ink inside goes to it
};

// A seed for a name: the same on every machine and run.
quint32 wearSeed(const QString& name);

// Wears the ink inside `area` (output pixels, the seal's frame) of `image`, drawn at `scale`
// output pixels a reference pixel: ink is what differs from `background(x, y)` (in a filled
// seal, what is nearer the seal's colour than the background, so that the cut characters' edges
// wear too), and worn ink goes back towards the background. Edges are eaten unevenly, large fills get small specks, and the frame
// gets a few short breaks.
void wearSeal(QImage& image, const QRect& area, qreal scale, const SealWear& wear,
              const std::function<QRgb(int, int)>& background);
