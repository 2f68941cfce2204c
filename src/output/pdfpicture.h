#pragma once

#include "render/layout.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QPainter;

// A PDF of one page exactly the picture's size (5820 × 3920 twips): the layout drawn over the
// background (none where it is empty, or `transparent`), text as filled outlines, so that no
// font travels with it. `backgroundError` receives why a background could not be shown.
QByteArray picturePdf(bool transparent, const QString& background, const Layout& layout,
                      QString* backgroundError = nullptr);

// A PDF of one page the size of the layout's ink, with nothing but the signature, all of it:
// what is put onto a document, where its corner is the ink's. Empty where it has no ink.
QByteArray inkBoxPdf(const Layout& layout);

// A PDF of one page `pixels` large (reference pixels) with what `paint` draws in them.
QByteArray drawnPdf(QSizeF pixels, const std::function<void(QPainter&)>& paint);
