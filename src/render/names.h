#pragma once

#include "base/compoundsurnames.h"
#include "placementrules.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>

// The nearest integer, halves to even; clamped to the 32-bit range.
inline int nearest(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = std::nearbyint(v);
    if (r >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(r);
}

// The same rounding without the 32-bit range, for sums of widths.
inline double nearestWhole(double v)
{
    return std::isfinite(v) ? std::nearbyint(v) : 0;
}

// The tightening at a size: 200 twips from 72 points up, in proportion below, so that small
// characters keep the spacing large ones have instead of running into each other.
double tighteningAt(double points);

// The characters of a text as a person sees them: a surrogate pair, or a letter with its
// combining marks, is one character. Every count, split and per-character step uses these.
// With `atMost` ≥ 0, only that many from the start: a long name need not be split whole to
// learn whether it has more.
QStringList characters(const QString& text, qsizetype atMost = -1);

// The character drawn for a name's compound surname, or nothing when the name has none.
std::optional<QString> compoundSurnameGlyph(const CompoundSurnames& surnames, const QString& name);

// Head, middle and tail of a folder style's name.
struct Pieces
{
    QString head, middle, tail;
};
Pieces splitChinese(const QString& name, const CompoundSurnames& surnames);
Pieces splitLatin(const QString& name);

// Whether a character shows nothing by itself: white space, an invisible format character
// (zero-width space, joiner, byte-order mark …) or a combining mark with no letter to sit on.
bool isBlankCharacter(const QString& character);
// The name without its blank characters: what a seal gives cells to, what a document is
// signed with. Empty when the name is blanks alone.
QString visibleName(const QString& name);

// Seal completion to fill the grid: "之印" after two or seven characters, "印" after three, five
// or eight.
QString completedSealName(const QString& name);

// A seal's cells: two by two up to four characters (one character fills all four), two columns
// of three rows for five or six, three by three for seven and more; only the first nine show.
struct SealGrid
{
    int columns, rows;
};
inline constexpr qsizetype MaxSealCharacters = 9;
constexpr SealGrid sealGridFor(qsizetype characters)
{
    if (characters <= 4)
        return {2, 2};
    if (characters <= 6)
        return {2, 3};
    return {3, 3};
}
