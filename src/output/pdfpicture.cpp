#include "pdfpicture.h"

#include "base/programvalues.h"
#include "render/geometry.h"
#include "render/vectorsurface.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr double TwipsPerPoint = 20;

// Paints `paint` on one page of `widthTwips` × `heightTwips`, in reference pixels.
QByteArray onePage(double widthTwips, double heightTwips,
                   const std::function<void(QPainter&)>& paint)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setTitle(AppTitle);
        pdf.setCreator(AppTitle);
        pdf.setResolution(1440 / TwipsPerPixel);
        pdf.setPageSize(QPageSize(QSizeF(widthTwips / TwipsPerPoint, heightTwips / TwipsPerPoint),
                                  QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&pdf))
            return {};
        paint(painter);
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

} // namespace

QByteArray picturePdf(bool transparent, const QString& background, const Layout& layout,
                      QString* backgroundError)
{
    return onePage(OuterWidthTwips, OuterHeightTwips, [&](QPainter& painter) {
        VectorSurface surface(painter, transparent);
        drawPicture(surface, background, layout);
        if (backgroundError)
            *backgroundError = surface.backgroundError();
    });
}

QByteArray inkBoxPdf(const Layout& layout)
{
    // A name of blanks or marks alone draws nothing: no signature to put on a document.
    const QRectF page = layout.inkBox;
    if (!(page.width() > 0 && page.height() > 0))
        return {};
    return onePage(page.width(), page.height(), [&](QPainter& painter) {
        painter.translate(-page.left() / TwipsPerPixel, -page.top() / TwipsPerPixel);
        VectorSurface surface(painter, true);
        surface.drawWholeText();
        paint(layout, surface);
    });
}

QByteArray drawnPdf(QSizeF pixels, const std::function<void(QPainter&)>& paint)
{
    return onePage(pixels.width() * TwipsPerPixel, pixels.height() * TwipsPerPixel, paint);
}
