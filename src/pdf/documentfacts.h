#pragma once

#include "forgeryrisks.h"
#include "secret.h"
#include "signerror.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// What a person should know of a document before signing it.
struct DocumentFacts
{
    int pages = 0;
    int signatures = 0;           // digital signatures it carries
    std::optional<int> certified; // its DocMDP permission, where its author certified it
    // The least change a certification or a signed field's lock allows (1 to 3), where either
    // restricts it.
    std::optional<int> changesAllowed;
    QStringList emptySignatureFields; // by full name, in the form's order
    bool encrypted = false;
    // What its author's permissions allow, where it is encrypted.
    bool mayAnnotate = true, mayAddFields = true, mayFillFields = true, mayChangeContent = true;
    ForgeryRisks risks; // what it carries that would let it show otherwise once signed
};

// The facts of the document at `path`, opened with `password` where it needs one.
std::variant<DocumentFacts, SignError> inspectPdf(const QString& path,
                                                  const SecretBytes* password = nullptr);
