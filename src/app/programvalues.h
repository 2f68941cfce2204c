#pragma once

#include <QString>

class Platform;

// The program's title: the caption of its message boxes.
inline const QString AppTitle = QStringLiteral("Sorvex签名设计");

// The values set once at start-up and read everywhere else.
struct ProgramValues
{
    QString AppPath;          // the folder holding the data kit, always ending in "/"
    QString CompoundSurnames; // whole text of data/fuxing.dat; empty when unreadable
    int TextOffsetX = 250;    // twips subtracted from every centred position
    int TextOffsetY = 500;
};

// The face that draws characters beyond a style's own, in the data kit.
inline QString fallbackFontPath(const ProgramValues& values)
{
    return values.AppPath + QStringLiteral("data/fallback.dat");
}

// Where the data kit is: beside the program, or for an installed copy with nothing beside it,
// in ../share/sorvex-sign.
QString dataFolderFor(const QString& programFolder);

// Appends the separator unless the folder already ends in one (the root folder does).
QString withTrailingSlash(const QString& folder);

// Decodes GBK; a byte sequence that is not GBK becomes U+FFFD instead of ending the text.
QString decodeGbk(const QByteArray& bytes);

// The text of a file's bytes: GBK decoded, one trailing CR LF dropped.
QString textOfFileBytes(const QByteArray& bytes);

// Whole file as Unicode less one trailing CR LF; on failure the warning box, then empty text.
QString ReadTextFile(const QString& path, Platform& platform);

// Files larger than this are refused by ReadTextFile: the list is a few kilobytes.
inline constexpr qint64 MaxTextFileBytes = 64 * 1024 * 1024;

// Steps of Main before the window exists: AppPath, CompoundSurnames and the offsets.
ProgramValues startProgram(const QString& appFolder, Platform& platform);
