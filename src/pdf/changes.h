#pragma once

#include <QString>

#include <functional>
#include <map>
#include <set>
#include <vector>

class MemoryBudget;
class QPDF;
class QPDFObjectHandle;
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

    Change(Kind kind, What what, int page = 0, QString name = {}, QString key = {}, int object = 0)
        : kind(kind), what(what), page(page), name(std::move(name)), key(std::move(key)),
          object(object)
    {
    }

    Kind kind;
    What what;
    int page; // 1-based, where it concerns a page
    QString name;
    QString key; // a field's or a page's key where one changed
    int object;

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
// `referredBefore(n)` says whether an object the revision before had already refers to number
// `n`: a number referred to without being defined, defined now, changes what that object shows.
std::vector<Change> changesOf(QPDF& before, QPDF& after, const Revision& revision,
                              const std::function<bool(int number)>& referredBefore,
                              MemoryBudget& budget);

// For every object number `document` refers to from its trailer on, the objects that refer to
// it (0: the trailer). Read from the last revision, where no reference is dropped for lying past
// an earlier revision's /Size.
std::map<int, std::vector<int>> referrersOf(QPDF& document, MemoryBudget& budget);
// Whether `object` itself (not what it refers to) holds a reference to `number`.
bool refersTo(QPDFObjectHandle object, int number);
