#pragma once

#include "longterm.h"
#include "stamp.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>
#include <vector>

// How long a certificate signature can be checked: B-B while its certificate is valid, B-T
// with an authority's time over it, B-LT with what checks its certificates kept in the
// document, B-LTA with a document time stamp over all of that.
enum class SignatureLevel { BB, BT, BLT, BLTA };

// One signing, as whoever asks for it (the window, the command line, a batch's row) fills it in,
// handed whole to sign(): the document, the signature's picture and place, who signs, and how
// long it is to last.
struct SigningJob
{
    QString document;
    QByteArray picture; // a one-page PDF of the signature, its signer's lines under it where asked
    StampPlace place;   // pages, place, width, cross-page seal, drawn in, the identity, reason
                        // and location, the document's password
    // With an identity: time-stamped by place.timeStamp (B-T); then, with `keepValidation`, what
    // checks it kept (B-LT), asked through `fetch` or answered by the `offline` files; then, with
    // `archive`, a document time stamp over all of it (B-LTA with validation data).
    bool keepValidation = false;
    bool archive = false;
    Fetch fetch;
    std::optional<std::vector<QByteArray>> offline;

    SignatureLevel level() const;
    // The level asked for, as each edge offers it.
    void setLevel(SignatureLevel level);
};

// What a job asks for that cannot be: a level beyond B-B without a certificate or an
// authority, validation data or a document time stamp drawn into the pages. None where it can.
std::optional<SignError> jobProblem(const SigningJob& job);

// The document signed as the job says: stamped, then each later revision the level asks for
// appended in turn, each read back, nothing handed out unless every step succeeded. The copy is
// written over the document only where the document is unchanged since it was read.
std::variant<SignedCopy, SignError> sign(const SigningJob& job);

// The signature's picture with who signed it, when, and the reason and location where given,
// written under it in the first face of `families`; none where they cannot be written.
std::optional<QByteArray> withSignerLines(const QByteArray& picture, const QStringList& families,
                                          const QString& signer, const QDateTime& when,
                                          const QString& reason, const QString& location);
