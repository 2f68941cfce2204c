#pragma once

#include "options.h"

class QTextStream;
class SignatureRenderer;

// Every style of the catalogue drawn with the same names, each under its style's name, in one
// raster picture at options.job.output.
std::optional<Failure> drawSheet(const Options& options, const Catalogue& catalogue,
                                 SignatureRenderer& renderer);
