#pragma once

#include "renderer.h"

class FontTable;

// A drawing's ink keeps this many reference pixels from every edge of the picture, or its
// size is made smaller; at a larger output scale the margin grows with the picture.
inline constexpr double FitMarginPx = 6;
inline constexpr double SmallestFittedSize = 8;

// How a name is drawn so that it is whole. A name whose ink, placed as usual, keeps the
// margin is drawn as usual: the size asked, as typed, and no position. Any other is drawn at
// the largest size in half points below it, not under 8, whose ink fits within the margins,
// at the top-left (twips) that centres that ink in the picture. It depends on the name, style
// and size alone: moving the text never changes it.
struct FittedName
{
    QString sizeText;
    int x = NoPosition;
    int y = NoPosition;
};
FittedName fitName(const ProgramValues& values, FontTable& fonts, const DrawInputs& in);

// The characters of the drawing that no face draws, neither the style's nor a fallback: they
// would show as empty boxes. Each once, in the order drawn.
QStringList charactersNoFaceDraws(const ProgramValues& values, FontTable& fonts,
                                  const DrawInputs& in);
