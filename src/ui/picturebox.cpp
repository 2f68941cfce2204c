#include "picturebox.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picMain"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureBox::setPicture(const QImage* image)
{
    picture_ = image;
    update();
}

void PictureBox::showChanged(const QRect& pixels)
{
    if (!picture_ || pixels.isEmpty())
        return;
    const qreal k = picture_->devicePixelRatio();
    update(QRectF(pixels.x() / k, pixels.y() / k, pixels.width() / k, pixels.height() / k)
               .toAlignedRect());
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QRect area = event->rect();
    if (!picture_) {
        p.fillRect(area, Qt::white);
        return;
    }
    // The image carries its own pixel ratio: only the part asked for is drawn, where it belongs;
    // at one pixel per pixel as a plain copy.
    const qreal k = picture_->devicePixelRatio();
    if (k == 1)
        p.drawImage(area.topLeft(), *picture_, area);
    else
        p.drawImage(QRectF(area), *picture_,
                    QRectF(area.x() * k, area.y() * k, area.width() * k, area.height() * k));
    if (hasFocus()) {
        p.setPen(QPen(QColor(0, 61, 57), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    Q_EMIT painted();
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    // Shift is the finer step, as on a document page.
    const int step = event->modifiers() & Qt::ShiftModifier ? 1 : 10;
    switch (event->key()) {
    case Qt::Key_Left:
        Q_EMIT nudged(-step, 0);
        break;
    case Qt::Key_Right:
        Q_EMIT nudged(step, 0);
        break;
    case Qt::Key_Up:
        Q_EMIT nudged(0, -step);
        break;
    case Qt::Key_Down:
        Q_EMIT nudged(0, step);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PictureBox::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void PictureBox::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}
