#include "pageview.h"

#include <QKeyEvent>
#include <QPdfDocumentRenderOptions>
#include <QAbstractScrollArea>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <cmath>

namespace {

constexpr double Margin = 8;       // pixels around the page
constexpr double Corner = 10;      // pixels of the resize handle
constexpr double LeastWidthMm = 5; // a signature narrower than this is no longer readable

} // namespace

PageView::PageView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(Smallest, Smallest);
    setAccessibleName(QStringLiteral("文档页面，拖动签名放到要签的位置，方向键微调"));
}

void PageView::setPage(QPdfDocument* document, int page)
{
    document_ = document;
    page_ = page;
    pagePoints_ = document ? document->pagePointSize(page) : QSizeF();
    pageImage_ = QImage();
    sizeToZoom();
    placeFirst();
    keepOnPage();
    update();
}

// A first signature on a first page takes its own size, near the page's lower right corner,
// where people sign.
void PageView::placeFirst()
{
    if (placed_ || pagePoints_.isEmpty() || signaturePoints_.isEmpty())
        return;
    placed_ = true;
    width_ = std::min(signaturePoints_.width(), pagePoints_.width() / 3);
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    at_ = QPointF(pagePoints_.width() - width_ - 20 * PointsPerMm,
                  pagePoints_.height() - height - 30 * PointsPerMm);
}

