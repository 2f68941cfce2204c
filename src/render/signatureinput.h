#pragma once

#include "catalogue/catalogue.h"
#include "handwriting.h"

#include <QPointF>
#include <QRgb>
#include <QString>

#include <memory>
#include <optional>

// What a signature is to be: everything its layout depends on, as a plain value.
struct SignatureSpec
{
    std::optional<Style> style; // none: nothing is drawn
    QString chineseName;
    QString latinName;
    double points = 72;
    QRgb ink = 0xFF000000;
    // Where the text's box the placement rules define has its top-left corner, in twips; none:
    // the signature's ink is centred in the picture (a seal's frame).
    std::optional<QPointF> position;
    bool worn = false; // a seal worn as an old carved one is
    // What a style that draws by hand draws, written on the pad; at 72 points the pad's width
    // is the picture's.
    std::shared_ptr<const DrawnSignature> drawn;
};
