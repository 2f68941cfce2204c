#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A font file whose faces were given family names of their own.
struct RenamedFont
{
    QByteArray bytes;
    // For each face, in the file's order: the family names it answered to.
    QList<QStringList> formerFamilies;
};

// The TrueType or OpenType font in `font` answering to `family` alone, or of a collection, each
// face to `family` and its number ("family 1", "family 2", …): their family and full names
// replaced, every other name and every other byte kept. None for a file whose tables of names
// cannot be read.
std::optional<RenamedFont> withFamilyName(const QByteArray& font, const QString& family);

// Whether every face of a TrueType or OpenType file or collection has its table of characters
// and its header, and every table lies within the file: a file cut short fails, where Qt would
// take it and draw nothing.
bool tablesLieWithin(const QByteArray& font);

// Whether every face of a file whose tables lie within it has outlines (TrueType or CFF): a
// face of bitmaps alone draws at the sizes it was drawn at, whatever size is asked.
bool everyFaceHasOutlines(const QByteArray& font);

// The name withFamilyName gives face `index` of a file with `faces` faces.
QString renamedFamily(const QString& family, qsizetype index, qsizetype faces);
