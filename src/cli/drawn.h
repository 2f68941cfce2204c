#pragma once

#include "job.h"

#include <optional>

class QTextStream;
struct Options;

// The signature written on the pad, read from its file: drawn into the output (PNG, SVG or
// PDF, trimmed to its ink), or put on the document --stamp names.
std::optional<Failure> drawDrawnSignature(const Options& options, QTextStream& out,
                                          QTextStream& err);
