#include "inkswatch.h"

#include "controlkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

InkSwatch::InkSwatch(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("lblColorPreview"));
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("墨水颜色：点一下选择"));
    setAccessibleName(QStringLiteral("墨水颜色"));
}

void InkSwatch::setInk(QRgb ink)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(ink));
    setPalette(p);
}

void InkSwatch::paintEvent(QPaintEvent* e)
{
    QLabel::paintEvent(e);
    if (!hasFocus())
        return;
    // White inside blue: the ring shows on every ink.
    QPainter p(this);
    p.setPen(QPen(FocusColor, 2));
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    p.setPen(QPen(Qt::white, 1));
    p.drawRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
}

void InkSwatch::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Q_EMIT clicked();
}

void InkSwatch::keyPressEvent(QKeyEvent* e)
{
    if (isPress(e))
        Q_EMIT clicked();
    else
        QLabel::keyPressEvent(e);
}
