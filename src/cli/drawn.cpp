#include "drawn.h"

#include "base/regularfile.h"
#include "options.h"
#include "output/filewrite.h"
#include "output/handwritingfiles.h"
#include "render/handwriting.h"
#include "render/scannedink.h"
#include "stamp.h"

#include <QFileInfo>

#include <cmath>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

// Far more than a signature's points take as JSON, far less than memory.
constexpr qint64 LargestFile = 32 * 1024 * 1024;
// A page of a metre at 4× takes 60 million; a picture this large is no signature.
constexpr qint64 LargestDrawnPixels = 100'000'000;

QString why(HandwritingError error)
{
    switch (error) {
    case HandwritingError::Unreadable: return QStringLiteral("is not a drawn signature (not JSON)");
    case HandwritingError::NotOurs: return QStringLiteral("is not a drawn signature of this program");
    case HandwritingError::NewerVersion:
        return QStringLiteral("was written by a newer version of this program");
    case HandwritingError::Malformed:
        return QStringLiteral("is damaged: a value in it is missing or out of range");
    case HandwritingError::TooManyPoints:
        return QStringLiteral("holds more than %1 points, more than any signature").arg(MostPenPoints);
    case HandwritingError::NoInk: return QStringLiteral("holds no strokes");
    }
    return {};
}

// Writes the signature into the output, as its name's suffix says (PNG at the job's scale).
std::optional<Failure> writeDrawn(const Options& options, const DrawnFiles& files,
                                  QJsonObject report, QTextStream& out)
{
    const Job& job = options.job;
    const QString suffix = QFileInfo(job.output).suffix().toLower();
    const bool png = suffix != QLatin1String("svg") && suffix != QLatin1String("pdf");
    // A picture larger than memory allows is refused before a pixel of it is made.
    const double pixels = files.size.width() * files.size.height() * job.scale * job.scale;
    if (png && pixels > LargestDrawnPixels)
        return Failure{ExitBadArguments,
                       QStringLiteral("a picture of %1 × %2 pixels is larger than this program "
                                      "writes (%3 million pixels at most): ask for a smaller --scale")
                           .arg(qint64(std::ceil(files.size.width() * job.scale)))
                           .arg(qint64(std::ceil(files.size.height() * job.scale)))
                           .arg(LargestDrawnPixels / 1'000'000)};
    const QByteArray file = !png ? (suffix == QLatin1String("svg") ? files.svg() : files.pdf())
                                 : pngBytes(files.image(job.scale));
    // An empty file is no picture: never written, never called written.
    if (file.isEmpty())
        return Failure{ExitFailure, QStringLiteral("%1 could not be made: not enough memory for a "
                                                   "picture of that size")
                                        .arg(job.output)};
    if (const auto failed = writeFile(job.output, file))
        return Failure{ExitFailure, QStringLiteral("cannot write %1: %2").arg(job.output, *failed)};
    if (options.report) {
        report.insert(QStringLiteral("output"), job.output);
        report.insert(QStringLiteral("size"), QJsonArray{files.size.width() * job.scale,
                                                         files.size.height() * job.scale});
        out << QJsonDocument(report).toJson(QJsonDocument::Compact) << Qt::endl;
    }
    return std::nullopt;
}

// A signature on paper, from its photograph: its ink alone, drawn or put on the document.
std::optional<Failure> drawScannedSignature(const Options& options, QTextStream& out,
                                            QTextStream& err)
{
    const auto read = readScan(options.drawnFile);
    if (const auto* problem = std::get_if<ScanError>(&read)) {
        const QString why =
            *problem == ScanError::TooLarge
                ? QStringLiteral("has more than %1 million pixels, more than a photograph of a "
                                 "signature needs")
                      .arg(LargestScanPixels / 1'000'000)
            : *problem == ScanError::NoInk ? QStringLiteral("shows no ink: nothing is darker than its paper")
                                           : QStringLiteral("is not a picture this program reads");
        return Failure{ExitFailure, QStringLiteral("%1 %2").arg(options.drawnFile, why)};
    }
    const DrawnFiles files = drawnFiles(std::get<QImage>(read), options.job.color);
    const QJsonObject report{{QStringLiteral("drawn"), options.drawnFile}};
    if (!options.stampFile.isEmpty() || !options.stampBatchFile.isEmpty())
        return stampDocument(options, files.pdf(), report, out, err);
    return writeDrawn(options, files, report, out);
}

} // namespace

std::optional<Failure> drawDrawnSignature(const Options& options, QTextStream& out,
                                          QTextStream& err)
{
    const Job& job = options.job;
    if (!QFileInfo(options.drawnFile).suffix().startsWith(QLatin1String("json"), Qt::CaseInsensitive))
        return drawScannedSignature(options, out, err);
    QString error;
    const auto bytes = readRegularFile(options.drawnFile, LargestFile, &error);
    if (!bytes)
        return Failure{ExitFailure,
                       QStringLiteral("cannot read %1: %2").arg(options.drawnFile, error)};
    auto read = readHandwriting(*bytes);
    if (const auto* problem = std::get_if<HandwritingError>(&read))
        return Failure{ExitFailure, QStringLiteral("%1 %2").arg(options.drawnFile, why(*problem))};
    const Handwriting& writing = std::get<Handwriting>(read);
    if (inkBounds(handwritingInk(writing)).isEmpty())
        return Failure{ExitFailure, QStringLiteral("%1 %2").arg(options.drawnFile,
                                                                why(HandwritingError::NoInk))};
    QJsonObject report{{QStringLiteral("drawn"), options.drawnFile},
                       {QStringLiteral("strokes"), qsizetype(writing.strokes.size())}};
    // On a document the signature's corner is its ink's, as a typed one's is.
    if (!options.stampFile.isEmpty() || !options.stampBatchFile.isEmpty())
        return stampDocument(options, handwritingPdf(trimmed(writing, 0), job.color), report,
                             out, err);
    // A file keeps a pen's width of room around the ink.
    return writeDrawn(options, drawnFiles(trimmed(writing, writing.penWidth), job.color), report,
                      out);
}
