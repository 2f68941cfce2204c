#include "texthandle.h"

#include "render/geometry.h"

#include <QMouseEvent>

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
