#include "pagestack.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>

namespace {

struct Part
{
    QPDF pdf;
    QPDFObjectHandle form;
    QPDFObjectHandle::Rectangle box;
};

bool read(Part& part, const QByteArray& bytes)
{
    part.pdf.setSuppressWarnings(true);
    part.pdf.processMemoryFile("part", bytes.constData(), size_t(bytes.size()));
    const auto pages = QPDFPageDocumentHelper(part.pdf).getAllPages();
    if (pages.size() != 1)
        return false;
    QPDFPageObjectHelper page = pages.front();
    part.box = page.getMediaBox().getArrayAsRectangle();
    part.form = page.getFormXObjectForPage();
    return part.box.urx > part.box.llx && part.box.ury > part.box.lly;
}

std::string number(double v)
{
    return QByteArray::number(v, 'f', 4).toStdString();
}

} // namespace

QByteArray stackedPdf(const QByteArray& above, const QByteArray& below)
{
    try {
        Part top, bottom;
        if (!read(top, above) || !read(bottom, below))
            return {};
        const double width = top.box.urx - top.box.llx;
        const double scale = width / (bottom.box.urx - bottom.box.llx);
        const double bottomHeight = (bottom.box.ury - bottom.box.lly) * scale;
        const double gap = width / 40;
        const double height = (top.box.ury - top.box.lly) + gap + bottomHeight;

        QPDF out;
        out.emptyPDF();
        const std::string content =
            "q 1 0 0 1 " + number(-top.box.llx) + ' ' + number(bottomHeight + gap - top.box.lly) +
            " cm /Above Do Q\nq " + number(scale) + " 0 0 " + number(scale) + ' ' +
            number(-bottom.box.llx * scale) + ' ' + number(-bottom.box.lly * scale) +
            " cm /Below Do Q\n";
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Above", out.copyForeignObject(top.form));
        xobjects.replaceKey("/Below", out.copyForeignObject(bottom.form));
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::newFromRectangle({0, 0, width, height}));
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", out.newStream(content));
        QPDFPageDocumentHelper(out).addPage(QPDFPageObjectHelper(out.makeIndirectObject(page)),
                                            false);
        QPDFWriter writer(out);
        writer.setOutputMemory();
        writer.setStaticID(true);
        writer.write();
        const auto buffer = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()),
                          qsizetype(buffer->getSize()));
    } catch (const std::exception&) {
        return {};
    }
}
