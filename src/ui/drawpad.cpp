#include "drawpad.h"

#include "output/handwritingfiles.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTabletEvent>

DrawPad::DrawPad(QWidget* parent) : QWidget(parent)
{
    writing_.size = Size;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize((Size / 3).toSize());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setAccessibleName(QStringLiteral("手写区：按住鼠标左键或用笔在这里写下签名"));
}

QTransform DrawPad::toWidget() const
{
    const double scale = std::min(width() / Size.width(), height() / Size.height());
    const QSizeF shown = Size * scale;
    return QTransform::fromTranslate((width() - shown.width()) / 2, (height() - shown.height()) / 2)
        .scale(scale, scale);
}

void DrawPad::setPenWidth(double width)
{
    if (width == writing_.penWidth)
        return;
    writing_.penWidth = width;
    ink_ = handwritingInk(writing_);
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::setInk(QRgb ink)
{
    writing_.ink = ink;
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::undo()
{
    if (writing_.strokes.empty())
        return;
    undone_.push_back(std::move(writing_.strokes.back()));
    writing_.strokes.pop_back();
    ink_.pop_back();
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::redo()
{
    if (undone_.empty())
        return;
    writing_.strokes.push_back(std::move(undone_.back()));
    undone_.pop_back();
    ink_.push_back(strokeInk(writing_.strokes.back(), writing_.penWidth));
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::clear()
{
    // Cleared, as written, can be undone a stroke at a time: the strokes go to the redo list.
    while (!writing_.strokes.empty()) {
        undone_.push_back(std::move(writing_.strokes.back()));
        writing_.strokes.pop_back();
    }
    ink_.clear();
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::redrawInk()
{
    written_ = QImage(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    written_.setDevicePixelRatio(devicePixelRatioF());
    written_.fill(Qt::white);
    QPainter p(&written_);
    p.setTransform(toWidget());
    paintHandwriting(p, ink_, writing_.ink);
    p.end();
    update();
}

void DrawPad::resizeEvent(QResizeEvent*)
{
    redrawInk();
}

void DrawPad::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.drawImage(QPointF(0, 0), written_);
    // A line to sign on, as on paper.
    const QTransform pad = toWidget();
    p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1, Qt::DashLine));
    p.drawLine(pad.map(QLineF(60, Size.height() * 0.72, Size.width() - 60, Size.height() * 0.72)));
    if (current_.empty())
        return;
    p.setClipRegion(event->region());
    p.setTransform(pad);
    paintHandwriting(p, {strokeInk(current_, writing_.penWidth)}, writing_.ink);
}

void DrawPad::begin(QPointF at, double pressure)
{
    writingNow_ = true;
    clock_.start();
    current_ = {{at.x(), at.y(), 0, pressure}};
    undone_.clear();
    shownCurrent_ = QRectF();
    extend(at, pressure);
}

void DrawPad::extend(QPointF at, double pressure)
{
    if (!writingNow_)
        return;
    if (current_.size() > 1 || current_.back().x != at.x() || current_.back().y != at.y())
        current_.push_back({at.x(), at.y(), double(clock_.elapsed()), pressure});
    // Only where the stroke's end has changed: the rest of the pad stays as painted.
    const double reach = writing_.penWidth * 2;
    QRectF near;
    for (size_t i = current_.size() > 6 ? current_.size() - 6 : 0; i < current_.size(); ++i)
        near |= QRectF(current_[i].x - reach, current_[i].y - reach, 2 * reach, 2 * reach);
    const QRect changedArea = toWidget().mapRect(near).toAlignedRect().adjusted(-2, -2, 2, 2);
    // The whole stroke tapers at its end: where it was tapered last is painted again too.
    update(changedArea | shownCurrent_.toAlignedRect());
    shownCurrent_ = changedArea;
}

void DrawPad::finish()
{
    if (!writingNow_)
        return;
    writingNow_ = false;
    writing_.strokes.push_back(std::move(current_));
    current_.clear();
    ink_.push_back(strokeInk(writing_.strokes.back(), writing_.penWidth));
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        begin(toWidget().inverted().map(event->position()), -1);
}

void DrawPad::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        extend(toWidget().inverted().map(event->position()), -1);
}

void DrawPad::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        extend(toWidget().inverted().map(event->position()), -1);
        finish();
    }
}

// A pen says how hard it presses; a pen's events taken here, none comes again as a mouse's.
void DrawPad::tabletEvent(QTabletEvent* event)
{
    const QPointF at = toWidget().inverted().map(event->position());
    switch (event->type()) {
    case QEvent::TabletPress: begin(at, event->pressure()); break;
    case QEvent::TabletMove: extend(at, event->pressure()); break;
    case QEvent::TabletRelease: finish(); break;
    default: break;
    }
    event->accept();
}
