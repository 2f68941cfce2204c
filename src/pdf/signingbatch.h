#pragma once

#include "signingjob.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

// One document of a batch: read from `input`, its signed copy written to `output`, signed where
// `place` says (the identity, its time stamps and the document's password are the batch's).
struct BatchDocument
{
    QString input, output;
    StampPlace place;
};

// What became of one: signed (its pages, its field, the level reached), or why not.
struct BatchOutcome
{
    std::optional<SignError> error;
    std::vector<int> pages;
    QString field;
    SignatureLevel level = SignatureLevel::BB;
};

// Signs every document as `base` says, `workers` at a time (each reads, signs and writes one
// document at a time; a token's key signs one signature at a time whatever the workers), and
// tells `done` of each as it finishes, from the thread that signed it. Once `stop` is set, no
// further document is begun.
void signEach(const std::vector<BatchDocument>& documents, const SigningJob& base, int workers,
              const std::function<void(size_t index, const BatchOutcome& outcome)>& done,
              std::atomic<bool>* stop = nullptr);
