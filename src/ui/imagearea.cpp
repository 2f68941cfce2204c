#include "imagearea.h"

#include "render/geometry.h"

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

void ImageArea::paintEvent(QPaintEvent*)
{
    if (!border_)
        return;
    // Four one-pixel fills: a stroked rectangle costs the painter a path on every drag move.
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::black);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::black);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), Qt::black);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), Qt::black);
}

void ImageArea::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Q_EMIT clicked();
}

TextHandle::TextHandle(QWidget* picture) : ImageArea(QStringLiteral("imgMove"), picture) {}

QPointF TextHandle::pointerOverPicture(const QMouseEvent* e) const
{
    return (e->position() + QPointF(pos())) * TwipsPerPixel;
}

void TextHandle::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        Q_EMIT dragStarted(pointerOverPicture(e));
}

void TextHandle::mouseMoveEvent(QMouseEvent* e)
{
    // Left with another button held is not a drag.
    if (e->buttons() == Qt::LeftButton)
        Q_EMIT dragged(pointerOverPicture(e));
}

void TextHandle::mouseReleaseEvent(QMouseEvent* e)
{
    Q_EMIT dragFinished();
    ImageArea::mouseReleaseEvent(e);
}
