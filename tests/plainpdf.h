#pragma once

// Small PDF documents written by hand, for the tests and the stamping fuzz target.
#include <QByteArray>

#include <vector>

// A PDF of these objects, numbered from 1, the first its catalogue, with a correct
// cross-reference table.
inline QByteArray pdfOf(const std::vector<QByteArray>& objects)
{
    QByteArray pdf = "%PDF-1.7\n";
    std::vector<qsizetype> offsets;
    for (const QByteArray& body : objects) {
        offsets.push_back(pdf.size());
        pdf += QByteArray::number(qsizetype(offsets.size())) + " 0 obj\n" + body + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf +=
        "xref\n0 " + QByteArray::number(qsizetype(offsets.size()) + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype at : offsets)
        pdf += QByteArray::number(at).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(qsizetype(offsets.size()) + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// Two pages, a blue bar on each; with `page1`, `page2` and `more`, what the pages and the
// catalogue hold besides, and further objects from number 7.
inline QByteArray twoPages(const QByteArray& page1 = {}, const QByteArray& page2 = {},
                    const QByteArray& catalog = {}, const std::vector<QByteArray>& more = {})
{
    const QByteArray bar = "0 0 1 rg 72 650 300 5 re f";
    const QByteArray stream =
        "<< /Length " + QByteArray::number(bar.size()) + " >>\nstream\n" + bar + "\nendstream";
    std::vector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R " + catalog + " >>",
        "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R " + page1 + " >>",
        stream,
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 6 0 R " + page2 + " >>",
        stream};
    objects.insert(objects.end(), more.begin(), more.end());
    return pdfOf(objects);
}

// An array of `count` zeros: eight megabytes of file for four million, which qpdf would hold
// in a gigabyte.
inline QByteArray hugeArray(int count)
{
    return "[" + QByteArray("0 ").repeated(count) + "]";
}

// One page whose list of annotations is an array of four million numbers.
inline QByteArray pageWithHugeAnnotationList()
{
    return pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                  "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 4 0 R >>",
                  hugeArray(4'000'000)});
}
