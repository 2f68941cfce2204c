#pragma once

#include "base/programvalues.h"

class Platform;

// Where the data kit is: beside the program, or for an installed copy with nothing beside it,
// in ../share/sorvex-sign.
QString dataFolderFor(const QString& programFolder);

// Whole file as Unicode less one trailing CR LF; on failure the warning box, then empty text.
QString readTextFile(const QString& path, Platform& platform);

// Files larger than this are refused by readTextFile: the list is a few kilobytes.
inline constexpr qint64 MaxTextFileBytes = 64 * 1024 * 1024;

// Steps of Main before the window exists: appPath, compoundSurnames and the offsets.
ProgramValues startProgram(const QString& appFolder, Platform& platform);
