#pragma once

#include "catalogue/catalogue.h"
#include "render/signatureinput.h"

#include <QRgb>
#include <QString>

#include <optional>

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitBadArguments = 2;
// With --strict: a picture that would be drawn in a substitute face or on white is not written.
inline constexpr int ExitDegraded = 3;
// With --verify, worse as they go up: changed after signing as the signatures allow (form
// filling, annotations); a certificate not trusted, with --require-trusted; changed beyond what
// they allow; a signature that does not hold or cannot be judged.
inline constexpr int ExitChangedAllowed = 4;
inline constexpr int ExitNotTrusted = 5;
inline constexpr int ExitChangedBeyond = 6;
inline constexpr int ExitSignatureInvalid = 7;
// A batch of documents of which some, not all, failed.
inline constexpr int ExitSomeFailed = 8;

// The most characters a name may have where it is put on a document or read from a list: no
// signature is longer, and a binary file given as a list is one enormous row.
inline constexpr qsizetype LongestName = 1000;

// Why a picture was not made, with the exit code it stands for.
struct Failure
{
    int code;
    QString message;
};

// One picture to make.
struct Job
{
    QString cn = SampleChineseName;
    QString en = SampleLatinName;
    QString style = DefaultStyle;
    std::optional<QString> size;
    std::optional<QRgb> color;
    QString background; // name, list position or "none"; empty: position 1
    // Where the text's box has its top-left corner, in twips; an axis not given is centred.
    std::optional<int> x, y;
    double scale = 1;
    bool transparent = false;
    bool fit = true; // the size asked is the largest; smaller where the name would be cut
    bool strict = false; // a degraded picture is a failure
    bool worn = false;   // a seal worn as an old carved one is
    QString output;
};
