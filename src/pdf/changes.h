#pragma once

#include <QString>

#include <set>
#include <vector>

class MemoryBudget;
class QPDF;
struct Revision;

// One thing a revision changed in the document, and what kind of change it is, as a signer's
// permissions are written: validation data is allowed after any signature; signing and form
// filling after a certification that allows form filling; annotations after one that allows
// annotations too; anything else only where nothing was certified, and even then a person must
// be told.
struct Change
{
    enum class Kind { ValidationData, Signing, FormFilling, Annotation, Other };
    enum class What {
        ValidationData,    // a Document Security Store, its certificates and answers
        DocumentTimeStamp, // name: its field
        Metadata,          // the document's information or its XMP metadata
        SignatureAdded,    // name: the field signed
        EmptySignatureField, // name: the field, page
        FieldFilled,       // name: the field
        FormDefaults,      // the form's default resources or appearance
        AnnotationAdded,   // name: its subtype, page
        AnnotationChanged, // name: its subtype, page
        AnnotationRemoved, // name: its subtype, page
        PageContent,       // page
        PageResources,     // page, name: what kind (Font, XObject, …) where known
        PageProperties,    // page, name: the key
        PageAdded,         // page
        PageRemoved,       // page: where it was
        PageTree,
        Catalog,           // name: the key
        OpenAction,        // name: the key (/OpenAction, /AA)
        OptionalContent,
        FieldAdded,        // name: the field, page where it shows
        FieldRemoved,      // name
        FieldChanged,      // name, and what of it where one key (name: "field key")
        SignatureRemoved,  // name: the field whose signature no longer shows in the form
        SignatureReplaced, // name: the field
        SignatureRedefined, // name: the field whose signature dictionary was written again
        Trailer,           // name: the key (/Root, /Encrypt)
        DefinedTwice,      // object
        ObjectChanged,     // object
        ObjectFreed,       // object
        DanglingFilled,    // object: the signed revision referred to it without defining it
    };

    Kind kind;
    What what;
    int page = 0; // 1-based, where it concerns a page
    QString name;
    QString key; // a field's or a page's key where one changed
    int object = 0;

    bool operator==(const Change& o) const
    {
        return kind == o.kind && what == o.what && page == o.page && name == o.name &&
               key == o.key && object == o.object;
    }
};

// What one revision changed against the revision before it, object by object: every object
// its cross-reference section redefines, frees or points elsewhere compared with what it was,
// and each difference claimed by the rule that knows it, or left as "other".
//
// `referenced` holds every object number the revision before refers to (see below): a number
// it referred to without defining, defined now, changes what the earlier revision shows.
std::vector<Change> changesOf(QPDF& before, QPDF& after, const Revision& revision,
                              const std::set<int>& referenced, MemoryBudget& budget);

// Every object number that `document` refers to from its trailer on, defined or not, and those
// it defines.
std::set<int> referencedNumbers(QPDF& document, MemoryBudget& budget);
// The numbers that the objects `revision` defines in `document` (its state after the revision)
// refer to: what to add to the revision before's to know the revision after's.
std::set<int> numbersReferredBy(QPDF& document, const Revision& revision, MemoryBudget& budget);
