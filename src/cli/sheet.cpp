#include "sheet.h"

#include "catalogue/fonttable.h"
#include "catalogue/stylerules.h"
#include "drawing.h"
#include "output/saveimage.h"

#include <QFileInfo>
#include <QPainter>

namespace {

constexpr int Columns = 3;
constexpr int CaptionPx = 30;
constexpr int GapPx = 8;
// 400 MB as it is drawn: a sheet larger than that is refused before anything is drawn.
constexpr qint64 MaxSheetPixels = 100'000'000;

} // namespace

std::optional<Failure> drawSheet(const Options& options, const Catalogue& catalogue,
                                 SignatureRenderer& renderer)
{
    Job job = options.job;
    if (auto failure = checkOutputFormat(job))
        return failure;
    const QString suffix = QFileInfo(job.output).suffix().toLower();
    if (suffix == QLatin1String("svg") || suffix == QLatin1String("pdf"))
        return Failure{ExitBadArguments, QStringLiteral("a sheet is a raster picture: use .png")};
    job.output = QStringLiteral("sheet.png"); // each cell is drawn as a PNG would be
    const int count = int(catalogue.styles.size());
    if (count == 0)
        return Failure{ExitFailure, QStringLiteral("there is no style to draw")};
    const QSize cell(qRound(SurfaceWidthPx * job.scale), qRound(SurfaceHeightPx * job.scale));
    const int rows = (count + Columns - 1) / Columns;
    const int pitchX = cell.width() + GapPx;
    const int pitchY = cell.height() + CaptionPx + GapPx;
    const qint64 width = qint64(Columns) * pitchX + GapPx;
    const qint64 height = qint64(rows) * pitchY + GapPx;
    if (width * height > MaxSheetPixels)
        return Failure{ExitFailure,
                       QStringLiteral("a sheet of %1 styles would be %2 x %3 pixels, more than "
                                      "100 megapixels: use a smaller --scale")
                           .arg(count)
                           .arg(width)
                           .arg(height)};
    QImage sheet(int(width), int(height), QImage::Format_RGB32);
    sheet.setDotsPerMeterX(3780);
    sheet.setDotsPerMeterY(3780);
    sheet.fill(QColor(236, 236, 236));

    // Captions in the default style's face, so that they read alike on every machine.
    AppFontTable captionFonts;
    const Style captionStyle = catalogue.styles.value(catalogue.indexOfStyle(DefaultStyle));
    const QString captionFile = captionStyle.files.value(0);
    captionFonts.addFont(captionFile);
    QFont caption(captionFonts.familyFor(captionFile, captionStyle.faces.value(0)));
    caption.setPixelSize(CaptionPx * 2 / 3);

    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(caption);
    for (int i = 0; i < count; ++i) {
        job.style = catalogue.styles[i].name;
        QImage picture;
        const auto keep = [&picture](const RasterPicture& drawn) -> std::optional<Failure> {
            picture = drawn.whole();
            return std::nullopt;
        };
        if (auto failure = renderer.render(job, nullptr, keep))
            return Failure{failure->code, job.style + QStringLiteral(": ") + failure->message};
        const QPoint at(GapPx + (i % Columns) * pitchX, GapPx + (i / Columns) * pitchY);
        painter.setPen(Qt::black);
        painter.drawText(QRect(at, QSize(cell.width(), CaptionPx)),
                         Qt::AlignLeft | Qt::AlignVCenter, job.style);
        picture.setDevicePixelRatio(1);
        painter.drawImage(at + QPoint(0, CaptionPx), picture);
    }
    painter.end();
    captionFonts.removeFont(captionFile);
    RasterPicture whole;
    whole.image = sheet;
    return writeTo(options.job)(whole);
}
