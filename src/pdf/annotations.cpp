#include "annotations.h"

#include "formfields.h"
#include "incrementalupdate.h"
#include "pageplacement.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QUtil.hh>

#include <set>

namespace {

// A form that shows `slice` of the signature's form where `matrix` puts it: its own box clips
// the rest away, so one copy of the outlines serves every page and every slice.
QPDFObjectHandle placedForm(QPDFObjectHandle form, const std::string& matrix,
                            const QPDFObjectHandle::Rectangle& slice)
{
    QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    dict.replaceKey("/BBox", QPDFObjectHandle::newArray(slice));
    dict.replaceKey("/Matrix", QPDFObjectHandle::parse("[" + matrix + "]"));
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Signature", form);
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    dict.replaceKey("/Resources", resources);
    return dict;
}

// The page's annotations with `annotation` added, in a list of the page's own: a list that is
// an object of its own may be every page's, and would show the stamp on each of them.
void addToPage(IncrementalUpdate& update, QPDFPageObjectHelper& target, QPDFObjectHandle annotation)
{
    QPDFObjectHandle page = target.getObjectHandle();
    QPDFObjectHandle annots = page.getKey("/Annots");
    QPDFObjectHandle own = QPDFObjectHandle::newArray();
    for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i)
        own.appendItem(annots.getArrayItem(i));
    own.appendItem(annotation);
    page.replaceKey("/Annots", own);
    update.add(page);
}

// The page, from 1, whose annotations list `widget`: where it shows.
int pageOf(QPDF& document, QPDFObjectHandle widget)
{
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(document).getAllPages();
    for (size_t i = 0; i < pages.size(); ++i) {
        QPDFObjectHandle annots = pages[i].getObjectHandle().getKey("/Annots");
        for (int j = 0; annots.isArray() && j < annots.getArrayNItems(); ++j)
            if (annots.getArrayItem(j).getObjGen() == widget.getObjGen())
                return int(i + 1);
    }
    return 0;
}

QString listField(QPDF& document, IncrementalUpdate& update, QPDFObjectHandle widget,
                  const std::string& prefix);

} // namespace

QPDFObjectHandle annotate(IncrementalUpdate& update, QPDFPageObjectHelper& page,
                          QPDFObjectHandle form, const PagePlacement& placement)
{
    QPDFObjectHandle appearanceDict = placedForm(form, placement.matrix, placement.slice);
    QPDFObjectHandle annotation =
        QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Stamp /F 4 /Name /SorvexSignature >>");
    annotation.replaceKey("/Rect", QPDFObjectHandle::newArray(
                                       placedRectangle(placement.matrix, placement.slice)));
    annotation.replaceKey("/P", page.getObjectHandle());
    annotation.replaceKey("/Contents", QPDFObjectHandle::newUnicodeString("签名"));
    QPDFObjectHandle appearance = QPDFObjectHandle::newDictionary();
    appearance.replaceKey("/N", update.putStream(appearanceDict, "/Signature Do\n"));
    annotation.replaceKey("/AP", appearance);
    QPDFObjectHandle reference = update.put(annotation);
    addToPage(update, page, reference);
    return reference;
}

QString newSignatureField(QPDF& document, IncrementalUpdate& update, QPDFPageObjectHelper& page,
                          QPDFObjectHandle form, const PagePlacement& placement,
                          QPDFObjectHandle value)
{
    // Drawn as a stamp is, then made the field: a signature field, printed, locked.
    QPDFObjectHandle widget = annotate(update, page, form, placement);
    widget.replaceKey("/Subtype", QPDFObjectHandle::newName("/Widget"));
    widget.removeKey("/Name");
    widget.replaceKey("/FT", QPDFObjectHandle::newName("/Sig"));
    widget.replaceKey("/F", QPDFObjectHandle::newInteger(4 | 128));
    widget.replaceKey("/V", value);
    return listField(document, update, widget, "Signature");
}

