#pragma once

#include <QString>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <string>

class IncrementalUpdate;
struct FormField;
struct PagePlacement;

// A printable stamp annotation on the page whose appearance is the signature's form placed:
// its rectangle is where the form's box falls on the page. The page gets a list of annotations
// of its own, so that no other page that shared its list shows the stamp. The annotation, which
// may still be changed until the update is written.
QPDFObjectHandle annotate(IncrementalUpdate& update, QPDFPageObjectHelper& page,
                          QPDFObjectHandle form, const PagePlacement& placement);

// A new signature field on the page, its widget the field itself, its appearance the signature
// placed, its value `value`; listed in the document's form under a name no other field has.
// That name.
QString newSignatureField(QPDF& document, IncrementalUpdate& update, QPDFPageObjectHelper& page,
                          QPDFObjectHandle form, const PagePlacement& placement,
                          QPDFObjectHandle value);

// A signature field that shows nowhere, for a document time stamp: listed on `page` and in the
// form under a name of its own (`prefix` and a number), its value `value`. Its name.
QString newHiddenSignatureField(QPDF& document, IncrementalUpdate& update,
                                QPDFPageObjectHelper& page, QPDFObjectHandle value,
                                const std::string& prefix);

// The document's empty signature field signed: its value `value`, each widget showing the
// signature as large as it fits in it, upright and centred. The page of its first widget that
// is on a page (0: none is), from 1.
int fillSignatureField(QPDF& document, IncrementalUpdate& update, const FormField& field,
                       QPDFObjectHandle form, const QPDFObjectHandle::Rectangle& own,
                       QPDFObjectHandle value);
