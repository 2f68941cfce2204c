#pragma once

#include "handwriting.h"

#include <QImage>
#include <QString>

#include <variant>

// A signature written on paper, photographed or scanned: the paper taken away (its light
// estimated across the picture and divided out, so that shade and a grey sheet go too, then
// what is darker than the paper by more than the picture's own threshold kept as ink), the
// specks of its grain dropped and what is left cropped to the ink with a little room. The ink
// keeps its colour; the rest is transparent.
enum class ScanError {
    Unreadable, // not a picture this program reads
    TooLarge,   // more pixels than any photograph of a signature needs
    NoInk,      // a blank page, or nothing darker than the paper
};

// More than a 50-megapixel camera's pictures.
constexpr qint64 LargestScanPixels = 60'000'000;

std::variant<QImage, ScanError> readScan(const QString& path);
// The ink picture's size in reference pixels, as a drawn signature's is: its own, or where it
// is larger, fitted within the pad's (three times the picture).
QSizeF scanSize(const QImage& ink);
// The ink of a photograph as a picture shows it, at the size the pad shows it.
DrawnSignature drawnSignature(const QImage& ink);
std::variant<QImage, ScanError> inkFromScan(const QImage& photo);
