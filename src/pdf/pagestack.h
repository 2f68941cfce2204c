#pragma once

#include <QByteArray>

// A one-page PDF of the one-page PDF `above` with the one-page PDF `below` under it, scaled to
// its width, their left edges aligned and a small gap between: what a signature with words
// under it is put onto a document as. Empty where either cannot be read.
QByteArray stackedPdf(const QByteArray& above, const QByteArray& below);
