#pragma once

#include "job.h"
#include "pdf/signingjob.h"

#include <QString>

#include <optional>
#include <vector>

class QJsonObject;
class QTextStream;
struct Options;

// One document of a batch: where it is read from and written to, and where on it the signature
// goes; or why the row cannot be signed at all, found before any is.
struct DocumentRow
{
    qsizetype number = 0; // its line in the list, or its place in the folder, from 1
    QString input, output;
    StampPlace place;
    std::optional<Failure> refused;
};

// The batch's documents: each row of the list (input, output, and optionally pages, X,Y, width,
// field, reason, location; UTF-8 or GB18030 a row), or each PDF of the folder. Relative inputs
// are read beside the list, relative outputs written into the -o folder. Two rows naming one
// output, or an output that is its input (unless asked), refuse the later row. Only this run's
// shard's rows.
std::variant<std::vector<DocumentRow>, Failure> documentRows(const Options& options);

// Signs every row with `base` (the identity opened once, the level, the signature's picture),
// on as many threads as the options ask, carrying on past a failed row unless told to stop:
// one line of JSON a row with --report, a progress line on a terminal. None where every row was
// signed; else how many failed, exiting with "some" or "all failed".
std::optional<Failure> signDocuments(const Options& options, const std::vector<DocumentRow>& rows,
                                     const SigningJob& base, const QJsonObject& drawn, QTextStream& out,
                                     QTextStream& err, bool progressOnTerminal);
