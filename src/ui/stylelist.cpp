#include "stylelist.h"

#include "catalogue/catalogue.h"
#include "catalogue/fonttable.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QStyle>

#include <cmath>

void StyleComboBox::showPopup()
{
    Q_EMIT popupAboutToShow();
    QComboBox::showPopup();
}

void StylePreviewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const QImage preview = index.data(StyleComboBox::PreviewRole).value<QImage>();
    if (preview.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem plain = option;
    initStyleOption(&plain, index);
    plain.text.clear();
    QStyledItemDelegate::paint(painter, plain, index); // the row's selection and focus
    const QPoint at(option.rect.left() + 4,
                    option.rect.top() +
                        (option.rect.height() - int(preview.deviceIndependentSize().height())) / 2);
    painter->drawImage(at, preview);
}

QSize StylePreviewDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    const QImage preview = index.data(StyleComboBox::PreviewRole).value<QImage>();
    if (preview.isNull())
        return QStyledItemDelegate::sizeHint(option, index);
    return preview.deviceIndependentSize().toSize() + QSize(8, 6);
}

void StyleComboBox::makePreviews(const Catalogue& catalogue, AppFontTable& fonts)
{
    const qreal ratio = devicePixelRatioF();
    const QFont label = font();
    const QFontMetricsF labelMetrics(label);
    const QString sample = QStringLiteral("Abc");
    qreal widest = 0;
    for (int i = 0; i < catalogue.styles.size(); ++i) {
        const Style& style = catalogue.styles[i];
        const QString& name = style.name;
        // A folder style shows in its first face.
        const QString file = style.files.value(0);
        const QString face = style.faces.value(0);
        fonts.addFont(file);
        QFont own;
        own.setFamilies({fonts.familyFor(file, face), label.family()});
        own.setPixelSize(22);
        const QFontMetricsF ownMetrics(own);
        const bool latin = style.kind == Style::Kind::LatinFolder;
        const qreal labelWidth = latin ? labelMetrics.horizontalAdvance(name + u' ') : 0;
        const qreal width = labelWidth + ownMetrics.horizontalAdvance(latin ? sample : name) + 2;
        QImage preview((QSizeF(width, 28) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        preview.setDevicePixelRatio(ratio);
        preview.fill(Qt::transparent);
        QPainter p(&preview);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(palette().color(QPalette::Text));
        if (latin) {
            p.setFont(label);
            p.drawText(QPointF(0, 19), name);
        }
        p.setFont(own);
        p.drawText(QPointF(labelWidth, 21), latin ? sample : name);
        p.end();
        fonts.removeFont(file);
        setItemData(i, preview, PreviewRole);
        widest = std::max(widest, width);
    }
    // Wide enough for the longest name, and its scroll bar.
    view()->setMinimumWidth(int(std::ceil(widest)) + 8 +
                            view()->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}
