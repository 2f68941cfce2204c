#include "formfields.h"

#include "documentinput.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <set>

namespace {

bool isSignatureValue(QPDFObjectHandle value)
{
    return value.isDictionary() && value.hasKey("/ByteRange") && value.hasKey("/Contents");
}

} // namespace

QPDFObjectHandle keyOf(QPDFObjectHandle dictionary, const char* key)
{
    return dictionary.isDictionary() ? dictionary.getKey(key) : QPDFObjectHandle::newNull();
}

bool FormField::isSigned() const
{
    return isSignatureValue(keyOf(field, "/V"));
}

QPDFObjectHandle FormField::lock() const
{
    return keyOf(field, "/Lock");
}

QPDFObjectHandle FormField::seedValue() const
{
    return keyOf(field, "/SV");
}

const FormField* Form::find(const QString& name) const
{
    for (const FormField& f : fields)
        if (f.name == name)
            return &f;
    return nullptr;
}

const FormField* Form::firstEmptySignatureField() const
{
    for (const FormField& f : fields)
        if (f.signature && !f.isSigned())
            return &f;
    return nullptr;
}

Form readForm(QPDF& document, MemoryBudget& budget)
{
    Form form;
    size_t looked = 0;
    const auto tick = [&] {
        if (++looked % 4096 == 0)
            budget.check();
    };
    // The form's fields, depth first in the order listed; a field is terminal when none of its
    // kids is a field (a kid without a name is its widget).
    struct Pending
    {
        QPDFObjectHandle node;
        QString parentName;
        bool parentSignature;
    };
    std::vector<Pending> pending;
    const auto addKids = [&](QPDFObjectHandle kids, const QString& name, bool signature) {
        for (int i = kids.isArray() ? kids.getArrayNItems() - 1 : -1; i >= 0; --i) {
            tick();
            pending.push_back({kids.getArrayItem(i), name, signature});
        }
    };
    addKids(keyOf(document.getRoot().getKey("/AcroForm"), "/Fields"), QString(), false);
    std::set<QPDFObjGen> seen;
    while (!pending.empty()) {
        tick();
        Pending p = pending.back();
        pending.pop_back();
        // Fields are objects of their own: one written inside another is no field.
        if (!p.node.isIndirect() || !seen.insert(p.node.getObjGen()).second ||
            !p.node.isDictionary())
            continue;
        QPDFObjectHandle title = p.node.getKey("/T");
        const QString own = title.isString() ? QString::fromStdString(title.getUTF8Value())
                                             : QString();
        const QString name = p.parentName.isEmpty() ? own
                             : own.isEmpty()        ? p.parentName
                                                    : p.parentName + u'.' + own;
        QPDFObjectHandle type = p.node.getKey("/FT");
        const bool signature = type.isName() ? type.getName() == "/Sig" : p.parentSignature;
        QPDFObjectHandle kids = p.node.getKey("/Kids");
        bool fieldKids = false;
        for (int i = 0; kids.isArray() && i < kids.getArrayNItems() && !fieldKids; ++i)
            fieldKids = keyOf(kids.getArrayItem(i), "/T").isString();
        if (fieldKids) {
            addKids(kids, name, signature);
            continue;
        }
        FormField field{p.node, name, signature, {}};
        if (kids.isArray())
            for (QPDFObjectHandle kid : kids.aitems())
                field.widgets.push_back(kid);
        else
            field.widgets.push_back(p.node);
        form.fields.push_back(field);
    }

    // Signatures, each counted once by its dictionary (or the field it is written in): those of
    // the form, and those of widgets on the pages that the form does not list.
    std::vector<QPDFObjectHandle> walk;
    const auto addEach = [&](QPDFObjectHandle array) {
        for (int i = 0; array.isArray() && i < array.getArrayNItems(); ++i) {
            tick();
            walk.push_back(array.getArrayItem(i));
        }
    };
    addEach(keyOf(document.getRoot().getKey("/AcroForm"), "/Fields"));
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(document).getAllPages())
        addEach(page.getObjectHandle().getKey("/Annots"));
    std::set<QPDFObjGen> visited;
    std::set<QPDFObjGen> signatures;
    while (!walk.empty()) {
        tick();
        QPDFObjectHandle field = walk.back();
        walk.pop_back();
        if (!field.isIndirect() || !visited.insert(field.getObjGen()).second ||
            !field.isDictionary())
            continue;
        QPDFObjectHandle value = field.getKey("/V");
        if (isSignatureValue(value))
            signatures.insert(value.isIndirect() ? value.getObjGen() : field.getObjGen());
        addEach(field.getKey("/Kids"));
        // A widget's value may be its field's.
        walk.push_back(field.getKey("/Parent"));
    }
    form.signatures = int(signatures.size());
    return form;
}
