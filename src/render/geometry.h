#pragma once

#include <QRgb>

// Positions and sizes on the picture are twips: 15 twips make one pixel at 96 dpi, 20 make one
// point. The picture is 388 x 261 pixels at 96 dpi.
inline constexpr int TwipsPerPixel = 15;
inline constexpr int SurfaceWidthPx = 388;
inline constexpr int SurfaceHeightPx = 261;
// The picture box's outer size in the window, which printing uses.
inline constexpr int OuterWidthTwips = 5820;
inline constexpr int OuterHeightTwips = 3920;
inline constexpr QRgb BackColor = 0xFFFFFFFF; // the window-background colour of the picture box
