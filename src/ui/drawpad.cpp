#include "drawpad.h"

#include "output/handwritingfiles.h"
#include "render/scannedink.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTabletEvent>

DrawPad::DrawPad(QWidget* parent) : QWidget(parent)
{
    writing_.size = Size;
    // A line a person sees at 72 points, a third of the pad's size.
    writing_.penWidth = 8;
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

void DrawPad::apply(const Step& step, bool forward)
{
    if (!step.replaces && forward) {
        for (const PenStroke& stroke : step.strokes) {
            writing_.strokes.push_back(stroke);
            ink_.push_back(strokeInk(stroke, writing_.penWidth));
        }
    } else if (!step.replaces) {
        writing_.strokes.resize(writing_.strokes.size() - step.strokes.size());
        ink_.resize(ink_.size() - step.strokes.size());
    } else {
        writing_.strokes = forward ? std::vector<PenStroke>() : step.strokes;
        ink_ = handwritingInk(writing_);
        scan_ = forward ? step.scanAfter : step.scanBefore;
    }
    redrawInk();
    Q_EMIT changed();
}

void DrawPad::undo()
{
    if (done_.empty())
        return;
    undone_.push_back(std::move(done_.back()));
    done_.pop_back();
    apply(undone_.back(), false);
}

void DrawPad::redo()
{
    if (undone_.empty())
        return;
    done_.push_back(std::move(undone_.back()));
    undone_.pop_back();
    apply(done_.back(), true);
}

// One step, as a stroke is: undo brings everything back.
void DrawPad::clear()
{
    if (isEmpty())
        return;
    done_.push_back({true, writing_.strokes, scan_, QImage()});
    undone_.clear();
    apply(done_.back(), true);
}

void DrawPad::showScan(const QImage& ink)
{
    done_.push_back({true, writing_.strokes, scan_, ink});
    undone_.clear();
    apply(done_.back(), true);
}

QRectF DrawPad::scanRect() const
{
    const QSizeF size = scanSize(scan_);
    return QRectF(QPointF((Size.width() - size.width()) / 2, (Size.height() - size.height()) / 2),
                  size);
}

QImage DrawPad::scanWithStrokes() const
{
    if (scan_.isNull())
        return {};
    const QRectF shown = scanRect();
    const double margin = writing_.penWidth;
    const QRectF box = (shown | inkBounds(ink_).adjusted(-margin, -margin, margin, margin))
                           .intersected(QRectF(QPointF(), Size));
    const double scale = scan_.width() / shown.width();
    QImage out((box.size() * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(scale, scale);
    p.translate(-box.topLeft());
    p.drawImage(shown, scan_);
    for (const QPainterPath& stroke : ink_)
        p.fillPath(stroke, QColor::fromRgb(writing_.ink | 0xFF000000));
    p.end();
    return out.convertToFormat(QImage::Format_ARGB32);
}

void DrawPad::redrawInk()
{
    written_ = QImage(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    written_.setDevicePixelRatio(devicePixelRatioF());
    written_.fill(Qt::white);
    QPainter p(&written_);
    p.setTransform(toWidget());
    if (!scan_.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(scanRect(), scan_);
    }
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
    done_.push_back({false, {std::move(current_)}, QImage(), QImage()});
    current_.clear();
    apply(done_.back(), true);
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
