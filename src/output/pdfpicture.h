#pragma once

#include "render/surface.h"

#include <QByteArray>
#include <QString>

#include <functional>

class VectorSurface;

// Draws one signature on the surface it is given and says where its text went.
using VectorDrawing = std::function<TextHandleRect(VectorSurface&)>;

// A PDF of one page exactly the picture's size (5820 × 3920 twips): text as filled outlines,
// so that no font travels with it, and the background as an image unless `transparent`.
// `backgroundError` receives why a background could not be shown.
QByteArray picturePdf(bool transparent, const VectorDrawing& draw,
                      QString* backgroundError = nullptr);

// A PDF of one page the size of the text's own box (grown to take in any ink beyond it), with
// nothing but the text, all of it: what is put onto a document.
QByteArray textBoxPdf(const VectorDrawing& draw);
