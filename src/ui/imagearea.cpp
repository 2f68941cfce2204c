#include "imagearea.h"

#include "render/imagesurface.h"

#include <QMouseEvent>
#include <QPainter>

ImageArea::ImageArea(const QString& name, QWidget* parent) : QWidget(parent)
{
    setObjectName(name);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void ImageArea::setBorder(bool on)
{
    if (border_ == on)
        return;
    border_ = on;
    update();
}

int ImageArea::buttonState(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

static int shiftState(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
           (m & Qt::AltModifier ? 4 : 0);
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

void ImageArea::mousePressEvent(QMouseEvent* e)
{
    const QPointF t = e->position() * TwipsPerPixel;
    Q_EMIT mouseDown(buttonState(e->button()), shiftState(e->modifiers()), float(t.x()),
                     float(t.y()));
}

void ImageArea::mouseMoveEvent(QMouseEvent* e)
{
    const QPointF t = e->position() * TwipsPerPixel;
    Q_EMIT mouseMove(buttonState(e->buttons()), shiftState(e->modifiers()), float(t.x()),
                     float(t.y()));
}

void ImageArea::mouseReleaseEvent(QMouseEvent* e)
{
    const QPointF t = e->position() * TwipsPerPixel;
    Q_EMIT mouseUp(buttonState(e->button()), shiftState(e->modifiers()), float(t.x()),
                   float(t.y()));
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Q_EMIT clicked();
}
