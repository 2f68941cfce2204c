#pragma once

#include <QString>

// The data kit the build assembled beside the program.
inline QString kitDir()
{
    return QStringLiteral(SORVEX_KIT_DIR "/");
}
