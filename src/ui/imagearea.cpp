#include "imagearea.h"

#include "render/geometry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QColor FocusColor(0x1a, 0x5f, 0xb4);

bool isPress(const QKeyEvent* e)
{
    return !e->isAutoRepeat() && (e->key() == Qt::Key_Space || e->key() == Qt::Key_Return ||
                                  e->key() == Qt::Key_Enter);
}

} // namespace

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

FocusRing::FocusRing(QWidget* window) : QWidget(window)
{
    setObjectName(QStringLiteral("focusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { follow(now); });
}

void FocusRing::follow(QWidget* focused)
{
    // The control itself, not its inner line edit, and only the ones that draw no ring of
    // their own.
    QWidget* control = focused;
    while (control && control->parentWidget() != parentWidget())
        control = control->parentWidget();
    if (!control || control->isWindow() || qobject_cast<ImageArea*>(control) ||
        qobject_cast<InkSwatch*>(control)) {
        hide();
        return;
    }
    setGeometry(control->geometry().adjusted(-3, -3, 3, 3));
    raise();
    show();
}

void FocusRing::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    for (const QRect& side : {QRect(r.left(), r.top(), r.width(), 2),
                              QRect(r.left(), r.bottom() - 1, r.width(), 2),
                              QRect(r.left(), r.top(), 2, r.height()),
                              QRect(r.right() - 1, r.top(), 2, r.height())})
        p.fillRect(side, FocusColor);
}
