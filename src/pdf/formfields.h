#pragma once

#include <QString>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <vector>

class MemoryBudget;

// A field of the document's form, as signing needs to know it.
struct FormField
{
    QPDFObjectHandle field; // the field's own dictionary: its value and flags are here
    QString name;           // its full name, its parents' names first, joined by '.'
    bool signature = false; // a signature field (/FT /Sig, its own or a parent's)
    std::vector<QPDFObjectHandle> widgets; // where it shows: itself, or its widget kids

    // Signed: its value a signature dictionary.
    bool isSigned() const;
    // What signing it locks (/Lock) and what a signature of it must be (/SV): null where none.
    QPDFObjectHandle lock() const;
    QPDFObjectHandle seedValue() const;
};

// The document's form: every field it lists, and the signatures its fields and the pages'
// widgets hold, each counted once (a reader verifies each).
struct Form
{
    std::vector<FormField> fields;
    int signatures = 0;

    const FormField* find(const QString& name) const;
    // The first signature field with no signature, in the order the form lists its fields.
    const FormField* firstEmptySignatureField() const;
};

// Only the form and the pages' widgets are read: the rest of the document, however large, stays
// unparsed. The budget is checked as they are.
Form readForm(QPDF& document, MemoryBudget& budget);

// A key of a dictionary that may be no dictionary: asking a missing key of nothing is a warning
// to qpdf, and a warning refuses the document.
QPDFObjectHandle keyOf(QPDFObjectHandle dictionary, const char* key);
