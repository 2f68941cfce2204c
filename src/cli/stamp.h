#pragma once

#include "job.h"

#include <optional>

struct Options;
class SignatureRenderer;

// Puts the signature the options describe onto the document they name and writes the signed
// copy; the document itself is only read.
std::optional<Failure> stampDocument(const Options& options, SignatureRenderer& renderer);
