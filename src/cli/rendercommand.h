#pragma once

#include "job.h"

#include <QStringList>

class QTextStream;

// The companion program: the window's catalogue, renderer and drawing, from the command line.
// Returns the exit code: 0 done, 1 a failure, 2 bad arguments. Errors are one line each on
// `err`; --list, --report and the rest go to `out`.
// `program`, where given, is this program's own file, which a batch starts its workers from.
int runRenderCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     bool progressOnTerminal, const QString& program = {});
