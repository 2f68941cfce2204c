#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>

struct Catalogue;
class AppFontTable;

// The style list: says when its list is about to open, so that each style's name can be drawn
// in the style's own face as font menus do, and shows those drawings in the list.
class StyleComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    static constexpr int PreviewRole = Qt::UserRole + 1; // a QImage of the name in its face

    // Each style's name drawn in its own face, as font menus show them; a Latin style shows a
    // sample of its letters after its name.
    void makePreviews(const Catalogue& catalogue, AppFontTable& fonts);

Q_SIGNALS:
    void popupAboutToShow();

protected:
    void showPopup() override;
};

class StylePreviewDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
