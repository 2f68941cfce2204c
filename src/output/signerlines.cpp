#include "signerlines.h"

#include "pdfpicture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace {

// The lines are drawn on a page this wide and scaled with the signature; at 13 em to the width
// a 40 mm signature carries them at about 9 points, a 30 mm seal at 6.5.
constexpr double PageWidth = 480;
constexpr double EmsAcross = 13;

} // namespace

QStringList signerLines(const QString& name, const QDateTime& when, const QString& reason,
                        const QString& location)
{
    QStringList lines{QStringLiteral("签名人：%1").arg(name),
                      QStringLiteral("日期：%1").arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm")))};
    if (!reason.isEmpty())
        lines << QStringLiteral("理由：%1").arg(reason);
    if (!location.isEmpty())
        lines << QStringLiteral("地点：%1").arg(location);
    return lines;
}

QByteArray linesPdf(const QStringList& lines, const QStringList& families)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(int(PageWidth / EmsAcross));
    const QFontMetricsF metrics(font);
    // Carried on character by character: names and reasons have no spaces to break at.
    QStringList wrapped;
    for (const QString& line : lines) {
        QString part;
        for (const QChar c : line) {
            if (!part.isEmpty() && !c.isLowSurrogate() &&
                metrics.horizontalAdvance(part + c) > PageWidth) {
                wrapped << part;
                part.clear();
            }
            part += c;
        }
        wrapped << part;
    }
    QPainterPath path;
    double baseline = metrics.ascent();
    for (const QString& line : wrapped) {
        path.addText(0, baseline, font, line);
        baseline += metrics.lineSpacing();
    }
    if (path.isEmpty())
        return {};
    const double height = baseline - metrics.lineSpacing() + metrics.descent();
    return drawnPdf(QSizeF(PageWidth, height), [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, Qt::black);
    });
}
