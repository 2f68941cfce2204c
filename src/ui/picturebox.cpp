#include "picturebox.h"

#include <QPainter>

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("picMain"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setPicture(const QImage& image)
{
    picture_ = image;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    // The surface's image carries its own pixel ratio, so it lands at its logical size.
    p.drawImage(QPointF(0, 0), picture_);
    Q_EMIT painted();
}
