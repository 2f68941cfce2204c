#pragma once

#include "options.h"

class QTextStream;
struct Catalogue;
struct ProgramValues;

// One picture per row of a CSV file (cn,en[,style[,file]]) into the folder options.job.output,
// each row starting from the settings of options.job. Returns the exit code: 1 when any row
// failed, each failed row named on `err`. With `program`, this program's own file, the rows are
// drawn by as many processes of it as --jobs asks (one for each core unless it says).
int runBatch(const Options& options, const ProgramValues& values, const Catalogue& catalogue,
             QTextStream& out, QTextStream& err, bool progressOnTerminal, const QString& program = {});
