#include "pdfpicture.h"

#include "base/programvalues.h"
#include "render/geometry.h"
#include "render/vectorsurface.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>

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

QByteArray picturePdf(bool transparent, const VectorDrawing& draw, QString* backgroundError)
{
    return onePage(OuterWidthTwips, OuterHeightTwips, [&](QPainter& painter) {
        VectorSurface surface(painter, transparent);
        draw(surface);
        if (backgroundError)
            *backgroundError = surface.backgroundError();
    });
}

QByteArray textBoxPdf(const VectorDrawing& draw)
{
    // Drawn once into a recording to learn the text's box and where its ink reaches (a
    // script's flourish may leave the box), then played onto a page of that size.
    QPicture recorded;
    QRectF page;
    QRectF recordedInk;
    {
        QPainter painter(&recorded);
        VectorSurface surface(painter, true);
        surface.drawWholeText();
        const TextHandleRect box = draw(surface);
        recordedInk = surface.inkRect();
        page = QRectF(box.left, box.top, box.width, box.height) |
               QRectF(surface.inkRect().topLeft() * TwipsPerPixel,
                      surface.inkRect().size() * TwipsPerPixel);
    }
    // A name of blanks or marks alone draws nothing: no signature to put on a document.
    if (!(page.width() > 0 && page.height() > 0) || recordedInk.isEmpty())
        return {};
    return onePage(page.width(), page.height(), [&](QPainter& painter) {
        painter.translate(-page.left() / TwipsPerPixel, -page.top() / TwipsPerPixel);
        recorded.play(&painter);
    });
}
