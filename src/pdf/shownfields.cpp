#include "shownfields.h"

#include "formfields.h"
#include "incrementalupdate.h"
#include "opendocument.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

std::variant<QByteArray, SignError> fieldsAsStamps(const QString& path, const SecretBytes* password)
{
    auto opened = OpenDocument::open(path, password);
    if (auto* failure = std::get_if<SignError>(&opened))
        return *failure;
    OpenDocument& document = *std::get<std::unique_ptr<OpenDocument>>(opened);
    try {
        QPDF& qpdf = document.qpdf();
        IncrementalUpdate update(qpdf, *document.file(), document.highestReferenced());
        bool any = false;
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(qpdf).getAllPages()) {
            QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
            for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i) {
                QPDFObjectHandle widget = annots.getArrayItem(i);
                QPDFObjectHandle shown = keyOf(keyOf(widget, "/AP"), "/N");
                if (!widget.isIndirect() || !keyOf(widget, "/Subtype").isNameAndEquals("/Widget") ||
                    !(shown.isStream() || shown.isDictionary()))
                    continue;
                widget.replaceKey("/Subtype", QPDFObjectHandle::newName("/Stamp"));
                update.add(widget);
                any = true;
            }
        }
        if (!any)
            return QByteArray();
        auto written = update.write();
        if (const QString* why = std::get_if<QString>(&written)) {
            SignError e = document.error(SignError::Kind::UpdateFailed);
            e.detail = *why;
            return e;
        }
        return std::get<IncrementalUpdate::Written>(written).bytes;
    } catch (const std::exception& e) {
        return document.failure(e);
    }
}
