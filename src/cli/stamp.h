#pragma once

#include "job.h"

#include <optional>

class QTextStream;
struct Options;
class SignatureRenderer;

// Puts the signature the options describe onto the document they name and writes the signed
// copy; the document itself is only read.
// With a report, one line of JSON on `out` says which pages were signed and how; what a person
// should know of a signing that succeeded goes to `err`.
std::optional<Failure> stampDocument(const Options& options, SignatureRenderer& renderer,
                                     QTextStream& out, QTextStream& err);
