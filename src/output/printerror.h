#pragma once

#include <QString>

// A failed print job, with a stable number and a readable description.
struct PrintError
{
    int number = 0;
    QString description;
};

inline constexpr int NoPrinterError = 482;
inline constexpr int PrintJobError = 483;
inline constexpr int PrinterStoppedError = 484;
