#include "imagearea.h"

#include "controlkeys.h"

#include "render/geometry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

ImageArea::ImageArea(const QString& name, QWidget* parent) : QWidget(parent)
{
    setObjectName(name);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void ImageArea::setBorder(bool on)
{
    if (border_ == on)
        return;
    border_ = on;
    update();
}

void ImageArea::makeButton(const QString& tip)
{
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(tip);
    setAccessibleName(tip);
}

void ImageArea::paintEvent(QPaintEvent*)
{
    if (!border_ && !hasFocus())
        return;
    // Fills rather than a stroked rectangle: a path costs the painter more on every drag move.
    QPainter p(this);
    const QRect r = rect();
    const int w = hasFocus() ? 2 : 1;
    const QColor c = hasFocus() ? FocusColor : QColor(Qt::black);
    p.fillRect(QRect(r.left(), r.top(), r.width(), w), c);
    p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), c);
    p.fillRect(QRect(r.left(), r.top(), w, r.height()), c);
    p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), c);
}

void ImageArea::keyPressEvent(QKeyEvent* e)
{
    if (focusPolicy() != Qt::NoFocus && isPress(e)) {
        Q_EMIT clicked();
        return;
    }
    QWidget::keyPressEvent(e);
}

void ImageArea::focusInEvent(QFocusEvent* e)
{
    update();
    QWidget::focusInEvent(e);
}

void ImageArea::focusOutEvent(QFocusEvent* e)
{
    update();
    QWidget::focusOutEvent(e);
}

void ImageArea::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Q_EMIT clicked();
}
