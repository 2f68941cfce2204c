#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>

#include <functional>

// The style list: each entry is the style's name and beside it the person's own name as that
// style draws it. The drawings are made when the list is about to open.
class StyleComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit StyleComboBox(QWidget* parent);
    static constexpr int PreviewRole = Qt::UserRole + 1; // a QImage of the drawn name

    // The entry at `index` drawn as its style draws the name; tightly cropped.
    using Drawing = std::function<QImage(int index)>;
    // A drawing on nothing cropped to its ink and brought down to the list's height; lines
    // drawn with a pen, fine once brought down, thickened to be seen.
    static QImage previewOf(const QImage& drawn, qreal devicePixelRatio, bool penLines = false);
    // Makes the entries' drawings, those the open list shows first and the others right after
    // it shows, and widens the list to show names and drawings whole.
    void makePreviews(const Drawing& draw);
    static constexpr int MaxPreviewWidth = 220;

Q_SIGNALS:
    void popupAboutToShow();

protected:
    void showPopup() override;

private:
    void makePreview(int index);
    void drawNextLater();

    Drawing draw_;
    QList<int> later_; // rows whose drawings come after the list shows
};

// Paints an entry once: the row, the style's name in the list's own face, then the drawing in
// a column of its own.
class StylePreviewDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr int PreviewHeight = 26;
    static constexpr int Gap = 8;

    void setNameWidth(int width) { nameWidth_ = width; }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int nameWidth_ = 0;
};
