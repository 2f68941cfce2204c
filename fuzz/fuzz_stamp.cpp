// Documents a person asks to sign: the whole stamping path, qpdf included, on a fuzzed document
// no larger than the run's -max_len.
#include "pdf/stamp.h"
#include "pdf/pagelist.h"
#include "fuzz.h"
#include "../tests/plainpdf.h"

#include <QFile>
#include <QTemporaryDir>

#include <qpdf/QPDF.hh>

#include <vector>

namespace {

// A signature as the renderer makes one: a single page with a drawing on it.
const QByteArray Signature =
    pdfOf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 50] "
           "/Contents 4 0 R >>",
           "<< /Length 14 >>\nstream\n0 0 50 50 re f\nendstream"});

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("document.pdf"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    file.close();

    StampPlace place;
    place.atMm = QPointF(10, 10);
    place.widthMm = 20;
    const auto stamped = stampPdf(path, Signature, place);
    if (std::holds_alternative<SignError>(stamped))
        return 0;
    // A signed copy is a PDF that reads again without repair.
    const QByteArray pdf = std::get<SignedCopy>(stamped).whole();
    QPDF again;
    again.setSuppressWarnings(true);
    again.processMemoryFile("stamped", pdf.constData(), size_t(pdf.size()));
    FUZZ_CHECK(!again.getAllPages().empty() && !again.anyWarnings());
    return 0;
}
