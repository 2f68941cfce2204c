#pragma once

// How a name is placed in the picture, in twips (15 to a pixel at 96 dpi, 20 to a point). The
// kit builder reads these lines (tools/kit/fit.py) and fits its faces to them: a number changed
// here is a kit built anew.
namespace Rules {

// A centred name is moved this far left and up of the middle.
inline constexpr int CentreShiftLeft = 250;
inline constexpr int CentreShiftUp = 500;
// A seal's grid of characters, further still.
inline constexpr int SealShiftLeft = 500;
inline constexpr int SealShiftUp = 400;
// A seal's frame reaches this far out of its grid on the left and at the top.
inline constexpr int FrameMarginLeft = 100;
inline constexpr int FrameMarginTop = 60;
// Each character of a name starts this far before the end of the one before it, from 72 pt.
inline constexpr int Tightening = 200;

} // namespace Rules