void PageView::setSignature(const QByteArray& pdf)
{
    if (pdf == signatureBytes_.data() && signature_.pageCount() > 0)
        return;
    // The document reads from the buffer for as long as it is loaded.
    signature_.close();
    signatureBytes_.close();
    signatureBytes_.setData(pdf);
    signatureBytes_.open(QIODevice::ReadOnly);
    signature_.load(&signatureBytes_);
    const QSizeF before = signaturePoints_;
    signaturePoints_ = signature_.pageCount() > 0 ? signature_.pagePointSize(0) : QSizeF();
    signatureImage_ = QImage();
    // A changed signature keeps its place and its scale.
    if (placed_ && !before.isEmpty() && !signaturePoints_.isEmpty())
        width_ *= signaturePoints_.width() / before.width();
    placeFirst();
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

double PageView::heightMm() const
{
    return signaturePoints_.isEmpty()
               ? 0
               : widthMm() * signaturePoints_.height() / signaturePoints_.width();
}

void PageView::setSignatureShown(bool shown)
{
    signatureShown_ = shown;
    update();
}

void PageView::place(QPointF atMm, double widthMm)
{
    at_ = atMm * PointsPerMm;
    width_ = widthMm * PointsPerMm;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

QSize PageView::room() const
{
    // In a scroll area the room is its viewport's, not the view's own, which grows with the zoom.
    const QWidget* viewport = parentWidget();
    return viewport && viewport->objectName() == QLatin1String("qt_scrollarea_viewport")
               ? viewport->size()
               : size();
}

double PageView::scale() const
{
    if (pagePoints_.isEmpty())
        return 1;
    const QSize r = room();
    const double byWidth = (r.width() - 2 * Margin) / pagePoints_.width();
    const double fitted = fit_ == Fit::Width
                              ? byWidth
                              : std::min(byWidth, (r.height() - 2 * Margin) / pagePoints_.height());
    return std::max(fitted * zoom_, 0.01);
}

void PageView::setZoom(Fit fit, double zoom)
{
    fit_ = fit;
    zoom_ = std::clamp(zoom, 0.25, 8.0);
    sizeToZoom();
    update();
}

// The view as large as the page at its zoom, and no smaller than its room.
void PageView::sizeToZoom()
{
    const QSize page = pagePoints_.isEmpty()
                           ? QSize()
                           : (pagePoints_ * scale()).toSize() + QSize(2 * int(Margin), 2 * int(Margin));
    setMinimumSize(page.expandedTo(QSize(Smallest, Smallest)).boundedTo(QSize(20000, 20000)));
    pageImage_ = QImage();
}

// The point of the page under the pointer stays under it: once the scroll area has laid the
// view out at its new size (and shown or hidden its scroll bars), it is scrolled back there.
void PageView::zoomAbout(QPointF at, double zoom)
{
    auto* area = qobject_cast<QAbstractScrollArea*>(parentWidget() ? parentWidget()->parentWidget() : nullptr);
    const QRectF before = pageRect();
    if (area && !before.isEmpty()) {
        const QPointF onPage((at.x() - before.left()) / before.width(),
                             (at.y() - before.top()) / before.height());
        const QPointF inViewport = at + pos();
        QTimer::singleShot(0, this, [this, area, onPage, inViewport] {
            const QRectF after = pageRect();
            area->horizontalScrollBar()->setValue(
                qRound(after.left() + onPage.x() * after.width() - inViewport.x()));
            area->verticalScrollBar()->setValue(
                qRound(after.top() + onPage.y() * after.height() - inViewport.y()));
        });
    }
    setZoom(fit_, zoom);
}

QRectF PageView::pageRect() const
{
    if (pagePoints_.isEmpty())
        return {};
    const QSizeF size = pagePoints_ * scale();
    return QRectF(QPointF(std::max(Margin, (width() - size.width()) / 2),
                          std::max(Margin, (height() - size.height()) / 2)),
                  size);
}

QRectF PageView::signatureRect() const
{
    const QRectF page = pageRect();
    if (page.isEmpty() || signaturePoints_.isEmpty())
        return {};
    const double scale = page.width() / pagePoints_.width();
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    return QRectF(page.topLeft() + at_ * scale, QSizeF(width_, height) * scale);
}

void PageView::setShare(int slice, int slices)
{
    if (slice == slice_ && slices == slices_)
        return;
    slice_ = slice;
    slices_ = std::max(0, slices);
    drag_ = Drag::None;
    update();
}

QRectF PageView::shownRect() const
{
    const QRectF signature = signatureRect();
    if (slices_ == 0 || !signatureShown_ || signature.isEmpty())
        return {};
    if (slices_ == 1)
        return signature;
    // Each page takes its slice at its right edge, where the pages' edges meet when stacked.
    const double width = signature.width() / slices_;
    return QRectF(pageRect().right() - width, signature.top(), width, signature.height());
}

// The signature stays wholly on the page, no wider than it.
void PageView::keepOnPage()
{
    if (pagePoints_.isEmpty() || signaturePoints_.isEmpty())
        return;
    width_ = std::clamp(width_, LeastWidthMm * PointsPerMm, pagePoints_.width());
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    at_.setX(std::clamp(at_.x(), 0.0, std::max(0.0, pagePoints_.width() - width_)));
    at_.setY(std::clamp(at_.y(), 0.0, std::max(0.0, pagePoints_.height() - height)));
}

void PageView::setWidthAround(double width, QPointF fixed)
{
    const double k = width / width_;
    at_ = fixed + (at_ - fixed) * k;
    width_ = width;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

void PageView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(0x5a, 0x5f, 0x63));
    const QRectF page = pageRect();
    if (!document_ || page.isEmpty()) {
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("打开一份 PDF 文档（Ctrl+O），或把它拖到这里"));
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (page.size() * dpr).toSize();
    if (pageImage_.size() != pixels) {
        // Paper, and the page printed on it.
        pageImage_ = QImage(pixels, QImage::Format_RGB32);
        pageImage_.fill(Qt::white);
        QPainter paper(&pageImage_);
        // With its annotations: an earlier stamp or signature is part of the page as it is.
        QPdfDocumentRenderOptions options;
        options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
        paper.drawImage(0, 0, document_->render(page_, pixels, options));
        paper.end();
        pageImage_.setDevicePixelRatio(dpr);
    }
    p.drawImage(page.topLeft(), pageImage_);
    const QRectF signature = signatureRect();
    const QRectF shown = shownRect();
    if (shown.isEmpty())
        return;
    const QSize signaturePixels = (signature.size() * dpr).toSize();
    if (signatureImage_.size() != signaturePixels) {
        signatureImage_ = signature_.render(0, signaturePixels);
        signatureImage_.setDevicePixelRatio(dpr);
    }
    // Ink over the page as ink on paper: the signature's white leaves the page as it is.
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    const double partWidth = double(signatureImage_.width()) / slices_;
    const QRectF part(partWidth * slice_, 0, partWidth, signatureImage_.height());
    p.drawImage(shown, signatureImage_, part);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (slices_ > 1)
        paintSlices(p, signature);
    p.setPen(QPen(hasFocus() ? QColor(0x1e, 0x6f, 0xd9) : QColor(0x88, 0x88, 0x88), 1, Qt::DashLine));
    p.drawRect(shown.adjusted(-0.5, -0.5, 0.5, 0.5));
    if (drag_ == Drag::Box)
        p.drawRect(box_.normalized());
    if (slices_ == 1)
        p.fillRect(QRectF(shown.bottomRight() - QPointF(Corner / 2, Corner / 2),
                          QSizeF(Corner, Corner)),
                   QColor(0x1e, 0x6f, 0xd9));
}

// The seal whole beside the page, cut as the pages get it, this page's slice marked: the
// pages' edges, stacked, put it together again.
void PageView::paintSlices(QPainter& p, const QRectF& signature)
{
    constexpr double Gap = 3;
    const double part = signature.width() / slices_;
    const double across = signature.width() + Gap * (slices_ - 1);
    const QRectF page = pageRect();
    double x = page.right() + Margin;
    if (x + across > width())
        x = page.left() - Margin - across;
    if (x < 0)
        return;
    const double source = double(signatureImage_.width()) / slices_;
    QRectF own;
    for (int k = 0; k < slices_; ++k) {
        const QRectF target(x + k * (part + Gap), signature.top(), part, signature.height());
        p.fillRect(target, Qt::white);
        p.setOpacity(k == slice_ ? 1 : 0.4);
        p.drawImage(target, signatureImage_,
                    QRectF(source * k, 0, source, signatureImage_.height()));
        if (k == slice_)
            own = target;
    }
    p.setOpacity(1);
    p.setPen(QPen(QColor(0x1e, 0x6f, 0xd9), 1));
    p.drawRect(own.adjusted(-0.5, -0.5, 0.5, 0.5));
}

void PageView::resizeEvent(QResizeEvent*)
{
    pageImage_ = QImage();
    // The room changed when the view did: fitted to it again.
    const QSize wanted = pagePoints_.isEmpty()
                             ? QSize()
                             : (pagePoints_ * scale()).toSize() + QSize(2 * int(Margin), 2 * int(Margin));
    if (!wanted.isEmpty() && wanted.expandedTo(QSize(Smallest, Smallest)) != minimumSize())
        sizeToZoom();
}

void PageView::mousePressEvent(QMouseEvent* event)
{
    if (!signatureShown_)
        return;
    const QRectF signature = signatureRect();
    const QRectF shown = shownRect();
    if (shown.isEmpty() || event->button() != Qt::LeftButton)
        return;
    const QPointF at = event->position();
    const double scale = pageRect().width() / pagePoints_.width();
    if (slices_ == 1 &&
        QRectF(signature.bottomRight() - QPointF(Corner, Corner), QSizeF(2 * Corner, 2 * Corner))
            .contains(at)) {
        drag_ = Drag::Resize;
    } else if (shown.contains(at)) {
        drag_ = Drag::Move;
        grab_ = (at - signature.topLeft()) / scale;
    } else if (pageRect().contains(at) && slices_ == 1) {
        // A box drawn from here is where the signature goes; a click brings it here.
        drag_ = Drag::Box;
        box_ = QRectF(at, at);
    } else if (pageRect().contains(at)) {
        // A slice at the edge comes to the height clicked, held by its middle.
        drag_ = Drag::Move;
        grab_ = QPointF(signature.width(), signature.height()) / 2 / scale;
        moveTo((at - pageRect().topLeft()) / scale - grab_);
    }
}

// A slice across the pages keeps to the page's edge: only its height on the page moves.
void PageView::moveTo(QPointF at)
{
    at_ = slices_ > 1 ? QPointF(at_.x(), at.y()) : at;
    keepOnPage();
    update();
    Q_EMIT placeChanged();
}

void PageView::mouseMoveEvent(QMouseEvent* event)
{
    const QRectF signature = signatureRect();
    if (signature.isEmpty())
        return;
    const QPointF at = event->position();
    const double scale = pageRect().width() / pagePoints_.width();
    if (drag_ == Drag::Move) {
        moveTo((at - pageRect().topLeft()) / scale - grab_);
    } else if (drag_ == Drag::Box) {
        box_.setBottomRight(at);
        update();
    } else if (drag_ == Drag::Resize) {
        width_ = std::max(1.0, (at.x() - signature.left()) / scale);
        keepOnPage();
        update();
        Q_EMIT placeChanged();
    } else {
        const bool corner = slices_ == 1 && QRectF(signature.bottomRight() - QPointF(Corner, Corner),
                                                   QSizeF(2 * Corner, 2 * Corner))
                                                .contains(at);
        setCursor(corner ? Qt::SizeFDiagCursor
                  : shownRect().contains(at) ? Qt::SizeAllCursor
                                             : Qt::ArrowCursor);
    }
}

void PageView::mouseReleaseEvent(QMouseEvent*)
{
    if (drag_ == Drag::Box) {
        const QRectF box = box_.normalized().intersected(pageRect());
        const QRectF signature = signatureRect();
        const double scale = pageRect().width() / pagePoints_.width();
        if (box.width() >= 8) {
            // As wide as the box, its top-left corner the box's.
            width_ = box.width() / scale;
            moveTo((box.topLeft() - pageRect().topLeft()) / scale);
        } else {
            moveTo((box_.topLeft() - pageRect().topLeft()) / scale -
                   QPointF(signature.width(), signature.height()) / 2 / scale);
        }
    }
    drag_ = Drag::None;
    update();
}

void PageView::wheelEvent(QWheelEvent* event)
{
    // Ctrl and the wheel zoom the page, Shift and the wheel size the signature; the wheel alone
    // scrolls, as everywhere else.
    if (event->modifiers() & Qt::ControlModifier) {
        zoomAbout(event->position(), zoom_ * std::pow(1.15, event->angleDelta().y() / 120.0));
        return;
    }
    if (!(event->modifiers() & Qt::ShiftModifier) || signaturePoints_.isEmpty() || !signatureShown_) {
        event->ignore();
        return;
    }
    // Some systems turn a wheel held with Shift sideways.
    const QPoint delta = event->angleDelta();
    const double steps = (delta.y() != 0 ? delta.y() : delta.x()) / 120.0;
    const double height = width_ * signaturePoints_.height() / signaturePoints_.width();
    setWidthAround(width_ * std::pow(1.1, steps), at_ + QPointF(width_, height) / 2);
}

void PageView::keyPressEvent(QKeyEvent* event)
{
    if (!signatureShown_)
        return QWidget::keyPressEvent(event);
    // A millimetre a press; with Shift, a tenth.
    const double step = (event->modifiers() & Qt::ShiftModifier ? 0.1 : 1) * PointsPerMm;
    QPointF move;
    switch (event->key()) {
    case Qt::Key_Left: move = {-step, 0}; break;
    case Qt::Key_Right: move = {step, 0}; break;
    case Qt::Key_Up: move = {0, -step}; break;
    case Qt::Key_Down: move = {0, step}; break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: setWidthAround(width_ * 1.05, at_); return;
    case Qt::Key_Minus: setWidthAround(width_ / 1.05, at_); return;
    default: QWidget::keyPressEvent(event); return;
    }
    moveTo(at_ + move);
}
