#include "stylelist.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QTimer>

#include <algorithm>

StyleComboBox::StyleComboBox(QWidget* parent) : QComboBox(parent)
{
    setItemDelegate(new StylePreviewDelegate(this));
}

void StyleComboBox::showPopup()
{
    Q_EMIT popupAboutToShow();
    QComboBox::showPopup();
}

namespace {

// Each pixel as opaque as the most opaque within `by` of it, and a third of the strongest
// made solid, in the ink's colour, with `by` pixels of room around.
QImage thickened(const QImage& image, int by)
{
    const QImage in = image.convertToFormat(QImage::Format_ARGB32);
    QRgb ink = 0;
    for (int y = 0; y < in.height(); ++y)
        for (int x = 0; x < in.width(); ++x)
            if (qAlpha(in.pixel(x, y)) > qAlpha(ink))
                ink = in.pixel(x, y);
    if (qAlpha(ink) == 0)
        return image;
    QImage out(in.size() + QSize(2 * by, 2 * by), QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            int alpha = 0;
            for (int dy = -by; dy <= by; ++dy)
                for (int dx = -by; dx <= by; ++dx)
                    if (in.rect().contains(x - by + dx, y - by + dy))
                        alpha = std::max(alpha, qAlpha(in.pixel(x - by + dx, y - by + dy)));
            out.setPixel(x, y, qRgba(qRed(ink), qGreen(ink), qBlue(ink),
                                     std::min(255, alpha * 3 * 255 / qAlpha(ink))));
        }
    return out;
}

} // namespace

QImage StyleComboBox::previewOf(const QImage& drawn, qreal devicePixelRatio, bool penLines)
{
    int left = drawn.width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x)
            if (qAlpha(line[x]) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = top < 0 ? y : top;
                bottom = y;
            }
    }
    if (right < 0)
        return {};
    const QRect ink(QPoint(left, top), QPoint(right, bottom));
    const qreal k = std::min(StylePreviewDelegate::PreviewHeight / qreal(ink.height()),
                             MaxPreviewWidth / qreal(ink.width()));
    QImage preview = drawn.copy(ink).scaled((QSizeF(ink.size()) * k * devicePixelRatio).toSize(),
                                            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (penLines)
        preview = thickened(preview, qMax(1, qRound(devicePixelRatio)));
    preview.setDevicePixelRatio(devicePixelRatio);
    return preview;
}

void StyleComboBox::makePreview(int index)
{
    setItemData(index, draw_(index), PreviewRole);
}

void StyleComboBox::drawNextLater()
{
    QTimer::singleShot(0, this, [this] {
        if (later_.isEmpty())
            return;
        makePreview(later_.takeFirst());
        view()->viewport()->update();
        drawNextLater();
    });
}

void StyleComboBox::makePreviews(const Drawing& draw)
{
    draw_ = draw;
    const QFontMetrics names(view()->font());
    int nameWidth = 0;
    for (int i = 0; i < count(); ++i) {
        setItemData(i, QImage(), PreviewRole);
        nameWidth = std::max(nameWidth, names.horizontalAdvance(itemText(i)));
    }
    auto* delegate = static_cast<StylePreviewDelegate*>(itemDelegate());
    delegate->setNameWidth(nameWidth);
    // Wide enough for the longest name, the widest drawing there can be, and the scroll bar:
    // drawings that come after the list opens do not change its width.
    view()->setMinimumWidth(StylePreviewDelegate::Gap * 3 + nameWidth + MaxPreviewWidth +
                            view()->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    // The rows the list opens on, around the current one, are drawn before it shows; the
    // others one at a time after, so that the list opens at once and stays answerable.
    const int shown = std::max(1, maxVisibleItems());
    const int first = std::clamp(currentIndex() - shown / 2, 0, std::max(0, count() - shown));
    const bool drawing = !later_.isEmpty();
    later_.clear();
    for (int i = 0; i < count(); ++i) {
        if (i >= first && i < first + shown)
            makePreview(i);
        else
            later_ << i;
    }
    if (!drawing)
        drawNextLater();
}

void StylePreviewDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    QStyleOptionViewItem row = option;
    initStyleOption(&row, index);
    const QString name = row.text;
    row.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &row, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect nameArea = option.rect.adjusted(Gap, 0, 0, 0);
    painter->drawText(nameArea, Qt::AlignLeft | Qt::AlignVCenter, name);
    painter->restore();

    const QImage preview = index.data(StyleComboBox::PreviewRole).value<QImage>();
    if (preview.isNull())
        return;
    const QSizeF size = preview.deviceIndependentSize();
    const QPointF at(option.rect.left() + 2 * Gap + nameWidth_,
                     option.rect.top() + (option.rect.height() - size.height()) / 2);
    painter->drawImage(at, preview);
}

QSize StylePreviewDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    const QImage preview = index.data(StyleComboBox::PreviewRole).value<QImage>();
    const int width = 3 * Gap + nameWidth_ + int(preview.deviceIndependentSize().width());
    return {std::max(text.width(), width), std::max(text.height(), PreviewHeight + 6)};
}
