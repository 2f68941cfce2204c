#pragma once

#include "formfields.h"
#include "signerror.h"

#include <QString>

#include <qpdf/QPDF.hh>

#include <optional>

class SigningIdentity;

// What a document's author allows an update to add: the permissions of an encrypted document,
// a certification's DocMDP permission, and the locks of the signature fields already signed.
// One question for each thing an update adds; the answer is none where it is allowed, else why
// not.
class SigningPolicy
{
public:
    enum class Addition {
        Annotation,  // a stamp on a page
        NewField,    // a signature field of our own
        FilledField, // a signature in an empty signature field the document has
        PageContent, // the signature drawn into a page's content
        ValidationData, // what validates signatures later, in the catalogue's /DSS
    };

    SigningPolicy(QPDF& document, const Form& form, const QString& path);

    std::optional<SignError> allows(Addition addition) const;
    // Whether `field`, an empty signature field, may be signed: allows(FilledField), and no
    // signed field's lock covers it.
    std::optional<SignError> allowsFilling(const FormField& field) const;
    // What a field's seed value asks of its signature that ours, by `signer` with SHA-256 as
    // ETSI.CAdES.detached, with `reason` (may be empty) and no time-stamp, cannot give.
    std::optional<SignError> meetsSeedValue(const FormField& field, const SigningIdentity& signer,
                                            const QString& reason) const;

    // The DocMDP permission of the document's certification: 1 no changes, 2 form filling and
    // signing, 3 also annotations; none where it is not certified.
    std::optional<int> certified() const { return certified_; }
    // The least of that and what a signed field's lock allows (its /P).
    std::optional<int> changesAllowed() const;

private:
    SignError refused(SignError::Kind kind) const;

    QString path_;
    const Form& form_;
    bool encrypted_ = false;
    int revision_ = 0;
    long long permissions_ = -1; // the encryption's P
    std::optional<int> certified_;
    std::optional<int> lockedTo_;   // the least /P of a signed field's lock
    QString lockedBy_;              // that field
};
