#pragma once

#include "job.h"
#include "pdf/signerror.h"

#include <QString>

// A name for what went wrong, for reports a program reads: the same whatever the words say.
QString kindName(SignError::Kind kind);

// What went wrong in signing, in the command line's words: one sentence.
QString describe(const SignError& error);

// The failure it stands for: bad arguments (a page list, a page the document lacks) exit with
// 2, everything else with 1.
Failure signingFailure(const SignError& error);
