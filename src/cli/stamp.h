#pragma once

#include "job.h"

#include <optional>

class QByteArray;
class QJsonObject;
class QTextStream;
struct Options;
class SignatureRenderer;

// Puts the signature the options describe onto the document they name and writes the signed
// copy; the document itself is only read.
// With a report, one line of JSON on `out` says which pages were signed and how; what a person
// should know of a signing that succeeded goes to `err`.
std::optional<Failure> stampDocument(const Options& options, SignatureRenderer& renderer,
                                     QTextStream& out, QTextStream& err);
// The same with the signature given: a one-page PDF the size of its ink. `report` holds what
// the report says of the signature.
std::optional<Failure> stampDocument(const Options& options, QByteArray signature,
                                     QJsonObject report, QTextStream& out, QTextStream& err);
