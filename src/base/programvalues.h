#pragma once

#include "compoundsurnames.h"

#include <QString>

// The program's title: the caption of its message boxes.
inline const QString AppTitle = QStringLiteral("Sorvex签名设计");

// The values set once at start-up and read everywhere else.
struct ProgramValues
{
    QString appPath;                   // the folder holding the data kit, always ending in "/"
    CompoundSurnames compoundSurnames; // from data/fuxing.dat; none when it cannot be read
};

// The face that draws characters beyond a style's own, in the data kit.
inline QString fallbackFontPath(const ProgramValues& values)
{
    return values.appPath + QStringLiteral("data/fallback.dat");
}
