#pragma once

#include <optional>

class QTextStream;
struct Failure;
struct Options;

// Checks every signature of the document the options name: one line each on `out`. A failure
// where the document cannot be read, or where any signature's bytes are not those signed.
std::optional<Failure> verifyDocument(const Options& options, QTextStream& out);
