#include "stylelist.h"

#include <QImage>
#include <QPainter>

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
