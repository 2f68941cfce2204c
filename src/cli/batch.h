#pragma once

#include "options.h"

class QTextStream;
class SignatureRenderer;

// One picture per row of a CSV file (cn,en[,style[,file]]) into the folder options.job.output,
// each row starting from the settings of options.job. Returns the exit code: 1 when any row
// failed, each failed row named on `err`.
int runBatch(const Options& options, SignatureRenderer& renderer, QTextStream& out,
             QTextStream& err, bool progressOnTerminal);
