#pragma once

#include <QHash>
#include <QString>

// The compound surnames of the kit's list, each with the one character a folder style draws
// for it.
using CompoundSurnames = QHash<QString, QString>;

// The list's entries, " 欧阳-欧X" each: after a space, the surname's two characters, "-", one
// more, then the character drawn (none when the entry ends before it). The first entry of a
// surname counts; anything else in the list is not an entry.
CompoundSurnames parseCompoundSurnames(const QString& list);