QString newHiddenSignatureField(QPDF& document, IncrementalUpdate& update,
                                QPDFPageObjectHelper& page, QPDFObjectHandle value,
                                const std::string& prefix)
{
    // No rectangle, hidden and locked: it shows nowhere.
    QPDFObjectHandle widget = QPDFObjectHandle::parse(
        "<< /Type /Annot /Subtype /Widget /FT /Sig /Rect [0 0 0 0] /F 130 >>");
    widget.replaceKey("/P", page.getObjectHandle());
    widget.replaceKey("/V", value);
    QPDFObjectHandle reference = update.put(widget);
    addToPage(update, page, reference);
    return listField(document, update, reference, prefix);
}

namespace {

// The document's form lists `widget`, a signature field, under a name no other field has
// (`prefix` and a number); signatures make it append-only.
QString listField(QPDF& document, IncrementalUpdate& update, QPDFObjectHandle widget,
                  const std::string& prefix)
{
    QPDFObjectHandle root = document.getRoot();
    QPDFObjectHandle acroForm = root.getKey("/AcroForm");
    if (!acroForm.isDictionary()) {
        acroForm = update.put(QPDFObjectHandle::newDictionary());
        root.replaceKey("/AcroForm", acroForm);
        update.add(root);
    }
    QPDFObjectHandle fields = acroForm.getKey("/Fields");
    if (!fields.isArray()) {
        fields = QPDFObjectHandle::newArray();
        acroForm.replaceKey("/Fields", fields);
    }
    // A name no other field of the form has.
    std::set<std::string> names;
    for (QPDFObjectHandle field : fields.aitems())
        if (field.isDictionary() && field.getKey("/T").isString())
            names.insert(field.getKey("/T").getUTF8Value());
    int n = 1;
    while (names.count(prefix + std::to_string(n)))
        ++n;
    const std::string name = prefix + std::to_string(n);
    widget.replaceKey("/T", QPDFObjectHandle::newString(name));
    fields.appendItem(widget);
    acroForm.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(3));
    update.add(fields.isIndirect() ? fields : acroForm.isIndirect() ? acroForm : root);
    update.add(acroForm.isIndirect() ? acroForm : root);
    return QString::fromStdString(name);
}

} // namespace

int fillSignatureField(QPDF& document, IncrementalUpdate& update, const FormField& field,
                       QPDFObjectHandle form, const QPDFObjectHandle::Rectangle& own,
                       QPDFObjectHandle value)
{
    QPDFObjectHandle target = field.field;
    target.replaceKey("/V", value);
    update.add(target);
    int shownOn = 0;
    for (QPDFObjectHandle widget : field.widgets) {
        QPDFObjectHandle rect = keyOf(widget, "/Rect");
        if (!rect.isRectangle())
            continue;
        // The appearance's box is the widget's rectangle, so that a reader maps it onto the
        // widget unchanged; the signature is drawn as large as fits in it.
        const QPDFObjectHandle::Rectangle r = rect.getArrayAsRectangle();
        QPDFObjectHandle dict = QPDFObjectHandle::parse(
            "<< /Type /XObject /Subtype /Form /Matrix [1 0 0 1 0 0] >>");
        dict.replaceKey("/BBox", QPDFObjectHandle::newArray(r));
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Signature", form);
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        dict.replaceKey("/Resources", resources);
        const bool area = r.urx - r.llx != 0 && r.ury - r.lly != 0;
        const std::string draw = area ? "q " + fittedInto(own, r) + "cm /Signature Do Q\n" : "";
        QPDFObjectHandle appearance = QPDFObjectHandle::newDictionary();
        appearance.replaceKey("/N", update.putStream(dict, draw));
        widget.replaceKey("/AP", appearance);
        update.add(widget);
        if (!shownOn)
            shownOn = pageOf(document, widget);
    }
    QPDFObjectHandle acroForm = document.getRoot().getKey("/AcroForm");
    if (acroForm.isDictionary()) {
        acroForm.replaceKey("/SigFlags", QPDFObjectHandle::newInteger(3));
        update.add(acroForm.isIndirect() ? acroForm : document.getRoot());
    }
    return shownOn;
}
