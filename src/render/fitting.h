#pragma once

#include "layout.h"

// A drawing's ink keeps this many reference pixels from every edge of the picture, or its
// size is made smaller; at a larger output scale the margin grows with the picture.
inline constexpr double FitMarginPx = 6;
inline constexpr double SmallestFittedSize = 8;

// The size at which the signature `spec` describes is drawn whole, centred: the size asked
// where its ink keeps the margin, else the largest in half points below it, not under 8 (nor
// under a smaller size asked), whose ink fits within the margins. It depends on the name,
// style and size alone: where the signature is put never changes it.
double fittedSize(const SignatureSpec& spec, Faces& faces, const CompoundSurnames& surnames);
